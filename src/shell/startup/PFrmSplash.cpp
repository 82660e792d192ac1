#include "PFrmSplash.h"

#include "MemberFolder.h"

#include "data/ADODBMain.h"
#include "platform/accessible.h"
#include "platform/runtime_error.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"
#include "shell/VazaMessage.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

namespace kvr {

namespace {

constexpr int kNarrowWidth = 313; // the window without the explanation panel

const char* const kTitle1 = kProgramSubtitle;
const char* const kTitle2 = kProgramTitle;

const char* const kPanelTexts[] = {
    "●会員番号ごとにフォルダを作成しデータを管理します。",
    "※同一PCで複数人での利用が可能",
    "（例）会員番号が「123456」の場合",
    "フォルダ       ： ",
    "データファイル ： KVR-DB-123456.MDB",
    "",
    "●提出するファイルは、デスクトップの「KVR-DB-SAVE」フォルダに保存されます。",
    "以下の３種類が対象です。　　（区分=N、会員番号=123456、症例番号=5の場合の例）",
    "・検査データのPDFファイル　　 ： N_123456_5_D_20240814_1612.pdf",
    "・チャートデータのPDFファイル ： N_123456_5_C_20240814_1615.pdf",
    "・全データのZIPファイル 　　　： N_123456_20240814_1630_KVR-DB.zip",
    "※区分の説明　　S：専門医、N：認定医、H：認定歯科衛生士",
    "",
    "●会員番号の修正",
    "会員番号を間違えたまま入力された場合、または、仮の会員番号で入力された場合は、",
    "「追加情報／ツール」の「データの管理」で。会員番号の変更が可能です。",
};

QString docInfoPath() {
    return appFolder() + "/DocInfo.txt";
}

QString backColorCss() {
    const std::uint32_t c = app().AppBackColor;
    return QString("rgb(%1,%2,%3)").arg(colorRed(c)).arg(colorGreen(c)).arg(colorBlue(c));
}

} // namespace

PFrmSplash::PFrmSplash(QWidget* parent) : QDialog(parent) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    NameControl(this, "PFrmSplash", QString()); // read by its title
    setWindowTitle(kTitle2);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    auto* left = new QFrame(this);
    left->setFixedWidth(kNarrowWidth);
    auto* l = new QVBoxLayout(left);
    l->setContentsMargins(16, 16, 16, 16);
    LblTitle1 = new QLabel(left);
    NameControl(LblTitle1, "LblTitle1", QString());
    LblTitle1->setWordWrap(true);
    LblTitle2 = new QLabel(left);
    NameControl(LblTitle2, "LblTitle2", QString());
    QFont tf = LblTitle2->font();
    tf.setPointSizeF(tf.pointSizeF() * 1.35);
    tf.setBold(true);
    LblTitle2->setFont(tf);
    LblTitle2->setWordWrap(true);
    l->addWidget(LblTitle1);
    l->addWidget(LblTitle2);
    l->addSpacing(14);
    auto* prompt = new QLabel("会員番号を入力してください。", left);
    l->addWidget(prompt);
    TxtKVRCode = new QLineEdit(left);
    NameInput(TxtKVRCode, "TxtKVRCode", prompt);
    TxtKVRCode->setMaxLength(20);
    QFont nf = TxtKVRCode->font();
    nf.setPointSizeF(nf.pointSizeF() * 1.6);
    TxtKVRCode->setFont(nf);
    TxtKVRCode->setFixedWidth(TxtKVRCode->fontMetrics().horizontalAdvance("0000000000") + 16);
    TxtKVRCode->installEventFilter(this);
    l->addWidget(TxtKVRCode);
    auto* note = new QLabel("※会員番号を元にデータ管理や提出ファイル作成をします。", left);
    note->setWordWrap(true);
    l->addWidget(note);
    l->addSpacing(8);
    auto* buttons = new QHBoxLayout();
    CmdOK = new QPushButton("OK", left);
    NameControl(CmdOK, "CmdOK", QString());
    CmdCansel = new QPushButton("キャンセル", left);
    NameControl(CmdCansel, "CmdCansel", QString());
    for (QPushButton* b : {CmdOK, CmdCansel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setMinimumHeight(32);
        b->installEventFilter(this);
        buttons->addWidget(b);
    }
    l->addLayout(buttons);
    l->addStretch(1);
    ChkDoc = new QCheckBox("以下の説明を閉じる", left);
    NameControl(ChkDoc, "ChkDoc", QString());
    ChkDoc->setAutoFillBackground(true);
    ChkDoc->setStyleSheet("QCheckBox { background: " + backColorCss() + "; padding: 3px; }");
    ChkDoc->installEventFilter(this);
    l->addWidget(ChkDoc);
    outer->addWidget(left);

    PanelDoc = new QFrame(this);
    NameControl(PanelDoc, "PanelDoc", QStringLiteral("説明"));
    PanelDoc->setFrameShape(QFrame::StyledPanel);
    PanelDoc->setStyleSheet("#PanelDoc { background: " + backColorCss() + "; }");
    auto* p = new QVBoxLayout(PanelDoc);
    p->setContentsMargins(14, 14, 14, 14);
    p->setSpacing(3);
    for (const char* t : kPanelTexts) {
        QString text = QString::fromUtf8(t);
        // The example member folder lies in the folder this program keeps its data in.
        if (text.startsWith("フォルダ") && text.endsWith("： "))
            text += QDir::toNativeSeparators(appFolder() + "/123456");
        auto* lab = new QLabel(text, PanelDoc);
        if (QString::fromUtf8(t).startsWith("●")) {
            QFont bf = lab->font();
            bf.setBold(true);
            lab->setFont(bf);
        }
        p->addWidget(lab);
    }
    p->addStretch(1);
    outer->addWidget(PanelDoc);

    connect(CmdOK, &QPushButton::clicked, this, &PFrmSplash::CmdOK_Click);
    connect(CmdCansel, &QPushButton::clicked, this, &PFrmSplash::CmdCansel_Click);
    connect(ChkDoc, &QCheckBox::clicked, this, &PFrmSplash::ChkDoc_Click);

    // Loading the screen.
    LblTitle1->setText(kTitle1);
    LblTitle2->setText(kTitle2);
    TxtKVRCode->clear();
    const bool closed = QFile::exists(docInfoPath());
    ChkDoc->setChecked(closed);
    applyPanel(!closed);
    CenterForm(this);
    QApplication::restoreOverrideCursor();
}

int PFrmSplash::narrowWidth() const {
    return kNarrowWidth;
}
int PFrmSplash::wideWidth() const {
    return kNarrowWidth + PanelDoc->sizeHint().width();
}
bool PFrmSplash::panelShown() const {
    return !PanelDoc->isHidden();
}

void PFrmSplash::applyPanel(bool shown) {
    PanelDoc->setVisible(shown);
    const int h = std::max(sizeHint().height(), 420);
    setFixedSize(shown ? wideWidth() : narrowWidth(), h);
}

void PFrmSplash::ChkDoc_Click() {
    if (ChkDoc->isChecked()) {
        QFile f(docInfoPath());
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write("Close\r\n");
        applyPanel(false);
    } else {
        DeleteFile(docInfoPath());
        applyPanel(true);
    }
}

bool PFrmSplash::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            // Enter moves to the next control, as Tab would.
            focusNextChild();
            return true;
        }
    }
    if (watched == TxtKVRCode && event->type() == QEvent::FocusIn)
        QMetaObject::invokeMethod(TxtKVRCode, &QLineEdit::selectAll, Qt::QueuedConnection);
    return QDialog::eventFilter(watched, event);
}

void PFrmSplash::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        focusNextChild();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        CmdCansel_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PFrmSplash::closeEvent(QCloseEvent* event) {
    // Closing the window without OK is a cancelled start.
    if (!accepted_) app().StartCancelled = true;
    QDialog::closeEvent(event);
}

void PFrmSplash::CmdOK_Click() {
    const QString no = toHalfWidth(TxtKVRCode->text()).trimmed();
    TxtKVRCode->setText(no);
    auto focusBack = [this] {
        TxtKVRCode->setFocus();
        TxtKVRCode->selectAll();
    };
    if (no.isEmpty()) {
        msgBox("未入力です。入力してください。", "未入力", MsgButtons::Ok, MsgIcon::Exclamation);
        focusBack();
        return;
    }
    static const QRegularExpression sixDigits("\\A[0-9]{6}\\z");
    if (!sixDigits.match(no).hasMatch()) {
        msgBox("会員番号を正しく入力してください。", "エラー", MsgButtons::Ok, MsgIcon::Exclamation);
        focusBack();
        return;
    }
    try {
        WriteAccessLog(no);
    } catch (const RuntimeError& e) {
        // The log is a record of starts; a log that cannot be written does not stop the start.
        msgBox("アクセスログを書き込めません。\r\n\r\n" + errorBoxText(e.number, e.description), "エラー",
               MsgButtons::Ok, MsgIcon::Critical);
    }
    AppState& a = app();
    a.MemberNo = no;
    a.MemberFolder = appFolder() + "/" + no;
    a.MemberDbFile = "/KVR-DB-" + no + ".MDB";
    setMemberSource(a.MemberFolder + a.MemberDbFile);

    const QString baseDb = appFolder() + "/KVR-DB.MDB";
    auto folderError = [&] {
        msgBox("会員番号フォルダを作成できません。\r\n\r\n会員番号フォルダ：" + a.MemberFolder +
                   "\r\n\r\nプログラムを終了します。",
               "フォルダ作成エラー", MsgButtons::Ok, MsgIcon::Critical);
        endProgram(1);
    };
    auto copyError = [&] {
        msgBox("会員番号ＤＢをコピーできません。\r\n\r\n会員番号ＤＢ：" + a.MemberDbFile +
                   "\r\n\r\nプログラムを終了します。",
               "ファイルコピーエラー", MsgButtons::Ok, MsgIcon::Critical);
        endProgram(1);
    };
    if (!CheckFolder(a.MemberFolder)) {
        if (msgBox("新規の会員番号に対して会員番号フォルダを作成します。\r\n\r\nよろしいですか？", "確認",
                   MsgButtons::YesNo, MsgIcon::Exclamation) != MsgResult::Yes) {
            focusBack();
            return;
        }
        // The folder appears only with its complete database, whose clinic code already
        // holds the member number.
        const MemberFolderResult made =
            CreateMemberFolder(a.MemberFolder, a.MemberDbFile, baseDb, [this](const QString& stagedDb) {
                setMemberSource(stagedDb);
                if (onMemberDatabaseCreated) onMemberDatabaseCreated();
                CloseMemberDbForce();
            });
        setMemberSource(a.MemberFolder + a.MemberDbFile);
        if (made == MemberFolderResult::FolderFailed) folderError();
        if (made == MemberFolderResult::CopyFailed) copyError();
        RenameFile(baseDb, appFolder() + "/KVR-DB-" + now().toString("yyyyMMdd_HHmmss") + ".MDB");
    } else if (RepairMemberFolder(a.MemberFolder, a.MemberDbFile, baseDb) == MemberFolderResult::CopyFailed) {
        // A folder left without its database by an interrupted first start is finished.
        copyError();
    }
    a.StartCancelled = false;
    accepted_ = true;
    accept();
}

void PFrmSplash::CmdCansel_Click() {
    app().StartCancelled = true;
    accepted_ = false;
    reject();
}

} // namespace kvr
