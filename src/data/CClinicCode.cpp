#include "CClinicCode.h"

#include "DataObjects.h"
#include "RecordUtil.h"
#include "data/ADODBMain.h"
#include "platform/database.h"
#include "platform/services.h"

namespace kvr {

void CClinicCode::ClearBuffer() {
    ID = 0;
    ClinicCode.clear();
    ClinicCodeSub.clear();
    ClinicName.clear();
    UpDateTime = now();
}

void CClinicCode::RecSetGet(const db::Recordset& rs) {
    ID = rs.value("ID").toInt();
    ClinicCode = textOf(rs, "ClinicCode");
    ClinicCodeSub = textOf(rs, "ClinicCodeSub");
    ClinicName = textOf(rs, "ClinicName");
    UpDateTime = rs.value("UpDateTime").toDateTime();
}

void CClinicCode::RecSetPut(db::Recordset& rs) const {
    rs.setValue("ID", ID);
    rs.setValue("ClinicCode", ClinicCode);
    rs.setValue("ClinicCodeSub", ClinicCodeSub);
    rs.setValue("ClinicName", ClinicName);
    rs.setValue("UpDateTime", dateValue(UpDateTime));
}

namespace {

const char* const kClinicCodeRow = "SELECT * FROM TClinicCode WHERE ID=0";

} // namespace

bool LoadClinicCode() {
    OpenMemberDb();
    CClinicCode& cc = TheClinicCode();
    const bool ok = runWithRetryBox([&] {
        db::Recordset rs(memberConn(), kClinicCodeRow, {}, db::OpenMode::Write);
        if (rs.eof()) {
            cc.ClearBuffer();
            rs.addNew();
            cc.RecSetPut(rs);
        } else {
            cc.RecSetGet(rs);
        }
        rs.update();
    });
    CloseMemberDb();
    return ok;
}

bool SaveClinicCode(const QString& code) {
    OpenMemberDb();
    CClinicCode& cc = TheClinicCode();
    const bool ok = runWithRetryBox([&] {
        db::Recordset rs(memberConn(), kClinicCodeRow, {}, db::OpenMode::Write);
        if (rs.eof()) {
            cc.ClearBuffer();
            rs.addNew();
        }
        cc.ClinicCode = code;
        cc.RecSetPut(rs);
        rs.update();
    });
    CloseMemberDb();
    return ok;
}

} // namespace kvr
