// Oral image sets (rows of TImage): up to nine images of one patient and date. Row 0
// holds the member's contact details (clinic, person in charge, e-mail address in
// ImgPath 0-2).
#pragma once

#include <QDateTime>
#include <QString>

#include <array>

namespace kvr::db {
class Recordset;
struct TableDef;
} // namespace kvr::db

namespace kvr {

class CImage {
public:
    static constexpr int kImages = 9;

    qint32 ID = 0;
    qint32 PatientID = 0;
    QDateTime ExamDate;
    qint32 SNo = 0;
    QDateTime UpDate;

    // Element i belongs to the columns numbered i + 1. An index outside 0-8 reads as the
    // empty value and writes nothing.
    QString ImgPath(int i) const;
    void setImgPath(int i, const QString& value);
    qint16 ReverseUD(int i) const;
    void setReverseUD(int i, qint16 value);
    qint16 ReverseLR(int i) const;
    void setReverseLR(int i, qint16 value);
    qint32 Rotate(int i) const;
    void setRotate(int i, qint32 value);

    void ClearBuffer();
    void RecSetGet(const db::Recordset& rs);
    void RecSetPut(db::Recordset& rs) const;

    // Structure check before row 0 is read: creates TImage when missing, rebuilds an
    // older layout (without the Rotate columns) through "TImageWork". 0 = success.
    int CheckTable();
    // 0 current, 1 exists without "Rotate9", -1 missing.
    int GetStatusTable();
    int CreateTable(const QString& table);
    int DeleteTable(const QString& table);
    int CopyTable(const QString& source, const QString& target);

    // The layout of TImage under another name.
    static db::TableDef tableDef(const QString& name);

private:
    std::array<QString, kImages> imgPath_;
    std::array<qint16, kImages> reverseUD_{};
    std::array<qint16, kImages> reverseLR_{};
    std::array<qint32, kImages> rotate_{};
};

} // namespace kvr
