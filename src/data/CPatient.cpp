#include "CPatient.h"

#include "RecordUtil.h"
#include "platform/services.h"

namespace kvr {

void CPatient::ClearBuffer() {
    ID = 0;
    Sex = 0;
    Lock = 0;
    ClinicCode.clear();
    KalteNumber.clear();
    Ruby.clear();
    Name.clear();
    BirthDay.clear();
    TEL.clear();
    Post.clear();
    Address1.clear();
    Address2.clear();
    AppName.clear();
    const QDateTime t = now();
    NextExamDate = LastExamDate = UpDate = t;
}

void CPatient::RecSetGet(const db::Recordset& rs) {
    ID = rs.value("ID").toInt();
    ClinicCode = textOf(rs, "ClinicCode");
    KalteNumber = textOf(rs, "KalteNumber");
    Ruby = textOf(rs, "Ruby");
    Name = textOf(rs, "Name");
    BirthDay = textOf(rs, "BirthDay");
    Sex = qint16(rs.value("Sex").toInt());
    TEL = textOf(rs, "TEL");
    Post = textOf(rs, "Post");
    Address1 = textOf(rs, "Address1");
    Address2 = textOf(rs, "Address2");
    NextExamDate = rs.value("NextExamDate").toDateTime();
    LastExamDate = rs.value("LastExamDate").toDateTime();
    Lock = quint8(rs.value("Lock").toInt());
    AppName = textOf(rs, "AppName");
    UpDate = rs.value("UpDate").toDateTime();
}

void CPatient::RecSetPut(db::Recordset& rs) const {
    rs.setValue("ID", ID);
    rs.setValue("ClinicCode", ClinicCode);
    rs.setValue("KalteNumber", KalteNumber);
    rs.setValue("Ruby", Ruby);
    rs.setValue("Name", Name);
    rs.setValue("BirthDay", BirthDay);
    rs.setValue("Sex", Sex);
    rs.setValue("TEL", TEL);
    rs.setValue("Post", Post);
    rs.setValue("Address1", Address1);
    rs.setValue("Address2", Address2);
    rs.setValue("NextExamDate", dateValue(NextExamDate));
    rs.setValue("LastExamDate", dateValue(LastExamDate));
    rs.setValue("Lock", int(Lock));
    rs.setValue("AppName", AppName);
    rs.setValue("UpDate", dateValue(UpDate));
}

} // namespace kvr
