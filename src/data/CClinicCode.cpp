#include "CClinicCode.h"

#include "DataObjects.h"
#include "RecordUtil.h"
#include "data/ADODBMain.h"
#include "platform/database.h"
#include "platform/services.h"

#include <functional>

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

// Opens the single row for writing (adding it from cleared fields when it is missing),
// lets fill() change the row and writes it back.
bool updateClinicCodeRow(const std::function<void(db::Recordset&, bool added)>& fill) {
    OpenMemberDb();
    const bool ok = runWithRetryBox([&] {
        db::Recordset rs(memberConn(), kClinicCodeRow, {}, db::OpenMode::Write);
        const bool added = rs.eof();
        if (added) {
            TheClinicCode().ClearBuffer();
            rs.addNew();
        }
        fill(rs, added);
        rs.update();
    });
    CloseMemberDb();
    return ok;
}

} // namespace

bool LoadClinicCode() {
    return updateClinicCodeRow([](db::Recordset& rs, bool added) {
        if (added)
            TheClinicCode().RecSetPut(rs);
        else
            TheClinicCode().RecSetGet(rs);
    });
}

bool SaveClinicCode(const QString& code) {
    return updateClinicCodeRow([&](db::Recordset& rs, bool) {
        TheClinicCode().ClinicCode = code;
        TheClinicCode().RecSetPut(rs);
    });
}

} // namespace kvr
