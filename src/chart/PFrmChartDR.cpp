#include "chart/PFrmChartDR.h"

#include "chart/Sheets.h"
#include "data/ADODBMain.h"
#include "exam/CExamData.h"
#include "exam/ExamObjects.h"
#include "exam/ExamSession.h"
#include "exam/PFrmPlayWave.h"
#include "exam/ToothButton.h"
#include "platform/accessible.h"
#include "platform/runtime_error.h"
#include "platform/services.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace kvr {

namespace {

const char* kStyle = R"(
QDialog#PFrmChartDR { background: #eef1f4; }
QFrame#panel { background: #ffffff; border: 1px solid #cdd3da; border-radius: 6px; }
QLabel.head { color: #1f3b57; font-weight: bold; }
QLabel.fig { color: #10202f; }
QLabel.value { background: #f7f9fb; border: 1px solid #cdd3da; border-radius: 3px; padding: 1px 4px;
               min-height: 18px; }
QLabel#LblApplyNo { font-weight: bold; }
QGroupBox { font-weight: bold; color: #1f3b57; border: 1px solid #cdd3da; border-radius: 5px;
            margin-top: 9px; padding-top: 4px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }
QPushButton { min-height: 24px; padding: 2px 6px; background: #f7f9fb; border: 1px solid #aab4bf;
              border-radius: 4px; font-weight: normal; color: #10202f; }
QPushButton:hover, QPushButton:focus { background: #e6eef7; border-color: #2f6fb3; }
QPushButton#BtnEnd { background: #dcebfa; font-weight: bold; }
QLabel.note { color: #5a6b7c; }
)";

// The hourglass while a step runs.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

QLabel* styled(const QString& text, const char* cls, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setProperty("class", cls);
    return l;
}

QFrame* panel(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setObjectName("panel");
    return f;
}

// A figure label of a control array, named name + index.
QLabel* figure(const QString& name, int index, QWidget* parent, Qt::Alignment align = Qt::AlignCenter) {
    auto* l = styled(QString(), "value", parent);
    l->setAlignment(align | Qt::AlignVCenter);
    NameControl(l, name + QString::number(index), QString());
    return l;
}

const std::array<const char*, 3> kKinds = {"専門医", "認定医", "認定歯科衛生士"};

// Width of the left column at the design size; it grows with the text.
constexpr int kSidePanelWidth = 236;

} // namespace

PFrmChartDR::PFrmChartDR(int currentPatient, QWidget* parent) : QDialog(parent) {
    setObjectName("PFrmChartDR");
    setWindowTitle(QStringLiteral("チャート表示・印刷"));
    setStyleSheet(kStyle);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setMinimumSize(1000, 640);

    auto* root = new QHBoxLayout(this);
    root->setContentsMargins(6, 6, 6, 6);
    root->setSpacing(6);
    root->addWidget(buildSidePanel());
    SSTab1 = new QTabWidget(this);
    NameControl(SSTab1, "SSTab1", QStringLiteral("表示"));
    SSTab1->addTab(buildChartTab(), QStringLiteral("検査チャート"));
    SSTab1->addTab(buildPreviewTab(), QStringLiteral("検査データシート"));
    root->addWidget(SSTab1, 1);

    // The pocket-depth bands of the pocket item (display row 1).
    if (SubExams()[0].ID == 0) LoadSubExamRows();
    limits_ = PocketBandLimits();
    const auto headings = BandHeadings(limits_[0], limits_[1], limits_[2], true);
    for (int i = 0; i < 3; ++i)
        LblGPH[i]->setText(headings[i]);
    // The tooth cells show the furcation item (display row 3).
    const CSubExam& item = SubExams()[2];
    QHash<int, QString> captions{{0, QString()}, {1, "Ⅰ"}, {2, "Ⅱ"}, {3, "Ⅲ"}};
    for (int i = 0; i < 64; ++i) {
        Th[i]->setColorsFrom(item);
        Th[i]->setKind(ToothButton::KindSixSite);
        Th[i]->setFurcationKind(FurcationKind(i % 32));
        Th[i]->setValueCaptions(captions);
    }

    // Load: the patient box, the current patient, the preview, the chart tab.
    {
        WaitCursor wait;
        CmbOutNo->clear();
        for (int id : ListPatients())
            CmbOutNo->addItem(PatientListText(id), id);
        CmbOutNo->setCurrentIndex(-1);
        CmbOutNo->setEditText(QString());
        for (int s = 0; s < 4; ++s)
            showStageFigures(s);
        if (currentPatient > 0 && selectPatient(currentPatient)) drawDataPreview();
        TxtAppName->clear();
        SSTab1->setCurrentIndex(0);
    }

    connect(CmbOutNo, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        trap(QStringLiteral("患者番号"), [this, index] { selectPatient(CmbOutNo->itemData(index).toInt()); });
    });
    CmbOutNo->lineEdit()->installEventFilter(this);
    CmbOutNo->installEventFilter(this);
    for (int i = 0; i < 6; ++i) {
        connect(BtnPrintChart[i], &QPushButton::clicked, this,
                [this, i] { trap(QStringLiteral("チャート印刷"), [this, i] { printChart(i); }); });
        connect(BtnPrintData[i], &QPushButton::clicked, this,
                [this, i] { trap(QStringLiteral("検査データ印刷"), [this, i] { printData(i); }); });
    }
    connect(BtnBlankPrint, &QPushButton::clicked, this,
            [this] { trap(QStringLiteral("ブランク印刷"), [this] { printBlank(); }); });
    connect(BtnEnd, &QPushButton::clicked, this, [this] { end(); });
    connect(VScrPic, &QScrollBar::valueChanged, this, &PFrmChartDR::scalePreview);
    PicFrame->installEventFilter(this);

    // Fill the screen's free area, at least the design size.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect free = screen->availableGeometry();
        resize(std::max(minimumWidth(), free.width()), std::max(minimumHeight(), free.height()));
    }
}

PFrmChartDR::~PFrmChartDR() = default;

// ---------------------------------------------------------------- building

QWidget* PFrmChartDR::buildSidePanel() {
    QFrame* f = panel(this);
    f->setObjectName(QStringLiteral("SidePanel"));
    f->setFixedWidth(kSidePanelWidth);
    sidePanel_ = f;
    auto* v = new QVBoxLayout(f);
    v->setContentsMargins(8, 8, 8, 8);
    v->setSpacing(4);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    auto* lblNo = styled(QStringLiteral("患者番号"), "head", f);
    CmbOutNo = new QComboBox(f);
    CmbOutNo->setEditable(true);
    CmbOutNo->setInsertPolicy(QComboBox::NoInsert);
    CmbOutNo->setMaxVisibleItems(16);
    NameInput(CmbOutNo, "CmbOutNo", lblNo);
    auto* lblApply = styled(QStringLiteral("症例番号"), "head", f);
    LblApplyNo = styled(QString(), "value", f);
    NameControl(LblApplyNo, "LblApplyNo", QStringLiteral("症例番号"));
    auto* lblName = styled(QStringLiteral("申請者氏名"), "head", f);
    TxtAppName = styled(QString(), "value", f);
    NameControl(TxtAppName, "TxtAppName", QStringLiteral("申請者氏名"));
    for (QLabel* l : {LblApplyNo, TxtAppName})
        l->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    grid->addWidget(lblNo, 0, 0);
    grid->addWidget(CmbOutNo, 0, 1);
    grid->addWidget(lblApply, 1, 0);
    grid->addWidget(LblApplyNo, 1, 1);
    grid->addWidget(lblName, 2, 0);
    grid->addWidget(TxtAppName, 2, 1);
    grid->setColumnStretch(1, 1);
    v->addLayout(grid);
    v->addSpacing(4);

    auto* lblList = styled(QStringLiteral("登録済一覧"), "head", f);
    v->addWidget(lblList);
    LstEntry = new QListWidget(f);
    LstEntry->setFixedHeight(LstEntry->fontMetrics().height() * 6 + 8);
    NameInput(LstEntry, "LstEntry", lblList);
    v->addWidget(LstEntry);
    v->addStretch(1);

    for (int k = 0; k < 3; ++k) {
        auto* box = new QGroupBox(QString::fromUtf8(kKinds[k]), f);
        box->setObjectName(QStringLiteral("Kind%1").arg(k));
        auto* g = new QGridLayout(box);
        g->setContentsMargins(6, 4, 6, 6);
        g->setSpacing(4);
        const QString kind = QString::fromUtf8(kKinds[k]);
        auto make = [&](const char* name, int index, const QString& caption, const QString& tip) {
            auto* b = new QPushButton(caption, box);
            NameControl(b, QString::fromLatin1(name) + QString::number(index), caption);
            b->setToolTip(kind + QStringLiteral("：") + tip);
            return b;
        };
        BtnPrintChart[k] = make("BtnPrintChart", k, QStringLiteral("チャート印刷"), QStringLiteral("検査チャート表を印刷"));
        BtnPrintChart[k + 3] = make("BtnPrintChart", k + 3, QStringLiteral("PDF出力"),
                                    QStringLiteral("検査チャート表をPDFファイルに出力"));
        BtnPrintData[k] = make("BtnPrintData", k, QStringLiteral("検査データ印刷"), QStringLiteral("検査データ表を印刷"));
        BtnPrintData[k + 3] = make("BtnPrintData", k + 3, QStringLiteral("PDF出力"),
                                   QStringLiteral("検査データ表をPDFファイルに出力"));
        g->addWidget(BtnPrintChart[k], 0, 0);
        g->addWidget(BtnPrintChart[k + 3], 0, 1);
        g->addWidget(BtnPrintData[k], 1, 0);
        g->addWidget(BtnPrintData[k + 3], 1, 1);
        v->addWidget(box);
    }
    v->addSpacing(6);
    BtnBlankPrint = new QPushButton(QStringLiteral("ブランク印刷"), f);
    NameControl(BtnBlankPrint, "BtnBlankPrint", BtnBlankPrint->text());
    v->addWidget(BtnBlankPrint);
    BtnEnd = new QPushButton(QStringLiteral("入力画面に戻る"), f);
    NameControl(BtnEnd, "BtnEnd", BtnEnd->text());
    BtnEnd->setMinimumHeight(34);
    v->addWidget(BtnEnd);
    return f;
}

QWidget* PFrmChartDR::buildFigureTable() {
    QFrame* f = panel(this);
    auto* g = new QGridLayout(f);
    g->setContentsMargins(6, 4, 6, 4);
    g->setHorizontalSpacing(4);
    g->setVerticalSpacing(2);
    const QStringList heads = {QStringLiteral("検査日"), QStringLiteral("現在歯数"), QStringLiteral("PPD総数"),
                               QStringLiteral("BOP(+)率"), QStringLiteral("PPD平均")};
    for (int c = 0; c < heads.size(); ++c) {
        auto* h = styled(heads[c], "head", f);
        h->setAlignment(Qt::AlignCenter);
        g->addWidget(h, 0, 1 + c);
    }
    for (int i = 0; i < 3; ++i) {
        LblGPH[i] = styled(QString(), "head", f);
        LblGPH[i]->setAlignment(Qt::AlignCenter);
        NameControl(LblGPH[i], QStringLiteral("LblGPH%1").arg(i), QString());
        g->addWidget(LblGPH[i], 0, 6 + i);
    }
    for (int s = 0; s < 4; ++s) {
        LblStage[s] = styled(QString(), "head", f);
        NameControl(LblStage[s], QStringLiteral("LblStage%1").arg(s), QString());
        LblStage[s]->setStyleSheet(QStringLiteral("color: %1;").arg(ChartJawView::stageColor(s % 2).name()));
        g->addWidget(LblStage[s], 1 + s, 0);
        LblDate[s] = figure("LblDate", s, f);
        LblAll[s] = figure("LblAll", s, f);
        LblPD[s] = figure("LblPD", s, f);
        LblBlood[s] = figure("LblBlood", s, f);
        LblAve[s] = figure("LblAve", s, f);
        LblGP0[s] = figure("LblGP0", s, f);
        LblGP1[s] = figure("LblGP1", s, f);
        LblGP2[s] = figure("LblGP2", s, f);
        int c = 1;
        for (QLabel* l : {LblDate[s], LblAll[s], LblPD[s], LblBlood[s], LblAve[s], LblGP0[s], LblGP1[s], LblGP2[s]})
            g->addWidget(l, 1 + s, c++);
    }
    g->setColumnStretch(0, 3);
    for (int c = 1; c < 9; ++c)
        g->setColumnStretch(c, c == 2 || c == 3 ? 2 : 3);
    return f;
}

QWidget* PFrmChartDR::buildChartTab() {
    auto* w = new QWidget(this);
    auto* v = new QVBoxLayout(w);
    v->setContentsMargins(4, 4, 4, 4);
    v->setSpacing(4);
    v->addWidget(buildFigureTable());
    auto* h = new QHBoxLayout;
    h->setSpacing(6);
    for (int p = 0; p < 2; ++p) {
        QFrame* f = panel(w);
        auto* pv = new QVBoxLayout(f);
        pv->setContentsMargins(6, 4, 6, 4);
        pv->setSpacing(2);
        // Heading: the two stages of the pair in their line colours.
        const QString first = p == 0 ? QStringLiteral("初診時") : QStringLiteral("ＳＰＴ移行時");
        const QString second = p == 0 ? QStringLiteral("基本治療終了時") : QStringLiteral("最新ＳＰＴ時");
        auto* head = new QLabel(QStringLiteral("<b><span style='color:%1'>━ %2</span>　<span style='color:%3'>━ %4</span></b>")
                                    .arg(ChartJawView::stageColor(0).name(), first, ChartJawView::stageColor(1).name(), second),
                                f);
        head->setObjectName(QStringLiteral("LblPair%1").arg(p));
        head->setAccessibleName(first + QStringLiteral("・") + second);
        pv->addWidget(head);
        pairs_[p] = new ChartPairBlock(p, f);
        pv->addWidget(pairs_[p], 1);
        auto* note = styled(PriorityNote(p), "note", f);
        note->setObjectName(QStringLiteral("LblNote%1").arg(p));
        pv->addWidget(note);
        h->addWidget(f, 1);

        ChartPairBlock* b = pairs_[p];
        LblMOBH[p] = b->mobilityHeading;
        NameControl(LblMOBH[p], QStringLiteral("LblMOBH%1").arg(p), LblMOBH[p]->text());
        for (int jaw = 0; jaw < 2; ++jaw) {
            PicPocket[p * 2 + jaw] = b->jaws[jaw];
            NameControl(b->jaws[jaw], QStringLiteral("PicPocket%1").arg(p * 2 + jaw),
                        (jaw == 0 ? QStringLiteral("上顎") : QStringLiteral("下顎")) + QStringLiteral("　") + first +
                            QStringLiteral("・") + second);
            b->jaws[jaw]->setStages(&data_.stages);
        }
        for (int t = 0; t < 32; ++t) {
            LblMOB[p * 32 + t] = b->mobility[t];
            NameControl(b->mobility[t], QStringLiteral("LblMOB%1").arg(p * 32 + t), QString());
            Th[p * 32 + t] = b->cells[t];
            NameControl(b->cells[t], QStringLiteral("Th%1").arg(p * 32 + t), QString());
        }
    }
    v->addLayout(h, 1);
    return w;
}

QWidget* PFrmChartDR::buildPreviewTab() {
    auto* w = new QWidget(this);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(4, 4, 4, 4);
    h->setSpacing(0);
    PicFrame = new QWidget(w);
    NameControl(PicFrame, "PicFrame", QStringLiteral("検査データシート"));
    PicFrame->setAutoFillBackground(true);
    PicDraw = new DataSheetPage(PicFrame);
    NameControl(PicDraw, "PicDraw", QStringLiteral("検査データシート"));
    VScrPic = new QScrollBar(Qt::Vertical, w);
    NameControl(VScrPic, "VScrPic", QStringLiteral("スクロール"));
    VScrPic->setFocusPolicy(Qt::StrongFocus);
    h->addWidget(PicFrame, 1);
    h->addWidget(VScrPic);
    return w;
}

// ---------------------------------------------------------------- patient

bool PFrmChartDR::selectPatient(int patientId) {
    const int index = CmbOutNo->findData(patientId);
    if (index < 0) return false;
    WaitCursor wait;
    CmbOutNo->setCurrentIndex(index);
    CmbOutNo->setEditText(CmbOutNo->itemText(index));
    ChartPatientData d;
    LoadChartPatient(patientId, d);
    data_ = std::move(d);
    showPatientData();
    return true;
}

void PFrmChartDR::showPatientData() {
    LblApplyNo->setText(data_.caseNumber);
    LstEntry->clear();
    LstEntry->addItems(data_.entries);
    for (int pair = 0; pair < 2; ++pair)
        drawChartPair(pair);
}

void PFrmChartDR::showStageFigures(int slot) {
    const ChartStageData& stage = data_.stages[slot];
    const StageFigures f = StageFiguresOf(stage, limits_);
    if (!f.stage.isEmpty()) LblStage[slot]->setText(f.stage);
    LblDate[slot]->setText(f.date);
    LblAll[slot]->setText(f.teeth);
    LblPD[slot]->setText(f.ppdCount);
    LblBlood[slot]->setText(f.bop);
    LblAve[slot]->setText(ChartMeanText(f, stage.HasData));
    LblGP0[slot]->setText(f.bands[0]);
    LblGP1[slot]->setText(f.bands[1]);
    LblGP2[slot]->setText(f.bands[2]);
    LblStage[slot]->setAccessibleName(LblStage[slot]->text());
}

void PFrmChartDR::drawChartPair(int pair) {
    const int first = firstSlotOfPair(pair);
    showStageFigures(first);
    showStageFigures(first + 1);
    const ChartStageData& prio = data_.stages[PrioritySlot(data_.stages, pair)];
    const auto status = PairToothStatus(data_.stages, pair);
    for (int t = 0; t < 32; ++t) {
        LblMOB[pair * 32 + t]->setText(MobilityText(data_.stages, pair, t));
        ToothButton* c = Th[pair * 32 + t];
        c->clearValues();
        c->setStatus(status[t]);
        if (prio.HasData && IsRemainingTooth(status[t]))
            for (int s = 0; s < 6; ++s) {
                const std::uint8_t v = prio.Furcation[t * 6 + s];
                c->setValue(s, 0, v == kNoValue ? -1 : v);
            }
        c->Refresh();
    }
    for (int jaw = 0; jaw < 2; ++jaw)
        PicPocket[pair * 2 + jaw]->update();
}

bool PFrmChartDR::validateTypedNumber() {
    const QString text = CmbOutNo->currentText().trimmed();
    const int shown = data_.patientId;
    if (!text.isEmpty() && shown != 0 && text == PatientListText(shown)) return true;
    int selected = 0;
    if (!CheckTypedPatientNumber(text, ListPatients(), selected)) {
        CmbOutNo->setFocus();
        CmbOutNo->lineEdit()->selectAll();
        return false;
    }
    if (selected != 0) selectPatient(selected);
    return true;
}

bool PFrmChartDR::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == CmbOutNo || watched == CmbOutNo->lineEdit()) && !ending_) {
        if (event->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(event);
            if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) && !CmbOutNo->view()->isVisible()) {
                // Enter checks the typed number and, when it is fine, moves on like Tab.
                bool ok = true;
                trap(QStringLiteral("患者番号"), [&] { ok = validateTypedNumber(); });
                if (ok) focusNextChild();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            // The line edit's focus proxy is the combo box, which hands focus events to the line
            // edit directly, so leaving the box shows up on either object: check once per leave.
            auto* fe = static_cast<QFocusEvent*>(event);
            const bool toPopup = fe->reason() == Qt::PopupFocusReason;
            if (!toPopup && !selecting_) {
                selecting_ = true;
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        if (!ending_) trap(QStringLiteral("患者番号"), [this] { validateTypedNumber(); });
                        selecting_ = false;
                    },
                    Qt::QueuedConnection);
            }
        }
    }
    if (watched == PicFrame) {
        if (event->type() == QEvent::Resize) layoutPreview();
        if (event->type() == QEvent::Wheel) {
            QApplication::sendEvent(VScrPic, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- preview

void PFrmChartDR::drawDataPreview() {
    previewStages_ = data_.stages;
    previewSource_.stages = &previewStages_;
    previewSource_.patientNo = data_.patientId;
    previewSource_.caseNumber = data_.caseNumber;
    PicDraw->setSource(previewSource_);
    layoutPreview();
}

void PFrmChartDR::layoutPreview() {
    const int w = PicFrame->width();
    const int h = int(w * DataSheetPage::kHeightMm / DataSheetPage::kWidthMm);
    PicDraw->resize(w, h);
    const int max = std::max(0, h - PicFrame->height());
    VScrPic->setRange(0, max);
    VScrPic->setPageStep(std::max(1, max / 10));
    VScrPic->setSingleStep(std::max(1, max / 100));
    scalePreview(VScrPic->value());
}

void PFrmChartDR::scalePreview(int value) {
    PicDraw->move(0, -value);
}

// ---------------------------------------------------------------- buttons

SheetSource PFrmChartDR::source() const {
    SheetSource s;
    s.stages = &data_.stages;
    s.patientNo = data_.patientId;
    s.caseNumber = data_.caseNumber;
    return s;
}

namespace {
void nothingToPrint() {
    msgBox(QStringLiteral("印刷対象のデータがありません。"), QStringLiteral("確認"), MsgButtons::Ok,
           MsgIcon::Exclamation);
}
} // namespace

void PFrmChartDR::printChart(int index) {
    PlayWave("click1.wav");
    if (!ChartSheetPrintable(data_.stages)) {
        nothingToPrint();
        return;
    }
    PrintChartSheet(this, source(), ApplicantKind(index % 3), index >= 3);
}

void PFrmChartDR::printData(int index) {
    PlayWave("click1.wav");
    if (!DataSheetPrintable(data_.stages)) {
        nothingToPrint();
        return;
    }
    PrintDataSheet(this, source(), ApplicantKind(index % 3), index >= 3);
}

void PFrmChartDR::printBlank() {
    PlayWave("click1.wav");
    DrawBlankChart(this);
}

void PFrmChartDR::end() {
    if (ending_) return;
    ending_ = true;
    PlayWave("warp.wav");
    QDialog::reject();
}

void PFrmChartDR::reject() {
    end(); // Esc and the close box return to the entry screen like the button
}

// ---------------------------------------------------------------- window

void PFrmChartDR::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    // Larger screens get larger text; the design size keeps the base size.
    const double f = std::clamp(std::min(width() / 1366.0, height() / 740.0), 1.0, 1.8);
    QFont font = QApplication::font();
    font.setPointSizeF(QApplication::font().pointSizeF() * f);
    if (SSTab1->widget(0)->font() != font) SSTab1->widget(0)->setFont(font);
    // The left column's text grows with the chart's, its width with it.
    if (sidePanel_->font() != font) {
        sidePanel_->setFont(font);
        sidePanel_->setFixedWidth(int(kSidePanelWidth * f));
        LstEntry->setFixedHeight(QFontMetrics(font).height() * 6 + 8);
    }
}

void PFrmChartDR::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    layoutPreview();
}

void PFrmChartDR::trap(const QString& firstLine, const std::function<void()>& action) {
    try {
        action();
    } catch (const ProgramEnded&) {
        throw;
    } catch (const RuntimeError& e) {
        msgBox(firstLine + "\r\n\r\n" + errorBoxText(e.number, e.description), QStringLiteral("エラー"),
               MsgButtons::Ok, MsgIcon::Critical);
    } catch (const std::exception& e) {
        msgBox(firstLine + "\r\n\r\n" + errorBoxText(0, QString::fromStdString(e.what())), QStringLiteral("エラー"),
               MsgButtons::Ok, MsgIcon::Critical);
    }
}

} // namespace kvr
