// The one-page overview of an archive: its member, kind and date, the reviewer's
// checks of the database, and one line per case with the stages present, the two
// checks of the sheets, the completeness and what is missing.
#include "review/Review.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace kvr::review {

namespace {

constexpr double kLeft = 10, kTop = 10, kWidth = 277, kHeight = 190; // mm, A4 landscape

QString kindCaption(const QString& letter) {
    if (letter == "S") return QStringLiteral("専門医（S）");
    if (letter == "N") return QStringLiteral("認定医（N）");
    if (letter == "H") return QStringLiteral("認定歯科衛生士（H）");
    return QStringLiteral("不明");
}

} // namespace

bool WriteOverviewPdf(const QString& path, const ArchiveReview& a) {
    QPdfWriter writer(path);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(0, 0, 0, 0),
                                     QPageLayout::Millimeter));
    writer.setResolution(600);
    writer.setTitle(QFileInfo(a.archive).fileName());
    writer.setCreator(QStringLiteral("KVR-Chart-DB"));
    QPainter p;
    if (!p.begin(&writer)) return false;
    const double unit = writer.resolution() / 25.4; // device pixels per millimetre
    p.scale(unit, unit);
    auto font = [&](double points, bool bold = false) {
        QFont f(QStringLiteral("IPAPGothic"));
        f.setPixelSize(qMax(1, int(points * 0.3528 * 100)));
        f.setBold(bold);
        p.setFont(f);
    };
    // Text in millimetres through a font sized in hundredths of a millimetre.
    auto text = [&](double x, double y, double w, double h, const QString& s, int flags = Qt::AlignLeft) {
        p.save();
        p.scale(0.01, 0.01);
        p.drawText(QRectF(x * 100, y * 100, w * 100, h * 100), flags | Qt::AlignVCenter | Qt::TextSingleLine, s);
        p.restore();
    };

    double y = kTop;
    font(14, true);
    text(kLeft, y, kWidth, 8, QStringLiteral("提出データ確認一覧"));
    y += 9;
    font(9);
    text(kLeft, y, kWidth, 5,
         QStringLiteral("圧縮ファイル: ") + QFileInfo(a.archive).fileName() + QStringLiteral("　　会員番号: ") +
             a.memberNo + QStringLiteral("　　区分: ") + kindCaption(a.kindLetter) + QStringLiteral("　　作成日時: ") +
             a.archiveDate.toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    y += 5;
    int incomplete = 0;
    for (const CaseReview& c : a.cases)
        incomplete += c.complete() ? 0 : 1;
    text(kLeft, y, kWidth, 5,
         QStringLiteral("症例数: %1　　不足のある症例: %2　　整合性確認: %3　　スキーマ版: %4%5")
             .arg(a.cases.size())
             .arg(incomplete)
             .arg(a.integrity)
             .arg(a.schemaVersion)
             .arg(a.schemaKnown ? QString() : QStringLiteral("（不明な版）")));
    y += 7;

    const QList<std::pair<QString, double>> cols{
        {QStringLiteral("患者"), 10},         {QStringLiteral("症例番号"), 22},   {QStringLiteral("初診時"), 20},
        {QStringLiteral("基本治療終了時"), 22}, {QStringLiteral("ＳＰＴ移行時"), 20}, {QStringLiteral("最新ＳＰＴ時"), 20},
        {QStringLiteral("期間"), 16},         {QStringLiteral("症例基準"), 16},   {QStringLiteral("日付確認"), 22},
        {QStringLiteral("完了"), 10},         {QStringLiteral("不足項目"), 99}};
    const double rowH = qMin(5.0, (kTop + kHeight - y - 6) / qMax<qsizetype>(1, a.cases.size() + 1));
    const double points = qMin(8.0, rowH / 0.3528 * 0.75);
    font(points, true);
    double x = kLeft;
    for (const auto& [name, w] : cols) {
        text(x + 0.5, y, w - 1, rowH, name);
        x += w;
    }
    p.setPen(QPen(Qt::black, 0.2));
    p.drawLine(QPointF(kLeft, y + rowH), QPointF(kLeft + kWidth, y + rowH));
    y += rowH;
    font(points);
    for (const CaseReview& c : a.cases) {
        QStringList dateNotes;
        if (!c.datesInOrder) dateNotes << QStringLiteral("順序違い");
        if (c.futureStage) dateNotes << QStringLiteral("圧縮日以降");
        if (c.duplicateCaseNumber) dateNotes << QStringLiteral("番号重複");
        const QStringList cells{QString::number(c.patientNo),
                                c.caseNumber,
                                c.stages[0].date,
                                c.stages[1].date,
                                c.stages[2].date,
                                c.stages[3].date,
                                c.stagePeriodProblem ? QStringLiteral("6か月未満") : QStringLiteral("問題なし"),
                                c.initialCriterionMet ? QStringLiteral("満たす") : QStringLiteral("満たさない"),
                                dateNotes.isEmpty() ? QStringLiteral("問題なし") : dateNotes.join(QStringLiteral("・")),
                                c.complete() ? QStringLiteral("○") : QStringLiteral("×"),
                                c.missing.join(QStringLiteral("、"))};
        x = kLeft;
        for (int i = 0; i < cols.size(); ++i) {
            const QString& s = cells[i];
            const double w = cols[i].second;
            const QFontMetricsF fm(p.font());
            text(x + 0.5, y, w - 1, rowH, fm.elidedText(s, Qt::ElideRight, (w - 1) * 100));
            x += w;
        }
        y += rowH;
        p.setPen(QPen(Qt::gray, 0.1));
        p.drawLine(QPointF(kLeft, y), QPointF(kLeft + kWidth, y));
        p.setPen(QPen(Qt::black, 0.2));
    }
    if (a.cases.isEmpty()) text(kLeft, y + 1, kWidth, 5, QStringLiteral("症例患者がありません。"));
    return p.end() && QFileInfo(path).size() > 0;
}

} // namespace kvr::review
