#include "PFrmCompact.h"

#include "Compaction.h"
#include "platform/accessible.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace kvr {

PFrmCompact::PFrmCompact(QWidget* parent) : QDialog(parent), compact(CompactMemberDb) {
    setWindowTitle(QStringLiteral("データベースの最適化"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(true);

    Frame1 = new QFrame(this);
    NameControl(Frame1, "Frame1", QString());
    Frame1->setAutoFillBackground(true);
    Frame1->setFrameShape(QFrame::StyledPanel);
    QPalette pal = Frame1->palette();
    const std::uint32_t bg = app().AppBackColor;
    pal.setColor(QPalette::Window, QColor(colorRed(bg), colorGreen(bg), colorBlue(bg)));
    Frame1->setPalette(pal);

    Image1 = new QLabel(Frame1);
    NameControl(Image1, "Image1", QStringLiteral("データベース"));
    Image1->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(48, 48));
    Label1 = new QLabel(QStringLiteral("データベースを最適化しています。\nしばらくお待ちください。"), Frame1);
    NameControl(Label1, "Label1", Label1->text());
    auto* top = new QHBoxLayout(Frame1);
    top->addWidget(Image1);
    top->addWidget(Label1, 1);

    LstStatus = new QListWidget(this);
    NameControl(LstStatus, "LstStatus", QStringLiteral("処理状況"));
    LstStatus->setFocusPolicy(Qt::NoFocus);

    auto* v = new QVBoxLayout(this);
    v->addWidget(Frame1);
    v->addWidget(LstStatus, 1);
    resize(440, 260);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1_Timer(); });
}

void PFrmCompact::addLine(const QString& line) {
    LstStatus->addItem(line);
    LstStatus->setCurrentRow(LstStatus->count() - 1);
    LstStatus->scrollToBottom();
    doEvents();
}

bool PFrmCompact::runAttempts() {
    CenterForm(this);
    addLine(QStringLiteral("最適化情報を取得しています。"));
    bool done = false;
    for (int n = 1; n <= kAttempts && !done; ++n) {
        addLine(QStringLiteral("最適化の準備をしています。(") + QString::number(n) + QStringLiteral(" 回目)"));
        doEvents();
        waitMs(2000);
        addLine(QStringLiteral("最適化を実行しています。　(") + QString::number(n) + QStringLiteral(" 回目)"));
        doEvents();
        done = compact();
    }
    if (!done) addLine(QStringLiteral("最適化できません。最適化せずに終了します。"));
    addLine(QStringLiteral("終了処理を行っています。"));
    CloseCountdown = 2;
    Timer1->setInterval(1000);
    return done;
}

void PFrmCompact::Timer1_Timer() {
    if (CloseCountdown < 1) {
        Timer1->stop();
        endProgram(0);
    }
    --CloseCountdown;
}

void PFrmCompact::run() {
    show();
    raise();
    doEvents();
    runAttempts();
    Timer1->start();
    exec();
    endProgram(0); // not reached: the timer ends the program
}

} // namespace kvr
