// One examination item definition (a row of TSubExam): how the item is entered, which
// values its buttons enter and how its values are coloured on the grids.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace kvr::db {
class Recordset;
}

namespace kvr {

class CSubExam {
public:
    qint32 ID = 0;
    QString Name;
    qint32 Mode = 0;
    qint16 Status = 0;
    bool CEJFlag = false; // the "CEJ" column read as a boolean
    qint32 CEJ = 0;
    qint16 DisplayRow = 0;

    // Indexed accessors: outside their range a get gives 0 (or the empty string) and a
    // set does nothing. BtnName 0-4, BtnVal 0-9, ValueColor/Brightness 0-3,
    // GradationPart/SubName 0-2.
    QString BtnName(int i) const;
    void setBtnName(int i, const QString& value);
    qint16 BtnVal(int i) const;
    void setBtnVal(int i, qint16 value);
    std::uint32_t ValueColor(int i) const; // 0x00BBGGRR
    void setValueColor(int i, std::uint32_t value);
    qint32 Brightness(int i) const;
    void setBrightness(int i, qint32 value);
    qint32 GradationPart(int i) const;
    void setGradationPart(int i, qint32 value);
    QString SubName(int i) const;
    void setSubName(int i, const QString& value);

    void ClearBuffer();
    void RecSetGet(const db::Recordset& rs);
    // "CEJ" is written from the numeric field.
    void RecSetPut(db::Recordset& rs) const;

    // The colour of a value: for colour index 0 and 1 the base colour OR the grey level
    // of the value's band (GradationPart thresholds, Brightness levels); for 2 and 3 the
    // base colour unchanged.
    std::uint32_t GetColorByValue(int value, int colorIndex) const;

    // The "CEJ" value of item 2 in the member database (0 when there is no such row).
    static qint32 GetPairExam();

private:
    std::array<QString, 5> btnName_;
    std::array<qint16, 10> btnVal_{};
    std::array<std::uint32_t, 4> valueColor_{};
    std::array<qint32, 4> brightness_{};
    std::array<qint32, 3> gradationPart_{};
    std::array<QString, 3> subName_;
};

} // namespace kvr
