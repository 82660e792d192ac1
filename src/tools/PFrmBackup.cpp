#include "PFrmBackup.h"

#include "BackupRestore.h"
#include "platform/accessible.h"
#include "platform/services.h"
#include "shell/AppState.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvr {

PFrmBackup::PFrmBackup(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("バックアップ"));
    datedName_ = DatedBackupName(now());

    LblSrcBackUp = new QLabel(QStringLiteral("バックアップ元：") + app().memberDbPath());
    NameControl(LblSrcBackUp, "LblSrcBackUp", LblSrcBackUp->text());
    auto* capFolder = new QLabel(QStringLiteral("バックアップフォルダ"));
    LblPathBackUp = new QLabel;
    LblPathBackUp->setFrameShape(QFrame::Panel);
    LblPathBackUp->setFrameShadow(QFrame::Sunken);
    LblPathBackUp->setMinimumWidth(420);
    NameInput(LblPathBackUp, "LblPathBackUp", capFolder);
    LblDesBackUp = new QLabel;
    CmdPathBackUp = new QPushButton(QStringLiteral("フォルダ指定"));
    CmdBackUp = new QPushButton(QStringLiteral("バックアップ実行"));
    CmdEnd = new QPushButton(QStringLiteral("閉じる"));
    NameControl(CmdPathBackUp, "CmdPathBackUp", CmdPathBackUp->text());
    NameControl(CmdBackUp, "CmdBackUp", CmdBackUp->text());
    NameControl(CmdEnd, "CmdEnd", CmdEnd->text());
    CmdBackUp->setDefault(true);

    auto* g = new QGridLayout;
    g->addWidget(LblSrcBackUp, 0, 0, 1, 2);
    g->addWidget(capFolder, 1, 0, 1, 2);
    g->addWidget(LblPathBackUp, 2, 0);
    g->addWidget(CmdPathBackUp, 2, 1);
    g->addWidget(LblDesBackUp, 3, 0, 1, 2);
    g->setColumnStretch(0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(CmdBackUp);
    buttons->addWidget(CmdEnd);
    auto* v = new QVBoxLayout(this);
    v->addLayout(g);
    v->addSpacing(8);
    v->addLayout(buttons);

    connect(CmdPathBackUp, &QPushButton::clicked, this, [this] { CmdPathBackUp_Click(); });
    connect(CmdBackUp, &QPushButton::clicked, this, [this] { CmdBackUp_Click(); });
    connect(CmdEnd, &QPushButton::clicked, this, &QDialog::reject);

    ShowValue(LblPathBackUp, ReadBackUpPath());
    showTarget();
}

void PFrmBackup::showTarget() {
    LblDesBackUp->setText(QStringLiteral("バックアップ先：") + LblPathBackUp->text() + "/" + datedName_);
    NameControl(LblDesBackUp, "LblDesBackUp", LblDesBackUp->text());
}

void PFrmBackup::CmdPathBackUp_Click() {
    const QString folder = ChooseBackupFolder(this, LblPathBackUp->text());
    if (folder.isEmpty()) return;
    ShowValue(LblPathBackUp, folder);
    showTarget();
}

void PFrmBackup::CmdBackUp_Click() {
    if (LblPathBackUp->text().isEmpty()) {
        msgBox(QStringLiteral("バックアップデータを保存するフォルダを指定してください。"), QStringLiteral("フォルダ指定"),
               MsgButtons::Ok, MsgIcon::Critical);
        CmdPathBackUp_Click();
        return;
    }
    if (BackupMemberDb(LblPathBackUp->text() + "/" + datedName_)) accept();
}

} // namespace kvr
