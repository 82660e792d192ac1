// The desktop implementations of the platform services.
#include "services.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace kvr {

namespace {

class QtMessageBoxes : public MessageBoxService {
public:
    MsgResult show(const MsgBoxRequest& r) override {
        QMessageBox box;
        box.setWindowTitle(r.title);
        const QString text = QString(r.text).replace("\r\n", "\n").replace('\r', '\n');
        box.setText(text);
        // Assistive technology reads the box by its title and its text.
        box.setObjectName(QStringLiteral("MsgBox"));
        box.setAccessibleName(r.title);
        box.setAccessibleDescription(text);
        switch (r.icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        }
        const QList<MsgResult> answers = buttonsOf(r.buttons);
        QList<QPushButton*> buttons;
        for (MsgResult a : answers)
            buttons << box.addButton(standardButton(a));
        int def = qBound(0, r.defaultButton, int(buttons.size()) - 1);
        box.setDefaultButton(buttons[def]);
        // The close box answers Cancel where there is one, else the only button.
        if (answers.contains(MsgResult::Cancel))
            box.setEscapeButton(buttons[answers.indexOf(MsgResult::Cancel)]);
        else if (answers.size() == 1)
            box.setEscapeButton(buttons[0]);
        box.exec();
        QAbstractButton* clicked = box.clickedButton();
        int i = buttons.indexOf(qobject_cast<QPushButton*>(clicked));
        if (i < 0) return answers.contains(MsgResult::Cancel) ? MsgResult::Cancel : answers.last();
        return answers[i];
    }

private:
    static QMessageBox::StandardButton standardButton(MsgResult a) {
        switch (a) {
        case MsgResult::Ok:
            return QMessageBox::Ok;
        case MsgResult::Cancel:
            return QMessageBox::Cancel;
        case MsgResult::Abort:
            return QMessageBox::Abort;
        case MsgResult::Retry:
            return QMessageBox::Retry;
        case MsgResult::Ignore:
            return QMessageBox::Ignore;
        case MsgResult::Yes:
            return QMessageBox::Yes;
        case MsgResult::No:
            return QMessageBox::No;
        }
        return QMessageBox::Ok;
    }
};

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class EventLoopWaits : public Waits {
public:
    void wait(int milliseconds) override {
        if (milliseconds <= 0) {
            processEvents();
            return;
        }
        QEventLoop loop;
        QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    void processEvents() override { QCoreApplication::processEvents(); }
};

class ProcessEnd : public ProgramEnd {
public:
    [[noreturn]] void end(int exitCode) override {
        // The clean-up has closed the databases; ending here, in the middle of an event
        // handler, must not run the destructors of objects the event loop still uses.
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
};

class StandardPaths : public Paths {
public:
    QString appFolder() const override {
        if (written_.isEmpty()) {
            written_ = chooseWritableFolder(
                deliveredFolder(), QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                qEnvironmentVariableIntValue(kUserDataEnv) == 1);
            QDir().mkpath(written_);
        }
        return written_;
    }
    QString deliveredFolder() const override { return QCoreApplication::applicationDirPath(); }
    QString desktopFolder() const override {
        return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    }
    QString programsFolder() const override {
        return QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
    }

private:
    mutable QString written_; // chosen once, at the first use
};

} // namespace

void installDesktopServices() {
    Services& s = services();
    s.messageBoxes = std::make_shared<QtMessageBoxes>();
    s.clock = std::make_shared<SystemClock>();
    s.waits = std::make_shared<EventLoopWaits>();
    s.programEnd = std::make_shared<ProcessEnd>();
    s.paths = std::make_shared<StandardPaths>();
}

} // namespace kvr
