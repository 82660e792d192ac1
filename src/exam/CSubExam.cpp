#include "CSubExam.h"

#include "data/ADODBMain.h"
#include "data/RecordUtil.h"
#include "platform/database.h"

namespace kvr {

namespace {

template <typename A> bool inRange(const A& a, int i) {
    return i >= 0 && i < int(a.size());
}
QString col(const char* stem, int i, const char* tail = "") {
    return QString(stem) + QString::number(i) + QString(tail);
}

} // namespace

QString CSubExam::BtnName(int i) const {
    return inRange(btnName_, i) ? btnName_[i] : QString();
}
void CSubExam::setBtnName(int i, const QString& value) {
    if (inRange(btnName_, i)) btnName_[i] = value;
}
qint16 CSubExam::BtnVal(int i) const {
    return inRange(btnVal_, i) ? btnVal_[i] : qint16(0);
}
void CSubExam::setBtnVal(int i, qint16 value) {
    if (inRange(btnVal_, i)) btnVal_[i] = value;
}
std::uint32_t CSubExam::ValueColor(int i) const {
    return inRange(valueColor_, i) ? valueColor_[i] : 0u;
}
void CSubExam::setValueColor(int i, std::uint32_t value) {
    if (inRange(valueColor_, i)) valueColor_[i] = value;
}
qint32 CSubExam::Brightness(int i) const {
    return inRange(brightness_, i) ? brightness_[i] : 0;
}
void CSubExam::setBrightness(int i, qint32 value) {
    if (inRange(brightness_, i)) brightness_[i] = value;
}
qint32 CSubExam::GradationPart(int i) const {
    return inRange(gradationPart_, i) ? gradationPart_[i] : 0;
}
void CSubExam::setGradationPart(int i, qint32 value) {
    if (inRange(gradationPart_, i)) gradationPart_[i] = value;
}
QString CSubExam::SubName(int i) const {
    return inRange(subName_, i) ? subName_[i] : QString();
}
void CSubExam::setSubName(int i, const QString& value) {
    if (inRange(subName_, i)) subName_[i] = value;
}

void CSubExam::ClearBuffer() {
    ID = Mode = CEJ = 0;
    Status = DisplayRow = 0;
    CEJFlag = false;
    Name.clear();
    for (auto& s : btnName_)
        s.clear();
    btnVal_.fill(0);
    valueColor_.fill(0);
    brightness_.fill(0);
    gradationPart_.fill(0);
    for (auto& s : subName_)
        s.clear();
}

void CSubExam::RecSetGet(const db::Recordset& rs) {
    ID = rs.value("ID").toInt();
    Name = textOf(rs, "Name");
    Mode = rs.value("Mode").toInt();
    Status = qint16(rs.value("Status").toInt());
    CEJ = rs.value("CEJ").toInt();
    CEJFlag = CEJ != 0;
    DisplayRow = qint16(rs.value("DisplayRow").toInt());
    for (int i = 0; i < int(btnName_.size()); ++i)
        btnName_[i] = textOf(rs, col("Btn", i, "Name"));
    for (int i = 0; i < int(btnVal_.size()); ++i)
        btnVal_[i] = qint16(rs.value(col("Btn", i, "Val")).toInt());
    for (int i = 0; i < 4; ++i) {
        valueColor_[i] = std::uint32_t(rs.value(col("ValColor", i)).toLongLong());
        brightness_[i] = rs.value(col("Brightness", i)).toInt();
    }
    for (int i = 0; i < 3; ++i) {
        gradationPart_[i] = rs.value(col("GradPart", i)).toInt();
        subName_[i] = textOf(rs, col("SubName", i));
    }
}

void CSubExam::RecSetPut(db::Recordset& rs) const {
    rs.setValue("ID", ID);
    rs.setValue("Name", Name);
    rs.setValue("Mode", Mode);
    rs.setValue("Status", Status);
    rs.setValue("CEJ", CEJ);
    rs.setValue("DisplayRow", DisplayRow);
    for (int i = 0; i < int(btnName_.size()); ++i)
        rs.setValue(col("Btn", i, "Name"), btnName_[i]);
    for (int i = 0; i < int(btnVal_.size()); ++i)
        rs.setValue(col("Btn", i, "Val"), btnVal_[i]);
    for (int i = 0; i < 4; ++i) {
        rs.setValue(col("ValColor", i), qint64(valueColor_[i]));
        rs.setValue(col("Brightness", i), brightness_[i]);
    }
    for (int i = 0; i < 3; ++i) {
        rs.setValue(col("GradPart", i), gradationPart_[i]);
        rs.setValue(col("SubName", i), subName_[i]);
    }
}

std::uint32_t CSubExam::GetColorByValue(int value, int colorIndex) const {
    const std::uint32_t base = ValueColor(colorIndex);
    if (colorIndex != 0 && colorIndex != 1) return base;
    qint32 g;
    if (value >= gradationPart_[2])
        g = brightness_[3];
    else if (value >= gradationPart_[1])
        g = brightness_[2];
    else if (value >= gradationPart_[0])
        g = brightness_[1];
    else
        g = brightness_[0];
    const std::uint32_t grey = std::uint32_t(g) & 0xFF;
    return base | grey | (grey << 8) | (grey << 16);
}

qint32 CSubExam::GetPairExam() {
    MemberDbUse use;
    QVariant v = memberConn()->scalar("SELECT CEJ FROM TSubExam WHERE ID=2");
    return v.isValid() ? v.toInt() : 0;
}

} // namespace kvr
