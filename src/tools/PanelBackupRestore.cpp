#include "PanelBackupRestore.h"

#include "BackupRestore.h"
#include "ToolTabs.h"
#include "platform/accessible.h"
#include "platform/desktop_shell.h"
#include "platform/services.h"
#include "shell/AppState.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace kvr {

namespace {

QLabel* pathLabel() {
    auto* l = new QLabel;
    l->setFrameShape(QFrame::Panel);
    l->setFrameShadow(QFrame::Sunken);
    l->setMinimumWidth(420);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QLabel* resultLabel(const char* name) {
    auto* l = new QLabel;
    NameControl(l, name, QString());
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QPushButton* button(const char* name, const QString& caption) {
    auto* b = new QPushButton(caption);
    NameControl(b, name, caption);
    return b;
}

} // namespace

BackupRestorePanel::BackupRestorePanel(QWidget* parent) : QWidget(parent) {
    auto* v = new QVBoxLayout(this);
    v->setContentsMargins(0, 0, 0, 0);

    auto* backup = new QGroupBox(QStringLiteral("バックアップ"));
    NameControl(backup, "FraBackUp", backup->title());
    auto* g = new QGridLayout(backup);
    auto* capFolder = new QLabel(QStringLiteral("バックアップデータを保存するフォルダ"));
    LblPathBackUp = pathLabel();
    NameInput(LblPathBackUp, "LblPathBackUp", capFolder);
    CmdPathBackUp = button("CmdPathBackUp", QStringLiteral("フォルダ指定"));
    auto* capFile = new QLabel(QStringLiteral("バックアップデータを保存するファイル名 （変更可能）"));
    TxtFile = new QLineEdit;
    NameInput(TxtFile, "TxtFile", capFile);
    CmdBackUp = button("CmdBackUp", QStringLiteral("バックアップ実行"));
    LblResultBackUp = resultLabel("LblResultBackUp");
    LblSrcBackUp = resultLabel("LblSrcBackUp");
    LblDesBackUp = resultLabel("LblDesBackUp");
    g->addWidget(capFolder, 0, 0, 1, 2);
    g->addWidget(LblPathBackUp, 1, 0);
    g->addWidget(CmdPathBackUp, 1, 1);
    g->addWidget(capFile, 2, 0, 1, 2);
    g->addWidget(TxtFile, 3, 0);
    g->addWidget(CmdBackUp, 3, 1);
    g->addWidget(LblResultBackUp, 4, 0, 1, 2);
    g->addWidget(LblSrcBackUp, 5, 0, 1, 2);
    g->addWidget(LblDesBackUp, 6, 0, 1, 2);
    g->setColumnStretch(0, 1);
    v->addWidget(backup);

    auto* restore = new QGroupBox(QStringLiteral("復元"));
    NameControl(restore, "FraRestore", restore->title());
    auto* r = new QGridLayout(restore);
    auto* capRestore = new QLabel(QStringLiteral("バックアップで保存されたファイル"));
    LblPathRestore = pathLabel();
    NameInput(LblPathRestore, "LblPathRestore", capRestore);
    CmdPathRestore = button("CmdPathRestore", QStringLiteral("ファイル指定"));
    CmdRestore = button("CmdRestore", QStringLiteral("復元実行"));
    LblResultRestore = resultLabel("LblResultRestore");
    LblSrcRestore = resultLabel("LblSrcRestore");
    LblDesRestore = resultLabel("LblDesRestore");
    LblDesRestoreBackup = resultLabel("LblDesRestoreBackup");
    r->addWidget(capRestore, 0, 0, 1, 2);
    r->addWidget(LblPathRestore, 1, 0);
    r->addWidget(CmdPathRestore, 1, 1);
    r->addWidget(CmdRestore, 2, 1);
    r->addWidget(LblResultRestore, 3, 0, 1, 2);
    r->addWidget(LblSrcRestore, 4, 0, 1, 2);
    r->addWidget(LblDesRestore, 5, 0, 1, 2);
    r->addWidget(LblDesRestoreBackup, 6, 0, 1, 2);
    r->setColumnStretch(0, 1);
    v->addWidget(restore);

    connect(CmdPathBackUp, &QPushButton::clicked, this, [this] { CmdPathBackUp_Click(); });
    connect(CmdBackUp, &QPushButton::clicked, this, [this] { CmdBackUp_Click(); });
    connect(CmdPathRestore, &QPushButton::clicked, this, [this] { CmdPathRestore_Click(); });
    connect(CmdRestore, &QPushButton::clicked, this, [this] { CmdRestore_Click(); });

    ShowValue(LblPathBackUp, ReadBackUpPath());
    resetFileName();
}

void BackupRestorePanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) resetFileName();
}

void BackupRestorePanel::resetFileName() {
    TxtFile->setText(DatedBackupName(now()));
}

void BackupRestorePanel::CmdPathBackUp_Click() {
    const QString folder = ChooseBackupFolder(this, LblPathBackUp->text());
    if (!folder.isEmpty()) ShowValue(LblPathBackUp, folder);
}

void BackupRestorePanel::CmdBackUp_Click() {
    for (QLabel* l : {LblResultBackUp, LblSrcBackUp, LblDesBackUp})
        l->clear();
    const QString source = app().memberDbPath();
    const QString target = LblPathBackUp->text() + "/" + TxtFile->text();
    if (!BackupMemberDb(target)) return;
    LblResultBackUp->setText(QStringLiteral("バックアップ結果"));
    LblSrcBackUp->setText(QStringLiteral("コピー元：") + source);
    LblDesBackUp->setText(QStringLiteral("コピー先：") + target);
}

void BackupRestorePanel::CmdPathRestore_Click() {
    const QString chosen = desktopShell().chooseOpenFile(this, QStringLiteral("復元するファイルの指定"),
                                                         LblPathBackUp->text(),
                                                         QStringLiteral("データベースファイル (*.mdb)|*.mdb"));
    if (!chosen.isEmpty()) ShowValue(LblPathRestore, chosen);
}

void BackupRestorePanel::CmdRestore_Click() {
    for (QLabel* l : {LblResultRestore, LblSrcRestore, LblDesRestore, LblDesRestoreBackup})
        l->clear();
    // No file chosen yet: the question comes first, then the source check refuses the empty
    // path before the safety copy is made.
    const QString source = LblPathRestore->text();
    const RestoreOutcome out = RestoreMemberDb(source);
    if (out.restored) {
        LblResultRestore->setText(QStringLiteral("復元結果"));
        LblSrcRestore->setText(QStringLiteral("復元元：") + source);
        LblDesRestore->setText(QStringLiteral("復元先：") + app().memberDbPath());
    }
    if (out.safetyCopied) LblDesRestoreBackup->setText(QStringLiteral("復元先バックアップ：") + out.safetyCopy);
}

QWidget* CreateBackupRestorePanel(PFrmImport&) {
    return new BackupRestorePanel;
}

} // namespace kvr
