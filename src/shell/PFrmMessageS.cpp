#include "PFrmMessageS.h"

#include "FileUtil.h"
#include "platform/accessible.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace kvr {

PFrmMessageS::PFrmMessageS(QWidget* parent) : QDialog(parent) {
    NameControl(this, "PFrmMessageS", QString());
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    LblMessage = new QLabel(this);
    NameControl(LblMessage, "LblMessage", QString());
    LblMessage->setAlignment(Qt::AlignCenter);
    QFont f = LblMessage->font();
    f.setPointSizeF(f.pointSizeF() * 1.2);
    LblMessage->setFont(f);
    LblStatus = new QLabel(this);
    NameControl(LblStatus, "LblStatus", QString());
    LblStatus->setAlignment(Qt::AlignCenter);
    layout->addWidget(LblMessage);
    layout->addWidget(LblStatus);
    setStyleSheet("PFrmMessageS { border: 2px solid #7a5a8a; background: #f9ebf8; }");
    resize(420, 110);
    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, [this] {
        Timer1->stop();
        close();
    });
}

PFrmMessageS::~PFrmMessageS() {
    unload();
}

void PFrmMessageS::showEvent(QShowEvent* e) {
    CenterForm(this);
    LblMessage->setText(MessageText);
    setAccessibleName(MessageText); // the window has no title: it reads as its message
    if (DisplayTime != -1) Timer1->start(DisplayTime < 1 ? 60000 : DisplayTime);
    QDialog::showEvent(e);
}

void PFrmMessageS::closeEvent(QCloseEvent* e) {
    unload();
    QDialog::closeEvent(e);
}

void PFrmMessageS::unload() {
    Timer1->stop();
    DisplayTime = 0;
}

} // namespace kvr
