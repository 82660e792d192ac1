// The tab "提出用ファイル作成": the member number, the kind of application, the source
// database and the archive's name, the archive creation and the upload log.
#include "Submission.h"
#include "ToolTabs.h"
#include "TabSubmission.h"

#include "data/CClinicCode.h"
#include "data/DataObjects.h"
#include "platform/accessible.h"
#include "platform/desktop_shell.h"
#include "platform/runtime_error.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kvr {

SubmissionTab::SubmissionTab(QWidget* parent) : ToolTabPage(parent) {
    auto* v = new QVBoxLayout(this);

    auto* code = new QHBoxLayout;
    auto* lblCode = new QLabel(QStringLiteral("会員番号"));
    TxtClinicCode = new QLineEdit;
    TxtClinicCode->setFixedWidth(110);
    NameInput(TxtClinicCode, "TxtClinicCode", lblCode);
    code->addWidget(lblCode);
    code->addWidget(TxtClinicCode);
    code->addStretch(1);
    v->addLayout(code);

    auto* kind = new QGroupBox(QStringLiteral("区分"));
    NameControl(kind, "FraSyubetu", kind->title());
    auto* kindRow = new QHBoxLayout(kind);
    group_ = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        OptSyubetu[i] = new QRadioButton(QString::fromUtf8(kSubmissionKinds[i].caption));
        NameControl(OptSyubetu[i], QString("OptSyubetu(%1)").arg(i), OptSyubetu[i]->text());
        group_->addButton(OptSyubetu[i], i);
        kindRow->addWidget(OptSyubetu[i]);
    }
    kindRow->addStretch(1);
    v->addWidget(kind);

    auto* files = new QGridLayout;
    auto* capSource = new QLabel(QStringLiteral("提出用ファイルの元となるファイル （KVR-DBのDBファイル）"));
    LblUploadKVRDB = new QLabel;
    LblUploadKVRDB->setFrameShape(QFrame::Panel);
    LblUploadKVRDB->setFrameShadow(QFrame::Sunken);
    LblUploadKVRDB->setTextInteractionFlags(Qt::TextSelectableByMouse);
    NameInput(LblUploadKVRDB, "LblUploadKVRDB", capSource);
    auto* capArchive = new QLabel(QStringLiteral("実際に提出するZIPファイル名 （圧縮ファイル）"));
    LblUploadKVRDBName = new QLabel;
    LblUploadKVRDBName->setFrameShape(QFrame::Panel);
    LblUploadKVRDBName->setFrameShadow(QFrame::Sunken);
    LblUploadKVRDBName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    NameInput(LblUploadKVRDBName, "LblUploadKVRDBName", capArchive);
    auto* note1 = new QLabel(QStringLiteral("※出力フォルダはデスクトップの「KVR-DB-SAVE」"));
    auto* note2 = new QLabel(QStringLiteral("※作成したZIPファイルのファイル名は絶対に変更しないでください。"));
    NameControl(note1, "LblNoteFolder", note1->text());
    NameControl(note2, "LblNoteName", note2->text());
    note2->setStyleSheet("color: #c00000;");
    files->addWidget(capSource, 0, 0);
    files->addWidget(LblUploadKVRDB, 1, 0);
    files->addWidget(capArchive, 2, 0);
    files->addWidget(LblUploadKVRDBName, 3, 0);
    files->addWidget(note1, 4, 0);
    files->addWidget(note2, 5, 0);
    v->addLayout(files);

    auto* buttons = new QHBoxLayout;
    CmdUploadKVRDB = new QPushButton(QStringLiteral("ファイル作成開始"));
    CmdLogKVRDB = new QPushButton(QStringLiteral("ログ表示"));
    NameControl(CmdUploadKVRDB, "CmdUploadKVRDB", CmdUploadKVRDB->text());
    NameControl(CmdLogKVRDB, "CmdLogKVRDB", CmdLogKVRDB->text());
    CmdUploadKVRDB->setMinimumHeight(36);
    buttons->addWidget(CmdUploadKVRDB);
    buttons->addWidget(CmdLogKVRDB);
    buttons->addStretch(1);
    v->addLayout(buttons);
    v->addStretch(1);

    connect(CmdUploadKVRDB, &QPushButton::clicked, this, [this] { CmdUploadKVRDB_Click(); });
    connect(CmdLogKVRDB, &QPushButton::clicked, this, [this] { CmdLogKVRDB_Click(); });

    // Opening: the member number, the kind, the source database.
    TxtClinicCode->setText(TheClinicCode().ClinicCode);
    for (int i = 0; i < 3; ++i)
        if (TheClinicCode().ClinicCodeSub == QString::fromUtf8(kSubmissionKinds[i].letter))
            OptSyubetu[i]->setChecked(true);
    ShowValue(LblUploadKVRDB, app().memberDbPath());
    // Any way of choosing a kind stores it: a click, the arrow keys, or the toggle action
    // of an assistive technology (which checks the button without a click). Connected
    // after the stored kind is shown, so that opening the tab writes nothing.
    connect(group_, &QButtonGroup::idToggled, this, [this](int i, bool checked) {
        if (checked) OptSyubetu_Click(i);
    });
}

int SubmissionTab::chosenKind() const {
    return group_->checkedId();
}

void SubmissionTab::onSelected() {
    UpdateArchiveName();
}

void SubmissionTab::UpdateArchiveName() {
    const QString member = TxtClinicCode->text().trimmed();
    if (member.isEmpty()) return;
    const int k = chosenKind();
    const QString letter = k >= 0 ? QString::fromUtf8(kSubmissionKinds[k].letter) : QString();
    ShowValue(LblUploadKVRDBName, app().SaveFolder + "/" + SubmissionArchiveName(letter, member, now()));
}

void SubmissionTab::OptSyubetu_Click(int index) {
    try {
        TheClinicCode().ClinicCodeSub = QString::fromUtf8(kSubmissionKinds[index].letter);
        SaveClinicCode(TxtClinicCode->text());
    } catch (const RuntimeError& e) {
        msgBox("区分の保存でエラーが発生しました。\r\n\r\n[Error:" + QString::number(e.number) + "] \r\n" + e.description,
               "エラー", MsgButtons::Ok, MsgIcon::Critical);
    }
}

void SubmissionTab::setBusy(bool busy) {
    CmdUploadKVRDB->setEnabled(!busy);
    CmdLogKVRDB->setEnabled(!busy);
    if (auto* end = window()->findChild<QPushButton*>("CmdEnd")) end->setEnabled(!busy);
}

void SubmissionTab::CmdUploadKVRDB_Click() {
    try {
        createArchive();
    } catch (const ProgramEnded&) {
        throw;
    } catch (const RuntimeError& e) {
        setBusy(false);
        msgBox("アップロード実行でエラーが発生しました。\r\n\r\n[Error:" + QString::number(e.number) + "] \r\n" +
                   e.description,
               "エラー", MsgButtons::Ok, MsgIcon::Critical);
    }
}

void SubmissionTab::createArchive() {
    TxtClinicCode->setText(TxtClinicCode->text().trimmed());
    if (chosenKind() < 0) {
        msgBox("区分が指定されていません。", "未指定", MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    if (!CheckSubmissionData()) return;
    if (TxtClinicCode->text().isEmpty()) {
        msgBox("ファイル作成はできません。\r\n会員番号が指定されていません。", "未入力", MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    if (LblUploadKVRDB->text().isEmpty()) {
        msgBox("ファイル作成はできません。\r\n提出用ファイルの元となるＤＢファイル名が指定されていません。", "未指定",
               MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    setBusy(true);
    UpdateArchiveName();
    const QString source = LblUploadKVRDB->text();
    const QString archive = LblUploadKVRDBName->text();
    if (archive.isEmpty()) {
        msgBox("ファイル作成はできません。\r\n実際に提出するＺＩＰファイル名が指定されていません。", "未指定",
               MsgButtons::Ok, MsgIcon::Critical);
    } else if (!FileNameOf(source).isEmpty() && !FileNameOf(archive).isEmpty()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool made = WriteSubmissionArchive(source, archive);
        QApplication::restoreOverrideCursor();
        if (made)
            msgBox("ファイル作成が完了しました。", "完了", MsgButtons::Ok, MsgIcon::Information);
        else
            msgBox("ファイル作成ができませんでした。", "エラー", MsgButtons::Ok, MsgIcon::Information);
    }
    setBusy(false);
}

void SubmissionTab::CmdLogKVRDB_Click() {
    const QString log = appFolder() + "/Log_KVRDB_Upload.txt";
    if (CheckFile(log))
        desktopShell().openDocument(log);
    else
        msgBox("ログファイルが見つかりません。\r\n\r\n" + log, "ファイルなし", MsgButtons::Ok, MsgIcon::Exclamation);
}

ToolTabPage* CreateSubmissionTab(PFrmImport&) {
    return new SubmissionTab;
}

} // namespace kvr
