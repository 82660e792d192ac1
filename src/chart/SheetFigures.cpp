#include "chart/SheetFigures.h"

#include "exam/CExamData.h"
#include "exam/ExamObjects.h"

namespace kvr {

std::array<int, 3> PocketBandLimits() {
    const CSubExam& item = SubExams()[0];
    const std::array<int, 3> g{int(item.GradationPart(0)), int(item.GradationPart(1)), int(item.GradationPart(2))};
    if (g[0] < 0 || g[1] <= g[0] || g[2] <= g[1]) return {1, 4, 7};
    return g;
}

StageFigures StageFiguresOf(const ChartStageData& slot, const std::array<int, 3>& limits) {
    StageFigures f;
    f.stage = slot.StageName;
    if (!slot.HasData) return f;
    f.date = slot.ExamDate.date().toString("yyyy/MM/dd");
    f.teeth = PresentToothText(slot);
    f.implants = ImplantText(slot);
    const SiteBytes depths = PocketDepthInput(slot);
    SummarizePocketDepths(depths, qint16(limits[1]), qint16(limits[2]), 1, f.ppdCount, f.ppdMean, f.bands[0],
                          f.bands[1], f.bands[2]);
    f.bop = BopText(slot);
    ToothAreas pesa, pisa;
    CalcPisa(depths, BleedingInput(slot), pesa, pisa);
    f.pisa = PisaSumText(pisa[32]);
    f.pesa = PisaSumText(pesa[32]);
    f.pcr = PcrText(slot);
    return f;
}

QString ChartMeanText(const StageFigures& f, bool hasData) {
    return hasData ? f.ppdMean + QStringLiteral("㎜") : QString();
}

QString DataSheetMeanText(const StageFigures& f, bool hasData) {
    return hasData ? f.ppdMean + QStringLiteral("㎜(") + f.ppdCount + QStringLiteral("点)") : QString();
}

QString SheetCaseText(const QString& caseNumber, int patientNo) {
    return caseNumber.isEmpty() ? QString::number(patientNo) : caseNumber;
}

QString CaseIdentifier(const QString& caseNumber, int patientNo) {
    const QString trimmed = caseNumber.trimmed();
    return trimmed.isEmpty() ? QString::number(patientNo) : trimmed;
}

QString toFullWidth(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (u == 0x20)
            out += QChar(0x3000);
        else if (u > 0x20 && u < 0x7F)
            out += QChar(ushort(u - 0x21 + 0xFF01));
        else
            out += c;
    }
    return out;
}

QString SheetPdfFileName(int applicantKind, const QString& memberNo, const QString& caseId, bool chartSheet,
                         const QDateTime& when) {
    static const char* const kLetters[3] = {"S", "N", "H"};
    const int k = applicantKind >= 0 && applicantKind < 3 ? applicantKind : 0;
    return QString::fromLatin1(kLetters[k]) + "_" + memberNo + "_" + caseId + (chartSheet ? "_C_" : "_D_") +
           when.toString("yyyyMMdd_HHmm") + ".pdf";
}

} // namespace kvr
