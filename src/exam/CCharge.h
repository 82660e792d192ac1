// One staff member (a row of TCharge) with the entry-order preferences.
#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>

namespace kvr::db {
class Recordset;
}

namespace kvr {

class CCharge {
public:
    qint32 ID = 0;
    QString Name;
    qint32 VectorPattern = 0;
    qint16 PocketPattern = 0;
    QString PocketVector;
    qint16 PocketPatternKihon = 0;
    QString PocketVectorKihon;
    QDateTime UpDate;
    QString PlaquePattern;
    QString PlaquePosition = "33";

    // Per anatomical site (buccal mesial, centre, distal, lingual mesial, centre, distal):
    // 0 = not measured. Index 0-5; outside it a get gives 0 and a set does nothing.
    std::uint8_t PocketPosition(int i) const;
    void setPocketPosition(int i, std::uint8_t value);
    std::uint8_t PocketPositionKihon(int i) const;
    void setPocketPositionKihon(int i, std::uint8_t value);

    void ClearBuffer();
    // "PlaquePosition" reads "33" when Null or empty; "PocketVectorKihon" is padded to 48
    // characters when PocketPatternKihon is 1.
    void RecSetGet(const db::Recordset& rs);
    void RecSetPut(db::Recordset& rs) const;

private:
    std::array<std::uint8_t, 6> pocketPosition_{};
    std::array<std::uint8_t, 6> pocketPositionKihon_{};
};

// Site flags as text: three characters per site, right-aligned.
QString encodePocketPosition(const std::array<std::uint8_t, 6>& sites);
void decodePocketPosition(const QString& text, std::array<std::uint8_t, 6>& sites);

} // namespace kvr
