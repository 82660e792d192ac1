#include "CImage.h"

#include "RecordUtil.h"
#include "SchemaMaintenance.h"
#include "data/ADODBMain.h"
#include "platform/services.h"

namespace kvr {

namespace {

bool inRange(int i) {
    return i >= 0 && i < CImage::kImages;
}
QString col(const char* stem, int i) {
    return QString(stem) + QString::number(i + 1);
}

} // namespace

QString CImage::ImgPath(int i) const {
    return inRange(i) ? imgPath_[i] : QString();
}
void CImage::setImgPath(int i, const QString& value) {
    if (inRange(i)) imgPath_[i] = value;
}
qint16 CImage::ReverseUD(int i) const {
    return inRange(i) ? reverseUD_[i] : qint16(0);
}
void CImage::setReverseUD(int i, qint16 value) {
    if (inRange(i)) reverseUD_[i] = value;
}
qint16 CImage::ReverseLR(int i) const {
    return inRange(i) ? reverseLR_[i] : qint16(0);
}
void CImage::setReverseLR(int i, qint16 value) {
    if (inRange(i)) reverseLR_[i] = value;
}
qint32 CImage::Rotate(int i) const {
    return inRange(i) ? rotate_[i] : 0;
}
void CImage::setRotate(int i, qint32 value) {
    if (inRange(i)) rotate_[i] = value;
}

void CImage::ClearBuffer() {
    ID = PatientID = SNo = 0;
    for (int i = 0; i < kImages; ++i) {
        imgPath_[i].clear();
        reverseUD_[i] = reverseLR_[i] = 0;
        rotate_[i] = 0;
    }
    ExamDate = UpDate = now();
}

void CImage::RecSetGet(const db::Recordset& rs) {
    ID = rs.value("ID").toInt();
    PatientID = rs.value("PatientID").toInt();
    ExamDate = rs.value("ExamDate").toDateTime();
    SNo = rs.value("SNo").toInt();
    for (int i = 0; i < kImages; ++i) {
        imgPath_[i] = textOf(rs, col("ImgPath", i));
        reverseUD_[i] = qint16(rs.value(col("ReverseUD", i)).toInt());
        reverseLR_[i] = qint16(rs.value(col("ReverseLR", i)).toInt());
        rotate_[i] = rs.value(col("Rotate", i)).toInt();
    }
    UpDate = rs.value("UpDate").toDateTime();
}

void CImage::RecSetPut(db::Recordset& rs) const {
    rs.setValue("ID", ID);
    rs.setValue("PatientID", PatientID);
    rs.setValue("ExamDate", dateValue(ExamDate));
    rs.setValue("SNo", SNo);
    for (int i = 0; i < kImages; ++i) {
        rs.setValue(col("ImgPath", i), imgPath_[i]);
        rs.setValue(col("ReverseUD", i), reverseUD_[i]);
        rs.setValue(col("ReverseLR", i), reverseLR_[i]);
        rs.setValue(col("Rotate", i), rotate_[i]);
    }
    rs.setValue("UpDate", dateValue(UpDate));
}

db::TableDef CImage::tableDef(const QString& name) {
    db::TableDef def;
    def.name = name;
    def.primaryKey = "ID";
    def.columns << db::ColumnDef{"ID", db::adInteger, 0, 0} << db::ColumnDef{"PatientID", db::adInteger, 0, 0}
                << db::ColumnDef{"ExamDate", db::adDate, 0, QVariant()}
                << db::ColumnDef{"SNo", db::adInteger, 0, 0};
    for (int i = 0; i < kImages; ++i)
        def.columns << db::ColumnDef{col("ImgPath", i), db::adVarWChar, 200, QString("")};
    for (int i = 0; i < kImages; ++i)
        def.columns << db::ColumnDef{col("ReverseUD", i), db::adSmallInt, 0, 0};
    for (int i = 0; i < kImages; ++i)
        def.columns << db::ColumnDef{col("ReverseLR", i), db::adSmallInt, 0, 0};
    for (int i = 0; i < kImages; ++i)
        def.columns << db::ColumnDef{col("Rotate", i), db::adInteger, 0, 0};
    def.columns << db::ColumnDef{"UpDate", db::adDate, 0, QVariant()};
    return def;
}

int CImage::GetStatusTable() {
    MemberDbUse use;
    int status = 0;
    MaintenanceRetry retry("テーブルチェックエラー（", "TImage");
    retry.run([&] {
        if (!memberConn()->tableExists("TImage")) {
            status = -1;
            return;
        }
        status = 1;
        for (const db::ColumnInfo& c : memberConn()->columns("TImage"))
            if (c.name.compare("Rotate9", Qt::CaseInsensitive) == 0) status = 0;
    });
    return status;
}

int CImage::CreateTable(const QString& table) {
    return CreateMemberTable(tableDef(table));
}

int CImage::DeleteTable(const QString& table) {
    return DropMemberTable(table);
}

int CImage::CopyTable(const QString& source, const QString& target) {
    MemberDbUse use;
    MaintenanceRetry retry("テーブル作成エラー（", target);
    return retry.run([&] { CopyTableRows(memberConn(), source, target); }) ? 0 : 1;
}

int CImage::CheckTable() {
    const int status = GetStatusTable();
    if (status == 0) return 0;
    if (status < 0) return CreateTable("TImage");
    const QString work = QString("TImage") + "Work";
    if (int st = DeleteTable(work)) return st;
    if (int st = CreateTable(work)) return st;
    if (int st = CopyTable("TImage", work)) return st;
    if (int st = DeleteTable("TImage")) return st;
    if (int st = CreateTable("TImage")) return st;
    if (int st = CopyTable(work, "TImage")) return st;
    return DeleteTable(work);
}

} // namespace kvr
