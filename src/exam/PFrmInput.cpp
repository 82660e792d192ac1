// The entry screen: controls, layout, loading, the key preview and closing.
#include "PFrmInput.h"

#include "data/ADODBMain.h"
#include "data/CClinicCode.h"
#include "data/DataObjects.h"
#include "exam/ExamObjects.h"
#include "exam/PFrmCalendar.h"
#include "exam/PFrmMsgBoxBui.h"
#include "exam/PFrmPlayWave.h"
#include "platform/accessible.h"
#include "platform/runtime_error.h"
#include "shell/AppState.h"
#include "shell/startup/startup.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace kvr {

void ClickLabel::mousePressEvent(QMouseEvent* event) {
    QLabel::mousePressEvent(event);
    emit clicked();
}

namespace {

const char* kStyle = R"(
QMainWindow, QWidget#central { background: #eef1f4; }
QFrame#panel, QFrame#FraGrid { background: #ffffff; border: 1px solid #cdd3da; border-radius: 6px; }
QLabel#LblHead { font-size: 17px; font-weight: bold; color: #1f3b57; }
QLabel#LblVer { color: #5a6b7c; }
QLabel#LblNowExam { font-size: 16px; font-weight: bold; color: #ffffff; background: #2f6fb3;
                    border-radius: 4px; padding: 6px; }
QLabel.rowHead { font-size: 13px; color: #1f3b57; padding-right: 6px; }
QLabel.rowHead[current="true"] { font-weight: bold; color: #ffffff; background: #2f6fb3; border-radius: 3px; }
QLabel.toothLabel { font-size: 15px; font-weight: bold; color: #1f3b57; }
QPushButton { min-height: 26px; padding: 2px 8px; background: #f7f9fb; border: 1px solid #aab4bf;
              border-radius: 4px; }
QPushButton:hover { background: #e6eef7; }
QPushButton:disabled { color: #9aa4ae; background: #eef0f2; border-color: #cfd5db; }
QPushButton.value { font-size: 18px; font-weight: bold; min-height: 38px; }
QPushButton#CmdSave { font-weight: bold; background: #dcebfa; }
QLineEdit, QComboBox { min-height: 24px; font-size: 14px; }
)";

QLabel* caption(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
}

// A button read by its caption (which may change: the value buttons, the bulk modes).
QPushButton* button(const QString& name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    NameControl(b, name, QString());
    return b;
}

// A text box named by the label that goes before it.
QLineEdit* lineEdit(const QString& name, QLabel* label, QWidget* parent, int width = 0) {
    auto* e = new QLineEdit(parent);
    NameInput(e, name, label);
    if (width > 0) e->setFixedWidth(width);
    return e;
}

// A list named by the label that goes before it.
QComboBox* comboBox(const QString& name, QLabel* label, QWidget* parent) {
    auto* c = new QComboBox(parent);
    NameInput(c, name, label);
    return c;
}

QFrame* panel(QWidget* parent) {
    auto* f = new QFrame(parent);
    f->setObjectName("panel");
    return f;
}

bool isTextOrList(QObject* o) {
    return qobject_cast<QLineEdit*>(o) || qobject_cast<QComboBox*>(o) || qobject_cast<QAbstractSpinBox*>(o) ||
           qobject_cast<QTextEdit*>(o) || qobject_cast<QPlainTextEdit*>(o) ||
           qobject_cast<QAbstractItemView*>(o);
}

// "description|pattern|description|pattern..." as the file dialog's name filters: each
// description keeps its text and gets its patterns in parentheses unless it shows them.
QStringList nameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString shown = QStringLiteral("(") + patterns + QStringLiteral(")");
        out << (parts[i].endsWith(shown) ? parts[i] : parts[i] + QStringLiteral(" ") + shown);
    }
    return out;
}

QString defaultFileDialog(QWidget* parent, PFrmInput::FileDialogKind kind, const QString& title,
                          const QString& filter) {
    QFileDialog dialog(parent, title);
    dialog.setNameFilters(nameFilters(filter));
    if (kind == PFrmInput::FileDialogKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setDefaultSuffix(QStringLiteral("mdb"));
        if (kind == PFrmInput::FileDialogKind::Create) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

// The numeric value of a text as the import marker is read: leading blanks skipped, then
// an optional sign, digits and a decimal part; 0 when the text starts with anything else.
double leadingNumber(const QString& text) {
    int i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    int end = i;
    if (end < text.size() && (text.at(end) == QLatin1Char('+') || text.at(end) == QLatin1Char('-'))) ++end;
    bool point = false;
    while (end < text.size() && (text.at(end).isDigit() || (!point && text.at(end) == QLatin1Char('.')))) {
        point |= text.at(end) == QLatin1Char('.');
        ++end;
    }
    return text.mid(i, end - i).toDouble(); // 0 for "", "+", "." and the like
}

} // namespace

PFrmInput::PFrmInput(QWidget* parent) : QMainWindow(parent) {
    NameControl(this, "PFrmInput", QString()); // read by its title
    setWindowTitle(mainWindowTitle());
    fileDialog = defaultFileDialog;
    askPlaqueScope = [](QWidget* p) { return AskPlaqueScope(p); };
    pickDate = [](QWidget* p, const DateBoxes& b) { return PickDateWithCalendar(p, b); };
    buildControls();
    connectControls();
    qApp->installEventFilter(this);
    Form_Load();
    // Keyboard-first: the first thing to choose is the patient.
    CmbOutNo->setFocus();
}

PFrmInput::~PFrmInput() {
    qApp->removeEventFilter(this);
}

// ---------------------------------------------------------------- layout

void PFrmInput::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName("central");
    central->setStyleSheet(kStyle);
    setStyleSheet(kStyle);
    auto* v = new QVBoxLayout(central);
    v->setContentsMargins(10, 8, 10, 6);
    v->setSpacing(8);
    v->addWidget(buildHeader());
    v->addWidget(buildPatientPanel());
    auto* middle = new QHBoxLayout;
    middle->setSpacing(8);
    middle->addWidget(buildGrid(), 1);
    middle->addWidget(buildEntryPanel(), 0);
    v->addLayout(middle, 1);
    setCentralWidget(central);

    LblPath = new QLabel(this);
    NameControl(LblPath, "LblPath", QString());
    statusBar()->addWidget(LblPath, 1);

    TimerLoad = new QTimer(this);
    TimerLoad->setObjectName("TimerLoad");
    TimerLoad->setSingleShot(true);
    TimerLoad->setInterval(300);

    resize(1360, 740);
}

QWidget* PFrmInput::buildHeader() {
    auto* w = new QWidget(this);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(4, 0, 4, 0);
    LblHead = new ClickLabel(QStringLiteral("歯周検査ソフト　KVR-Chart-DB"), w);
    NameControl(LblHead, "LblHead", QString());
    LblHead->setToolTip(QStringLiteral("クリックするとバージョンを表示します。"));
    LblVer = new QLabel(QStringLiteral("Ver.") + QStringLiteral(KVR_VERSION_STRING), w);
    NameControl(LblVer, "LblVer", QString());
    CmdFile = button("CmdFile", QStringLiteral("ファイル"), w);
    mnuFile = new QMenu(CmdFile);
    NameControl(mnuFile, "mnuFile", QString());
    mnuCreate = mnuFile->addAction(QStringLiteral("新規作成..."));
    mnuCreate->setObjectName("mnuCreate");
    mnuOpen = mnuFile->addAction(QStringLiteral("開く..."));
    mnuOpen->setObjectName("mnuOpen");
    mnuSave = mnuFile->addAction(QStringLiteral("コピーを作成..."));
    mnuSave->setObjectName("mnuSave");
    CmdFile->setMenu(mnuFile);
    CmdEnd = button("CmdEnd", QStringLiteral("終了"), w);
    h->addWidget(LblHead);
    h->addSpacing(12);
    h->addWidget(LblVer);
    h->addStretch(1);
    h->addWidget(CmdFile);
    h->addWidget(CmdEnd);
    return w;
}

QWidget* PFrmInput::buildPatientPanel() {
    auto* f = panel(this);
    auto* g = new QGridLayout(f);
    g->setContentsMargins(10, 8, 10, 8);
    g->setHorizontalSpacing(8);
    g->setVerticalSpacing(6);

    QLabel* lblOutNo = caption(QStringLiteral("患者番号"), f);
    QLabel* lblInNo = caption(QStringLiteral("院内番号"), f);
    QLabel* lblApplyNo = caption(QStringLiteral("症例番号"), f);
    QLabel* lblAppName = caption(QStringLiteral("申請者名"), f);
    QLabel* lblEntry = caption(QStringLiteral("検査一覧"), f);
    QLabel* lblDate = caption(QStringLiteral("検査日"), f);
    QLabel* lblStage = caption(QStringLiteral("治療ステージ"), f);
    CmbOutNo = comboBox("CmbOutNo", lblOutNo, f);
    CmbOutNo->setEditable(true);
    CmbOutNo->setInsertPolicy(QComboBox::NoInsert);
    CmbOutNo->setFixedWidth(90);
    TxtInNo = lineEdit("TxtInNo", lblInNo, f, 130);
    TxtApplyNo = lineEdit("TxtApplyNo", lblApplyNo, f, 130);
    TxtApplyNo->setToolTip(
        QStringLiteral("申請書に印刷する症例番号を指定します。未記入の場合は、患者番号が印刷されます。"));
    TxtAppName = lineEdit("TxtAppName", lblAppName, f, 160);
    CmbEntry = comboBox("CmbEntry", lblEntry, f);
    CmbEntry->setMinimumWidth(230);
    QLabel* lblYear = new QLabel(QStringLiteral("年"), f);
    QLabel* lblMonth = new QLabel(QStringLiteral("月"), f);
    QLabel* lblDay = new QLabel(QStringLiteral("日"), f);
    TxtY = lineEdit("TxtY", lblDate, f, 56);
    TxtM = lineEdit("TxtM", lblMonth, f, 36);
    TxtD = lineEdit("TxtD", lblDay, f, 36);
    // The three boxes read as parts of the examination date.
    TxtY->setAccessibleName(QStringLiteral("検査日 年"));
    TxtM->setAccessibleName(QStringLiteral("検査日 月"));
    TxtD->setAccessibleName(QStringLiteral("検査日 日"));
    lblYear->setBuddy(TxtY);
    for (QLineEdit* e : {TxtY, TxtM, TxtD})
        e->setAlignment(Qt::AlignCenter);
    TxtY->setMaxLength(4);
    TxtM->setMaxLength(2);
    TxtD->setMaxLength(2);
    CmdDate = button("CmdDate", QStringLiteral("カレンダー"), f);
    CmbStage = comboBox("CmbStage", lblStage, f);
    CmbStage->setMinimumWidth(150);
    CmdPrevStage = button("CmdPrevStage", QStringLiteral("◀"), f);
    CmdNextStage = button("CmdNextStage", QStringLiteral("▶"), f);
    CmdPrevStage->setToolTip(QStringLiteral("前の治療ステージ"));
    CmdNextStage->setToolTip(QStringLiteral("次の治療ステージ"));
    // The arrows read as what they do.
    CmdPrevStage->setAccessibleName(CmdPrevStage->toolTip());
    CmdNextStage->setAccessibleName(CmdNextStage->toolTip());
    CmdAdd = button("CmdAdd", QStringLiteral("新規検査"), f);
    CmdSave = button("CmdSave", QStringLiteral("保存"), f);
    CmdDelExamData = button("CmdDelExamData", QStringLiteral("検査データ削除"), f);
    CmdDelPatient = button("CmdDelPatient", QStringLiteral("患者削除"), f);

    int c = 0;
    g->addWidget(lblOutNo, 0, c++);
    g->addWidget(CmbOutNo, 0, c++);
    g->addWidget(lblInNo, 0, c++);
    g->addWidget(TxtInNo, 0, c++);
    g->addWidget(lblApplyNo, 0, c++);
    g->addWidget(TxtApplyNo, 0, c++);
    g->addWidget(lblAppName, 0, c++);
    g->addWidget(TxtAppName, 0, c++);
    g->setColumnStretch(c, 1);
    auto* actions = new QHBoxLayout;
    actions->addWidget(CmdAdd);
    actions->addWidget(CmdSave);
    actions->addSpacing(10);
    actions->addWidget(CmdDelExamData);
    actions->addWidget(CmdDelPatient);
    g->addLayout(actions, 0, c + 1, 1, 1, Qt::AlignRight);

    auto* dateRow = new QHBoxLayout;
    dateRow->setSpacing(4);
    dateRow->addWidget(lblEntry);
    dateRow->addWidget(CmbEntry);
    dateRow->addSpacing(14);
    dateRow->addWidget(lblDate);
    dateRow->addWidget(TxtY);
    dateRow->addWidget(lblYear);
    dateRow->addWidget(TxtM);
    dateRow->addWidget(lblMonth);
    dateRow->addWidget(TxtD);
    dateRow->addWidget(lblDay);
    dateRow->addWidget(CmdDate);
    dateRow->addSpacing(14);
    dateRow->addWidget(lblStage);
    dateRow->addWidget(CmdPrevStage);
    dateRow->addWidget(CmbStage);
    dateRow->addWidget(CmdNextStage);
    dateRow->addStretch(1);
    g->addLayout(dateRow, 1, 0, 1, c + 2);
    return f;
}

QWidget* PFrmInput::buildGrid() {
    auto* f = new QFrame(this);
    gridArea_ = f;
    // The grid takes the entry keys while it has the focus.
    NameControl(f, QStringLiteral("FraGrid"), QStringLiteral("検査値の入力"));
    f->setFocusPolicy(Qt::StrongFocus);
    auto* g = new QGridLayout(f);
    g->setContentsMargins(8, 6, 8, 6);
    g->setHorizontalSpacing(2);
    g->setVerticalSpacing(2);
    // Columns: 0 row headings, 1-8 right quadrant, 9 the midline, 10-17 left quadrant.
    auto columnOf = [](int tooth) {
        const int i = tooth % 16;
        return i < 8 ? 1 + i : 10 + (i - 8);
    };
    const int lowerFirstRow = 1 + kRows + 1;
    for (int t = 0; t < 32; ++t) {
        auto* l = new ClickLabel(QString(), f);
        NameControl(l, QStringLiteral("LblTh%1").arg(t), QString());
        l->setProperty("class", "toothLabel");
        l->setAlignment(Qt::AlignCenter);
        l->setMinimumHeight(34);
        l->setCursor(Qt::PointingHandCursor);
        LblTh[t] = l;
        g->addWidget(l, t < 16 ? 0 : lowerFirstRow + kRows, columnOf(t));
        connect(l, &ClickLabel::clicked, this,
                [this, t] { trap(QStringLiteral("歯の選択"), [&] { onLabelClicked(t); }); });
    }
    for (int r = 0; r < kRows; ++r) {
        for (int jaw = 0; jaw < 2; ++jaw) {
            auto* head = new ClickLabel(QString(), f);
            NameControl(head, QStringLiteral("LblRow%1").arg(jaw * kRows + r), QString());
            head->setProperty("class", "rowHead");
            head->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            head->setMinimumWidth(92);
            LblRow[jaw * kRows + r] = head;
            g->addWidget(head, jaw == 0 ? 1 + r : lowerFirstRow + r, 0);
            connect(head, &ClickLabel::clicked, this,
                    [this, r] { trap(QStringLiteral("検査項目の選択"), [&] { setCurrentRow(r); }); });
        }
        for (int t = 0; t < 32; ++t) {
            auto* cell = new ToothButton(r * 32 + t, f);
            // Read by its tooth, site and value (its own accessibility interface).
            NameControl(cell, QStringLiteral("Th%1").arg(r * 32 + t), QString());
            Th[r * 32 + t] = cell;
            g->addWidget(cell, t < 16 ? 1 + r : lowerFirstRow + r, columnOf(t));
            connect(cell, &ToothButton::clicked, this, [this](int index, int site) {
                trap(QStringLiteral("入力位置の選択"), [&] { onCellClicked(index, site); });
            });
            connect(cell, &ToothButton::toothSelected, this, [this](int index) {
                trap(QStringLiteral("入力位置の選択"), [&] { onCellClicked(index, -1); });
            });
        }
    }
    g->setColumnMinimumWidth(9, 8);
    g->setRowMinimumHeight(1 + kRows, 12);
    for (int c = 1; c <= 17; ++c)
        if (c != 9) g->setColumnStretch(c, 1);
    return f;
}

QWidget* PFrmInput::buildEntryPanel() {
    auto* f = panel(this);
    f->setFixedWidth(250);
    auto* v = new QVBoxLayout(f);
    v->setContentsMargins(10, 10, 10, 10);
    v->setSpacing(6);
    LblNowExam = new ClickLabel(QString(), f);
    NameControl(LblNowExam, "LblNowExam", QString());
    LblNowExam->setAlignment(Qt::AlignCenter);
    v->addWidget(LblNowExam);

    auto* vals = new QGridLayout;
    vals->setSpacing(4);
    for (int i = 0; i < 5; ++i) {
        CmdVal[i] = button(QStringLiteral("CmdVal%1").arg(i), QString(), f);
        CmdVal[i]->setProperty("class", "value");
        CmdVal[i]->setFocusPolicy(Qt::NoFocus);
        vals->addWidget(CmdVal[i], i / 3, i % 3);
    }
    CmdNot = button("CmdNot", QStringLiteral("クリア"), f);
    CmdNot->setProperty("class", "value");
    CmdNot->setFocusPolicy(Qt::NoFocus);
    vals->addWidget(CmdNot, 1, 2);
    v->addLayout(vals);

    CmdFurcationNone = button("CmdFurcationNone", QStringLiteral("病変なし（無）"), f);
    CmdBlood = button("CmdBlood", QStringLiteral("出血"), f);
    CmdHainou = button("CmdHainou", QStringLiteral("排膿"), f);
    CmdBloodMode = button("CmdBloodMode", QStringLiteral(" 出血　一括"), f);
    CmdHainouMode = button("CmdHainouMode", QStringLiteral(" 排膿　一括"), f);
    CmdPL = button("CmdPL", QStringLiteral("プラーク　一括"), f);
    auto* plMenu = new QMenu(CmdPL);
    mnuPlaqueAll = plMenu->addAction(QStringLiteral("すべてあり"));
    mnuPlaqueNone = plMenu->addAction(QStringLiteral("すべてなし"));
    CmdPL->setMenu(plMenu);
    auto* marks = new QGridLayout;
    marks->setSpacing(4);
    marks->addWidget(CmdBlood, 0, 0);
    marks->addWidget(CmdHainou, 0, 1);
    marks->addWidget(CmdBloodMode, 1, 0);
    marks->addWidget(CmdHainouMode, 1, 1);
    marks->addWidget(CmdFurcationNone, 2, 0, 1, 2);
    marks->addWidget(CmdPL, 3, 0, 1, 2);
    v->addLayout(marks);

    auto* line = new QFrame(f);
    line->setFrameShape(QFrame::HLine);
    line->setStyleSheet("color: #cdd3da;");
    v->addWidget(line);
    auto* statusHead = new QLabel(QStringLiteral("歯の状態"), f);
    v->addWidget(statusHead);
    CmdImplant = button("CmdImplant", QStringLiteral("インプラント"), f);
    CmdPontic = button("CmdPontic", QStringLiteral("ポンティック"), f);
    CmdMT = button("CmdMT", QStringLiteral("ＭＴ（欠損）"), f);
    auto* status = new QGridLayout;
    status->setSpacing(4);
    status->addWidget(CmdImplant, 0, 0);
    status->addWidget(CmdPontic, 0, 1);
    status->addWidget(CmdMT, 1, 0, 1, 2);
    v->addLayout(status);
    for (QPushButton* b : {CmdFurcationNone, CmdBlood, CmdHainou, CmdBloodMode, CmdHainouMode, CmdPL,
                           CmdImplant, CmdPontic, CmdMT})
        b->setFocusPolicy(Qt::NoFocus);

    v->addStretch(1);
    CmdChartDR = button("CmdChartDR", QStringLiteral("チャート表示・印刷"), f);
    CmdStyleDRS071 = button("CmdStyleDRS071", QStringLiteral("検査データシート"), f);
    CmdImport = button("CmdImport", QStringLiteral("追加情報／ツール"), f);
    CmdImage = button("CmdImage", QStringLiteral("口腔内写真"), f);
    for (QPushButton* b : {CmdChartDR, CmdStyleDRS071, CmdImport, CmdImage}) {
        b->setEnabled(b == CmdImport);
        v->addWidget(b);
    }
    return f;
}

void PFrmInput::connectControls() {
    auto on = [this](QPushButton* b, const QString& what, std::function<void()> f) {
        connect(b, &QPushButton::clicked, this, [this, what, f] { trap(what, f); });
    };
    for (int i = 0; i < 5; ++i)
        on(CmdVal[i], QStringLiteral("入力"), [this, i] {
            if (!needPatient()) return; // the focus goes to the patient list
            const CSubExam& item = SubExams()[row_];
            if (currentMode() == 6 && i == 0) // "無": the no-lesion value
                noLesion();
            else
                enterValue(item.BtnVal(i));
            gridArea_->setFocus();
        });
    on(CmdNot, QStringLiteral("クリア"), [this] {
        if (!needPatient()) return;
        clearAtCursor(); // plays "click1.wav"
        gridArea_->setFocus();
    });
    on(CmdImport, QStringLiteral("追加情報／ツール"), [this] {
        if (showTools) showTools(this, -1);
    });
    on(CmdBlood, QStringLiteral("出血"), [this] { toggleMark(1); });
    on(CmdHainou, QStringLiteral("排膿"), [this] { toggleMark(2); });
    on(CmdBloodMode, QStringLiteral("出血一括"), [this] { setBulkMode(1, !bloodMode_); });
    on(CmdHainouMode, QStringLiteral("排膿一括"), [this] { setBulkMode(2, !pusMode_); });
    on(CmdFurcationNone, QStringLiteral("根分岐部病変なし"), [this] { noLesion(); });
    connect(mnuPlaqueAll, &QAction::triggered, this,
            [this] { trap(QStringLiteral("プラーク一括"), [this] { plaqueSide(true); }); });
    connect(mnuPlaqueNone, &QAction::triggered, this,
            [this] { trap(QStringLiteral("プラーク一括"), [this] { plaqueSide(false); }); });
    on(CmdImplant, QStringLiteral("インプラント"), [this] { toggleStatus(kImplant); });
    on(CmdPontic, QStringLiteral("ポンティック"), [this] { toggleStatus(kPontic); });
    on(CmdMT, QStringLiteral("ＭＴ（欠損）"), [this] { toggleStatus(kMissingTooth); });
    on(CmdAdd, QStringLiteral("新規検査"), [this] { newExamination(); });
    on(CmdSave, QStringLiteral("保存"), [this] { save(); });
    on(CmdDelExamData, QStringLiteral("検査データ削除"), [this] { deleteExamination(); });
    on(CmdDelPatient, QStringLiteral("患者削除"), [this] { deletePatient(); });
    on(CmdDate, QStringLiteral("検査日入力"), [this] { onDateButton(); });
    on(CmdPrevStage, QStringLiteral("治療ステージ"), [this] { stepStage(-1); });
    on(CmdNextStage, QStringLiteral("治療ステージ"), [this] { stepStage(1); });
    on(CmdEnd, QStringLiteral("終了"), [this] { close(); });
    connect(mnuCreate, &QAction::triggered, this,
            [this] { trap(QStringLiteral("新規作成"), [this] { createDatabase(); }); });
    connect(mnuOpen, &QAction::triggered, this,
            [this] { trap(QStringLiteral("ファイルを開く"), [this] { openDatabase(); }); });
    connect(mnuSave, &QAction::triggered, this,
            [this] { trap(QStringLiteral("コピー作成"), [this] { copyDatabase(); }); });
    connect(LblHead, &ClickLabel::clicked, this,
            [this] { trap(QStringLiteral("バージョン情報"), [this] { showVersion(); }); });
    connect(TimerLoad, &QTimer::timeout, this,
            [this] { trap(QStringLiteral("起動時処理"), [this] { TimerLoad_Timer(); }); });

    connect(CmbOutNo, &QComboBox::activated, this,
            [this](int i) { requestPatient(CmbOutNo->itemData(i).toInt()); });
    connect(CmbEntry, &QComboBox::activated, this,
            [this](int i) { trap(QStringLiteral("検査の選択"), [this, i] { selectExamination(i); }); });
    connect(CmbStage, &QComboBox::currentIndexChanged, this, [this] {
        if (!loading_) updateDateWarning();
    });
    for (QLineEdit* e : {TxtY, TxtM, TxtD})
        connect(e, &QLineEdit::textEdited, this, [this] { updateDateWarning(); });
    // The tab order (and so Enter in the boxes) follows the way an examination is
    // entered: patient, his boxes, the examination list, the date, the stage, the grid,
    // then saving; the buttons of the date and stage rows come after.
    const QList<QWidget*> order = {CmbOutNo,     TxtInNo,      TxtApplyNo,     TxtAppName,     CmbEntry,
                                   TxtY,         TxtM,         TxtD,           CmbStage,       gridArea_,
                                   CmdSave,      CmdAdd,       CmdDelExamData, CmdDelPatient,  CmdDate,
                                   CmdPrevStage, CmdNextStage, CmdChartDR,     CmdStyleDRS071, CmdImport,
                                   CmdImage,     CmdFile,      CmdEnd};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    auto* saveKey = new QShortcut(QKeySequence::Save, this);
    connect(saveKey, &QShortcut::activated, this,
            [this] { trap(QStringLiteral("保存"), [this] { save(); }); });
}

// ---------------------------------------------------------------- loading

void PFrmInput::Form_Load() {
    trap(QStringLiteral("画面の読み込み"), [this] {
        OpenMemberDbHold();
        reloadAll();
        TimerLoad->start();
    });
}

void PFrmInput::reloadAll() {
    loading_ = true;
    LoadStageLabels();
    fillStageList();
    LoadSubExamRows();
    LoadCharge(TheCharge().ID > 0 ? TheCharge().ID : 1);
    setupItemRows();
    fillPatientList();
    showDbPath();
    patientId_ = 0;
    status_.fill(0);
    isNew_ = true;
    unsaved_ = false;
    CmbEntry->clear();
    setDateBoxes(QDate());
    selectStage(-1);
    for (int i = 0; i < kExamSlots; ++i)
        ExamSlots()[i].ClearBuffer();
    loading_ = false;
    fillGrid();
    rebuildAllCursors();
    row_ = 0;
    setCurrentRow(0);
}

void PFrmInput::showDbPath() {
    LblPath->setText(QStringLiteral("使用中ファイル ： ") + QDir::toNativeSeparators(app().memberDbPath()));
}

void PFrmInput::fillPatientList() {
    patients_ = ListPatients();
    CmbOutNo->clear();
    for (int id : patients_)
        CmbOutNo->addItem(PatientListText(id), id);
    CmbOutNo->setCurrentIndex(-1);
    CmbOutNo->setEditText(QString());
}

void PFrmInput::fillStageList() {
    const bool was = loading_;
    loading_ = true;
    CmbStage->clear();
    for (int code = 1; code <= kMaxStageCode; ++code) {
        const QString label = StageLabel(code);
        if (!label.isEmpty()) CmbStage->addItem(label, code);
    }
    CmbStage->setCurrentIndex(-1);
    loading_ = was;
}

void PFrmInput::setupItemRows() {
    for (int r = 0; r < kRows; ++r) {
        const CSubExam& item = SubExams()[r];
        int kind = ToothButton::KindOneValue;
        switch (item.Mode) {
        case 3:
            kind = ToothButton::KindPocket;
            break;
        case 4:
            kind = ToothButton::KindTwoPass;
            break;
        case 5:
        case 6:
        case 9:
            kind = ToothButton::KindSixSite;
            break;
        case 0:
            kind = ToothButton::KindNone;
            break;
        default:
            break;
        }
        QHash<int, QString> captions;
        if (item.Mode == 6)
            for (int i = 0; i < 5; ++i)
                if (!item.BtnName(i).isEmpty()) {
                    QString text = item.BtnName(i); // "Ⅱ度" is shown as "Ⅱ" in the cell
                    if (text.size() > 1 && text.endsWith(QStringLiteral("度"))) text.chop(1);
                    captions.insert(item.BtnVal(i), text);
                }
        for (int t = 0; t < 32; ++t) {
            ToothButton* c = cell(r, t);
            c->setColorsFrom(item);
            c->setKind(kind);
            c->setFurcationKind(item.Mode == 6 ? FurcationKind(t) : 0);
            c->setValueCaptions(captions);
        }
        LblRow[r]->setText(item.Name);
        LblRow[kRows + r]->setText(item.Name);
    }
    // Taller rows for the item kinds with more to show.
    auto* g = static_cast<QGridLayout*>(gridArea_->layout());
    for (int r = 0; r < kRows; ++r) {
        const int kind = Th[r * 32]->kind();
        const int stretch = kind == ToothButton::KindPocket ? 5 : kind == ToothButton::KindOneValue ? 3 : 4;
        g->setRowStretch(1 + r, stretch);
        g->setRowStretch(1 + kRows + 1 + r, stretch);
    }
}

void PFrmInput::TimerLoad_Timer() {
    TimerLoad->stop();
    if (leadingNumber(TheClinicCode().ClinicName) != 0) return;
    const QString text = QStringLiteral("<追加情報／ツール>の<旧版KVR-Chartインポート>を表示しますか？") +
                         "\r\n\r\n" + QStringLiteral("■表示／実行する必要がある場合") + "\r\n" +
                         QStringLiteral("　　・「旧版KVR-Chart Ver.4」のデータを継続使用する場合") +
                         "\r\n\r\n" + QStringLiteral("■表示／実行する必要がない場合") + "\r\n" +
                         QStringLiteral("　　・ 新規利用のため継続するデータがない場合") + "\r\n" +
                         QStringLiteral("　　・「旧版KVR-Chart Ver.4」のデータを継続使用しない場合") +
                         "\r\n" + QStringLiteral("　　・「KVR-DB Ver.1」を使用している場合（自動継続）") +
                         "\r\n\r\n" + QStringLiteral("「旧版KVR-Chartインポート」を表示し、実行しますか？");
    const MsgResult r =
        msgBox(text, QStringLiteral("インポート確認"), MsgButtons::YesNo, MsgIcon::Information);
    if (r == MsgResult::Yes) {
        // The tools screen on its previous-version import tab; a completed import marks
        // the clinic-code row itself.
        if (showTools) showTools(this, 2);
        return;
    }
    TheClinicCode().ClinicName = QStringLiteral("1");
    SaveClinicCode(TheClinicCode().ClinicCode);
}

// ---------------------------------------------------------------- keys and closing

bool PFrmInput::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && watched == CmbOutNo) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
            QTimer::singleShot(0, this, [this] { onPatientListLeft(); });
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || w->window() != this) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (isTextOrList(w)) {
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            focusNextChild(); // Enter walks the boxes like Tab
            return true;
        }
        return false;
    }
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    bool used = false;
    trap(QStringLiteral("入力"), [&] { used = handleEntryKey(key->key(), key->text()); });
    return used;
}

void PFrmInput::closeEvent(QCloseEvent* event) {
    if (unsaved_ && !AskCloseUnsaved()) {
        event->ignore();
        return;
    }
    event->accept();
    CloseMemberDbForce();
}

void PFrmInput::trap(const QString& firstLine, const std::function<void()>& action) {
    try {
        action();
    } catch (const ProgramEnded&) {
        throw;
    } catch (const RuntimeError& e) {
        msgBox(firstLine + "\r\n\r\n" + errorBoxText(e.number, e.description), QStringLiteral("エラー"),
               MsgButtons::Ok, MsgIcon::Critical);
    } catch (const std::exception& e) {
        msgBox(firstLine + "\r\n\r\n" + errorBoxText(0, QString::fromStdString(e.what())),
               QStringLiteral("エラー"), MsgButtons::Ok, MsgIcon::Critical);
    }
}

} // namespace kvr
