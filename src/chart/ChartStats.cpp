#include "ChartStats.h"

#include "exam/CExamData.h"
#include "shell/NumberFormat.h"

#include <algorithm>
#include <bit>

namespace kvr {

namespace {

// Surface-area polynomial per tooth type, c1..c6 for x^1..x^6 (x = mean depth in mm).
// The jaws are symmetric: teeth 0..15 upper, 16..31 lower, each from one third molar
// across to the other; third molars have no polynomial.
constexpr double kPisaCoef[32][6] = {
    {0, 0, 0, 0, 0, 0},                                           // 0 upper third molar
    {25.4265, 4.6241, -3.0787, 0.95774, -0.10923, 0.0040876},     // 1 upper second molar
    {16.8835, -0.5688, 1.5433, -0.06519, -0.01454, 0.0009019},    // 2 upper first molar
    {39.2681, -7.3113, 1.234, -0.12192, 0.00626, -0.000126},      // 3 upper second premolar
    {21.8618, -2.3031, 0.533, -0.04075, 0.00062, 0.0000119},      // 4 upper first premolar
    {16.5369, 1.601, -0.2494, 0.01087, 0.00021, -0.0000182},      // 5 upper canine
    {18.7571, -1.6471, 0.5258, -0.079, 0.00589, -0.0001855},      // 6 upper lateral incisor
    {12.3905, 0.1374, 0.6717, -0.14536, 0.01126, -0.0003083},     // 7 upper central incisor
    {12.3905, 0.1374, 0.6717, -0.14536, 0.01126, -0.0003083},     // 8
    {18.7571, -1.6471, 0.5258, -0.079, 0.00589, -0.0001855},      // 9
    {16.5369, 1.601, -0.2494, 0.01087, 0.00021, -0.0000182},      // 10
    {21.8618, -2.3031, 0.533, -0.04075, 0.00062, 0.0000119},      // 11
    {39.2681, -7.3113, 1.234, -0.12192, 0.00626, -0.000126},      // 12
    {16.8835, -0.5688, 1.5433, -0.06519, -0.01454, 0.0009019},    // 13
    {25.4265, 4.6241, -3.0787, 0.95774, -0.10923, 0.0040876},     // 14
    {0, 0, 0, 0, 0, 0},                                           // 15 upper third molar
    {0, 0, 0, 0, 0, 0},                                           // 16 lower third molar
    {46.6148, -43.1558, 16.75778, -2.48858, 0.16174, -0.0038873}, // 17 lower second molar
    {19.1229, -12.2566, 5.575, -0.78145, 0.04566, -0.0009711},    // 18 lower first molar
    {13.1705, 5.0958, -1.0989, 0.10864, -0.00559, 0.0001179},     // 19 lower second premolar
    {24.6866, -4.8531, 1.3992, -0.18028, 0.01037, -0.0002229},    // 20 lower first premolar
    {24.6992, -3.5868, 0.6903, -0.05799, 0.00189, -0.0000142},    // 21 lower canine
    {16.4395, -1.0337, 0.4146, -0.05711, 0.00257, -0.0000211},    // 22 lower lateral incisor
    {21.46, -6.6888, 2.4638, -0.39094, 0.02743, -0.0007116},      // 23 lower central incisor
    {21.46, -6.6888, 2.4638, -0.39094, 0.02743, -0.0007116},      // 24
    {16.4395, -1.0337, 0.4146, -0.05711, 0.00257, -0.0000211},    // 25
    {24.6992, -3.5868, 0.6903, -0.05799, 0.00189, -0.0000142},    // 26
    {24.6866, -4.8531, 1.3992, -0.18028, 0.01037, -0.0002229},    // 27
    {13.1705, 5.0958, -1.0989, 0.10864, -0.00559, 0.0001179},     // 28
    {19.1229, -12.2566, 5.575, -0.78145, 0.04566, -0.0009711},    // 29
    {46.6148, -43.1558, 16.75778, -2.48858, 0.16174, -0.0038873}, // 30
    {0, 0, 0, 0, 0, 0},                                           // 31 lower third molar
};

bool isThirdMolar(int tooth) {
    return tooth == 0 || tooth == 15 || tooth == 16 || tooth == 31;
}

QString pct1(int part, int whole) {
    return formatFixed(double(part) / double(whole) * 100.0, 1);
}

QDate firstExamDate(db::ConnectionPtr conn, int patientId, int stageCode) {
    const QVariant v = conn->scalar("SELECT ExamDate FROM TExamData WHERE PatientID=? AND CommentID=? "
                                    "ORDER BY ExamDate",
                                    {patientId, stageCode});
    return v.isValid() && !v.isNull() ? v.toDateTime().date() : QDate();
}

} // namespace

void ChartStageData::clear() {
    HasData = false;
    ToothStatus.fill(0);
    Ppd.fill(kNoValue);
    Mobility.fill(kNoValue);
    Furcation.fill(kNoValue);
    Plaque.fill(kNoValue);
    PlaqueItemB.fill(kNoValue);
    Bop.fill(kNoValue);
    Pus.fill(kNoValue);
}

bool LoadChartStage(db::ConnectionPtr conn, int patientId, int stageCode, ChartStageData& slot) {
    slot.clear();
    db::Recordset rs(conn, "SELECT * FROM TExamData WHERE PatientID=? AND CommentID=? ORDER BY ExamDate",
                     {patientId, stageCode});
    CExamData rec;
    QDate first;
    for (; !rs.eof(); rs.moveNext()) {
        rec.RecSetGet(rs);
        if (!first.isValid()) {
            first = rec.ExamDate.date();
            slot.ExamDate = rec.ExamDate;
        }
        if (rec.ExamDate.date() != first) break; // later dates of the same stage
        slot.HasData = true;
        const auto& cells = rec.cells();
        if (rec.Row == 9) {
            slot.Bop = cells;
        } else if (rec.Row == 10) {
            slot.Pus = cells;
        } else {
            switch (rec.SubExam) {
            case 1:
                std::copy_n(cells.begin(), 32, slot.Mobility.begin());
                break;
            case 2:
                slot.Ppd = cells;
                break;
            case 3:
                std::copy_n(cells.begin(), 32, slot.Plaque.begin());
                std::copy_n(cells.begin() + 48, 32, slot.PlaqueItemB.begin());
                break;
            case 13:
                slot.Furcation = cells;
                break;
            default:
                break;
            }
            slot.ToothStatus = rec.statusWords();
        }
    }
    for (int s = 0; s < 192; ++s) {
        if (slot.Ppd[s] == kNoValue) {
            slot.Bop[s] = kNoValue;
            slot.Pus[s] = kNoValue;
        }
    }
    return slot.HasData;
}

bool IsRemainingTooth(std::uint16_t status) {
    return isRemainingTooth(status);
}

bool IsPresentTooth(const ChartStageData& slot, int tooth) {
    return slot.HasData && tooth >= 0 && tooth < 32 && isRemainingTooth(slot.ToothStatus[tooth]);
}

bool IsCountedTooth(const ChartStageData& slot, int tooth, bool includeImplants) {
    if (!slot.HasData || tooth < 0 || tooth >= 32) return false;
    const std::uint16_t st = slot.ToothStatus[tooth];
    return isRemainingTooth(st) || (includeImplants && (st & kImplant));
}

int PresentToothCount(const ChartStageData& slot) {
    int n = 0;
    for (int t = 0; t < 32; ++t)
        if (IsPresentTooth(slot, t)) ++n;
    return n;
}

int ImplantCount(const ChartStageData& slot) {
    if (!slot.HasData) return 0;
    int n = 0;
    for (std::uint16_t st : slot.ToothStatus)
        if (st & kImplant) ++n;
    return n;
}

QString PresentToothText(const ChartStageData& slot) {
    return slot.HasData ? QString::number(PresentToothCount(slot)) : QString();
}

QString ImplantText(const ChartStageData& slot) {
    return slot.HasData ? QString::number(ImplantCount(slot)) : QString();
}

SiteBytes PocketDepthInput(const ChartStageData& slot) {
    SiteBytes depths;
    depths.fill(kNoValue);
    for (int t = 0; t < 32; ++t)
        if (IsCountedTooth(slot, t, false)) std::copy_n(slot.Ppd.begin() + t * 6, 6, depths.begin() + t * 6);
    return depths;
}

SiteBytes BleedingInput(const ChartStageData& slot) {
    SiteBytes bleeding;
    bleeding.fill(0);
    for (int t = 0; t < 32; ++t) {
        if (!IsCountedTooth(slot, t, false)) continue;
        for (int s = t * 6; s < t * 6 + 6; ++s)
            if (slot.Ppd[s] != kNoValue) bleeding[s] = slot.Bop[s];
    }
    return bleeding;
}

qint16 SummarizePocketDepths(const SiteBytes& depths, qint16 lower, qint16 upper, int style, QString& total,
                             QString& mean, QString& low, QString& middle, QString& high) {
    total.clear();
    mean.clear();
    low.clear();
    middle.clear();
    high.clear();
    int count = 0, sum = 0, nLow = 0, nMiddle = 0, nHigh = 0;
    for (std::uint8_t d : depths) {
        if (d == kNoValue) continue;
        ++count;
        sum += d;
        if (d < lower)
            ++nLow;
        else if (d < upper)
            ++nMiddle;
        else
            ++nHigh;
    }
    if (count == 0) {
        total = style == 0 ? QStringLiteral("PD総数：0") : QStringLiteral("0");
        return 0;
    }
    const QString meanText = formatFixed(double(sum) / count, 1);
    auto band = [&](int n) {
        const QString p = pct1(n, count);
        switch (style) {
        case 0:
            return QString::number(n) + "(" + p + "%)";
        case 2:
            return QString::number(n) + "\r\n(" + p + "%)";
        default:
            return QString::number(n) + " (" + p + "%)";
        }
    };
    if (style == 0) {
        total = "PD総数：" + QString::number(count);
        mean = "PD平均：" + meanText;
        low = "1-" + QString::number(lower - 1) + "㎜：" + band(nLow);
        middle = QString::number(lower) + "-" + QString::number(upper - 1) + "㎜：" + band(nMiddle);
        high = QString::number(upper) + "㎜-：" + band(nHigh);
    } else {
        total = QString::number(count);
        mean = meanText;
        low = band(nLow);
        middle = band(nMiddle);
        high = band(nHigh);
    }
    return qint16(count);
}

std::array<QString, 3> BandHeadings(int g0, int g1, int g2, bool chartScreen) {
    const QString mm = chartScreen ? QStringLiteral("㎜") : QStringLiteral("mm");
    return {QString::number(g0) + "-" + QString::number(g1 - 1) + mm,
            QString::number(g1) + "-" + QString::number(g2 - 1) + mm, QString::number(g2) + mm + "以上"};
}

QString BopText(const ChartStageData& slot) {
    int counted = 0, bleeding = 0;
    for (int t = 0; t < 32; ++t) {
        if (!IsCountedTooth(slot, t, false)) continue;
        for (int s = t * 6; s < t * 6 + 6; ++s) {
            if (slot.Ppd[s] == kNoValue) continue;
            ++counted;
            if (slot.Bop[s] == 1) ++bleeding;
        }
    }
    if (counted == 0) return QString();
    return QString::number(bleeding) + " (" + pct1(bleeding, counted) + "%)";
}

QString PcrText(const ChartStageData& slot) {
    if (!slot.HasData) return QString();
    int surfaces = 0, plaque = 0;
    for (int t = 0; t < 32; ++t) {
        if (!IsCountedTooth(slot, t, false)) continue;
        const std::uint8_t p = slot.Plaque[t];
        if (p & 128) continue; // not examined
        surfaces += 4;
        plaque += std::popcount(unsigned(p & 0x0F));
    }
    if (surfaces < 1) return QStringLiteral("0%");
    return pct1(plaque, surfaces) + "%";
}

bool CalcPisa(const SiteBytes& depths, const SiteBytes& bleeding, ToothAreas& pesa, ToothAreas& pisa) {
    double pesaSum = 0, pisaSum = 0;
    for (int t = 0; t < 32; ++t) {
        int sum = 0, bleedingSites = 0;
        for (int s = t * 6; s < t * 6 + 6; ++s) {
            const std::uint8_t d = depths[s];
            if (d == kNoValue) continue;
            sum += d > 12 ? 12 : d;
            if (bleeding[s] == 1) ++bleedingSites;
        }
        const double x = sum / 6.0;
        double area = x;
        if (!isThirdMolar(t)) {
            const double* c = kPisaCoef[t];
            // Horner form of c1 x + c2 x^2 + ... + c6 x^6.
            area = x * (c[0] + x * (c[1] + x * (c[2] + x * (c[3] + x * (c[4] + x * c[5])))));
        }
        pesa[t] = area;
        pisa[t] = bleedingSites / 6.0 * area;
        pesaSum += pesa[t];
        pisaSum += pisa[t];
    }
    pesa[32] = pesaSum;
    pisa[32] = pisaSum;
    return true;
}

QString PisaSumText(double sum) {
    return (QStringLiteral("      ") + formatFixed(sum, 1)).right(6);
}

bool CheckInitialCaseCriteria(db::ConnectionPtr conn, int patientId, QString& pctText, QString& countText) {
    // Without a stored row every site reads as measured with depth 0.
    SiteBytes depths;
    depths.fill(0);
    db::Recordset rs(conn,
                     "SELECT * FROM TExamData WHERE PatientID=? AND CommentID=1 AND SubExam=2 AND \"Row\"=0 "
                     "ORDER BY ExamDate",
                     {patientId});
    if (!rs.eof()) {
        CExamData rec;
        rec.RecSetGet(rs);
        depths = rec.cells();
        for (int t = 0; t < 32; ++t)
            if (!isRemainingTooth(rec.nBui(t))) std::fill_n(depths.begin() + t * 6, 6, kNoValue);
    }
    int n = 0, a = 0, b = 0;
    for (std::uint8_t d : depths) {
        if (d == kNoValue) continue;
        ++n;
        if (d >= 4) ++a;
        if (d >= 6) ++b;
    }
    pctText = n > 0 ? pct1(a, n) : QStringLiteral("0");
    countText = QString::number(b);
    return !(pctText.toDouble() >= 30.0 && b >= 3);
}

bool CheckStagePeriod(db::ConnectionPtr conn, int patientId) {
    const QDate stage3 = firstExamDate(conn, patientId, 3);
    const QDate stage4 = firstExamDate(conn, patientId, 4);
    if (!stage3.isValid() || !stage4.isValid()) return false;
    return stage4 < stage3.addMonths(6);
}

} // namespace kvr
