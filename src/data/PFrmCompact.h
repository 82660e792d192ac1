// The window of the program's end: it compacts the member database (up to ten
// attempts), lists its progress and ends the program about three seconds later.
#pragma once

#include <QDialog>

#include <functional>

class QFrame;
class QLabel;
class QListWidget;
class QTimer;

namespace kvr {

class PFrmCompact : public QDialog {
    Q_OBJECT
public:
    explicit PFrmCompact(QWidget* parent = nullptr);

    // Shows the window, compacts and ends the program; never returns.
    [[noreturn]] void run();

    // The steps of run(), for tests: the attempts with their progress lines (true when
    // one attempt succeeded), then the timer ticks (the third ends the program).
    bool runAttempts();
    void Timer1_Timer();

    // One compaction attempt (CompactMemberDb; tests replace it).
    std::function<bool()> compact;

    QListWidget* LstStatus;
    QFrame* Frame1;
    QLabel* Image1;
    QLabel* Label1;
    QTimer* Timer1;
    qint16 CloseCountdown = 0;

    static constexpr int kAttempts = 10;

private:
    void addLine(const QString& line);
};

} // namespace kvr
