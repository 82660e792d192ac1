#include "PFrmMsgBoxBui.h"

#include "platform/accessible.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvr {

int& msgBoxBuiResult() {
    static int choice = kScopeCancelled;
    return choice;
}

PFrmMsgBoxBui::PFrmMsgBoxBui(QWidget* parent) : QDialog(parent) {
    msgBoxBuiResult() = kScopeCancelled;
    NameControl(this, QStringLiteral("PFrmMsgBoxBui"), QString()); // read by its title
    setWindowTitle(QStringLiteral("部位指定"));
    setModal(true);

    LblMessage = new QLabel(QStringLiteral("入力する部位を指定してください。"), this);
    NameControl(LblMessage, QStringLiteral("LblMessage"), QString());
    CmdNonExam = new QPushButton(QStringLiteral("未検査部位のみ"), this);
    NameControl(CmdNonExam, QStringLiteral("CmdNonExam"), QString());
    CmdAllExam = new QPushButton(QStringLiteral("すべての部位"), this);
    NameControl(CmdAllExam, QStringLiteral("CmdAllExam"), QString());
    CmdCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    NameControl(CmdCancel, QStringLiteral("CmdCancel"), QString());
    CmdNonExam->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CmdNonExam);
    buttons->addWidget(CmdAllExam);
    buttons->addWidget(CmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LblMessage);
    layout->addLayout(buttons);

    connect(CmdNonExam, &QPushButton::clicked, this, [this] { choose(kScopeNotExamined); });
    connect(CmdAllExam, &QPushButton::clicked, this, [this] { choose(kScopeAll); });
    connect(CmdCancel, &QPushButton::clicked, this, [this] { choose(kScopeCancelled); });
}

void PFrmMsgBoxBui::showEvent(QShowEvent* event) {
    msgBoxBuiResult() = kScopeCancelled;
    QDialog::showEvent(event);
}

void PFrmMsgBoxBui::choose(int choice) {
    msgBoxBuiResult() = choice;
    if (choice == kScopeCancelled)
        reject();
    else
        accept();
}

int AskPlaqueScope(QWidget* parent) {
    PFrmMsgBoxBui box(parent);
    box.exec();
    return msgBoxBuiResult();
}

} // namespace kvr
