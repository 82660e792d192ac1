#include "CCharge.h"

#include "data/RecordUtil.h"
#include "platform/database.h"
#include "platform/services.h"

namespace kvr {

QString encodePocketPosition(const std::array<std::uint8_t, 6>& sites) {
    QString out;
    for (std::uint8_t s : sites)
        out += QString::number(s).rightJustified(3, ' ');
    return out;
}

void decodePocketPosition(const QString& text, std::array<std::uint8_t, 6>& sites) {
    sites.fill(0);
    const int pieces = (int(text.size()) + 2) / 3;
    for (int k = 0; k < pieces && k < 6; ++k) {
        const QString piece = text.mid(k * 3, 3).trimmed();
        bool ok = false;
        const int v = piece.toInt(&ok);
        if (!ok && !piece.isEmpty())
            throw RuntimeError(13, QString("Type mismatch in column PocketPosition: '%1'").arg(piece));
        sites[k] = std::uint8_t(v);
    }
}

std::uint8_t CCharge::PocketPosition(int i) const {
    return i >= 0 && i < 6 ? pocketPosition_[i] : 0;
}
void CCharge::setPocketPosition(int i, std::uint8_t value) {
    if (i >= 0 && i < 6) pocketPosition_[i] = value;
}
std::uint8_t CCharge::PocketPositionKihon(int i) const {
    return i >= 0 && i < 6 ? pocketPositionKihon_[i] : 0;
}
void CCharge::setPocketPositionKihon(int i, std::uint8_t value) {
    if (i >= 0 && i < 6) pocketPositionKihon_[i] = value;
}

void CCharge::ClearBuffer() {
    ID = VectorPattern = 0;
    PocketPattern = PocketPatternKihon = 0;
    Name.clear();
    PocketVector.clear();
    PocketVectorKihon.clear();
    PlaquePattern.clear();
    PlaquePosition = "33";
    UpDate = now();
    pocketPosition_.fill(0);
    pocketPositionKihon_.fill(0);
}

void CCharge::RecSetGet(const db::Recordset& rs) {
    ID = rs.value("ID").toInt();
    Name = textOf(rs, "Name");
    VectorPattern = rs.value("VectorPattern").toInt();
    PocketPattern = qint16(rs.value("PocketPattern").toInt());
    PocketVector = textOf(rs, "PocketVector");
    PocketPatternKihon = qint16(rs.value("PocketPatternKihon").toInt());
    PocketVectorKihon = textOf(rs, "PocketVectorKihon");
    if (PocketPatternKihon == 1 && PocketVectorKihon.size() < 48)
        PocketVectorKihon = PocketVectorKihon.leftJustified(48, ' ');
    UpDate = rs.value("UpDate").toDateTime();
    PlaquePattern = textOf(rs, "PlaquePattern");
    PlaquePosition = textOf(rs, "PlaquePosition");
    if (PlaquePosition.isEmpty()) PlaquePosition = "33";
    decodePocketPosition(textOf(rs, "PocketPosition"), pocketPosition_);
    decodePocketPosition(textOf(rs, "PocketPositionKihon"), pocketPositionKihon_);
}

void CCharge::RecSetPut(db::Recordset& rs) const {
    rs.setValue("ID", ID);
    rs.setValue("Name", Name);
    rs.setValue("VectorPattern", VectorPattern);
    rs.setValue("PocketPattern", PocketPattern);
    rs.setValue("PocketVector", PocketVector);
    rs.setValue("PocketPatternKihon", PocketPatternKihon);
    rs.setValue("PocketVectorKihon", PocketVectorKihon);
    rs.setValue("UpDate", dateValue(UpDate));
    rs.setValue("PlaquePattern", PlaquePattern);
    rs.setValue("PlaquePosition", PlaquePosition);
    rs.setValue("PocketPosition", encodePocketPosition(pocketPosition_));
    rs.setValue("PocketPositionKihon", encodePocketPosition(pocketPositionKihon_));
}

} // namespace kvr
