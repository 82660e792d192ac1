// One examination record (a row of TExamData): the values of one examination item
// of one examination, or its bleeding or pus marks, and the tooth status words.
//
// Cells are stored as text three characters a cell (144 characters a column over
// "Data1"-"Data4"); status words six characters a word in "Bui".
#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace kvr::db {
class Recordset;
class Connection;
} // namespace kvr::db

namespace kvr {

// Tooth status flags.
enum ToothFlag : std::uint16_t {
    kMissingTooth = 0x8000,
    kPontic = 0x4000,
    kImplant = 0x2000,
    kOtherExcluded = 0x1000,
    kDeciduous = 0x0400,
};

inline constexpr int kTeeth = 32;
inline constexpr int kCells = 192;
inline constexpr std::uint8_t kNoValue = 128;

// True when the status word has none of the missing, pontic and implant flags.
inline bool isRemainingTooth(std::uint16_t status) {
    return (status & (kMissingTooth | kPontic | kImplant)) == 0;
}

// Encodings of the array columns.
QString encodeCells(const std::array<std::uint8_t, kCells>& cells);             // 576 characters
void decodeCells(const QString& text, std::array<std::uint8_t, kCells>& cells); // sets 0 first
QString encodeStatusWords(const std::array<std::uint16_t, kTeeth>& words);      // 192 characters
void decodeStatusWords(const QString& text, std::array<std::uint16_t, kTeeth>& words);

class CExamData {
public:
    CExamData();

    qint32 ID = 0;
    qint32 PatientID = 0;
    QDateTime ExamDate;
    qint32 Row = 0;
    qint32 Examination = 0;
    qint32 SubExam = 0;
    qint16 PocketFree = 0;
    QDateTime StartTime;
    QDateTime EndTime;
    qint32 ChargeID = 0;
    bool IsPrinted = false;
    QDateTime UpDate;
    qint16 CommentID = 0;
    QString Comment;

    // Bounded accessors: outside the array a get gives 0 and a set does nothing.
    std::uint8_t bData(int index) const;
    void setBData(int index, std::uint8_t value);
    std::uint16_t nBui(int index) const;
    void setNBui(int index, std::uint16_t value);

    const std::array<std::uint8_t, kCells>& cells() const { return data_; }
    const std::array<std::uint16_t, kTeeth>& statusWords() const { return bui_; }

    void ClearBuffer();
    // Throws kvr::RuntimeError for a missing column or a damaged array text.
    void RecSetGet(const db::Recordset& rs);
    void RecSetPut(db::Recordset& rs) const;

    // Number of remaining teeth (none of missing, implant, pontic).
    qint16 GetRestToothCount() const;
    // Labels of the remaining teeth: upper (teeth 0-15) and lower (16-31), blanks elsewhere.
    void GetRestToothStr(QString& upper, QString& lower) const;

    // The tooth status of the patient's latest examination before the date of examDate
    // (read from its row 0). Clears status first; true when such an examination exists.
    // Uses conn, or the member connection (counted open) when conn is null.
    static bool SetLastBui(qint32 patientId, const QDateTime& examDate,
                           std::array<std::uint16_t, kTeeth>& status,
                           const std::shared_ptr<db::Connection>& conn = nullptr);

private:
    std::array<std::uint8_t, kCells> data_;
    std::array<std::uint16_t, kTeeth> bui_;
};

// Tooth labels in chart order, permanent and deciduous.
inline constexpr const char* kToothLabels = "87654321123456788765432112345678";
inline constexpr const char* kDeciduousToothLabels = "876EDCBAABCDE678876EDCBAABCDE678";
// The one-character label of a tooth with the given status word.
QChar toothLabel(int tooth, std::uint16_t status);

// Brings the stored values of examination item 3 (plaque, two passes) to the current
// encoding and stamps TVersion 1.0.1. Second-pass cells (tooth + 48) that are empty get 0
// when the first-pass cell holds a value and 15 when it is empty too; implant and pontic
// teeth lose a first-pass value and get 15. Idempotent. Returns the number of rows changed.
int UpgradeExamItem3();

// Furcation kind per tooth: 3 upper molars, 21 upper premolars, 22 lower molars, -1 none.
int FurcationKind(int tooth);
// The sites at which furcation is examined, by furcation kind: 3 sites 1, 3 and 5; 21
// sites 0 and 2; 22 sites 1 and 4; no site for other teeth.
bool isFurcationSiteOfKind(int furcationKind, int site);
inline bool isFurcationSite(int tooth, int site) {
    return isFurcationSiteOfKind(FurcationKind(tooth), site);
}

} // namespace kvr
