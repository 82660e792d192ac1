// Test doubles of the platform services. Every test runs with them installed
// (see test_main.cpp): boxes are recorded and answered from a script, the clock
// is fixed, waits are instant, ending the program throws ProgramEnded, the program
// folder and the desktop are temporary folders, and the desktop shell records what it
// is asked to open or start.
#pragma once

#include "platform/desktop_shell.h"
#include "platform/services.h"
#include "platform/sound.h"

#include <QDateTime>
#include <QList>
#include <QTemporaryDir>

#include <deque>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace kvr::test {

class ScriptedMessageBoxes : public MessageBoxService {
public:
    MsgResult show(const MsgBoxRequest& request) override;

    // Queues the answer of the next box. Boxes without a queued answer get their
    // default button.
    void answer(MsgResult result) { answers_.push_back(result); }
    void clear() {
        shown.clear();
        answers_.clear();
    }
    // Every box shown, in order.
    QList<MsgBoxRequest> shown;
    // Called for every box before it is answered (to look at the screen, say).
    std::function<void(const MsgBoxRequest&)> onShow;

private:
    std::deque<MsgResult> answers_;
};

class FixedClock : public Clock {
public:
    QDateTime now() const override { return current; }
    QDateTime current{QDate(2024, 8, 14), QTime(16, 30, 0)};
};

class InstantWaits : public Waits {
public:
    void wait(int milliseconds) override {
        totalWaited += milliseconds;
        ++waits;
        if (onWait) onWait();
    }
    std::function<void()> onWait; // called at every wait
    void processEvents() override;
    long long totalWaited = 0;
    int waits = 0;
};

class ThrowingProgramEnd : public ProgramEnd {
public:
    [[noreturn]] void end(int exitCode) override { throw ProgramEnded(exitCode); }
};

class TempPaths : public Paths {
public:
    TempPaths();
    QString appFolder() const override { return app; }
    // The delivered files lie in the same folder unless a test sets its own.
    QString deliveredFolder() const override { return delivered.isEmpty() ? app : delivered; }
    QString desktopFolder() const override { return desktop; }
    QString programsFolder() const override { return programs; }
    QTemporaryDir root;
    QString app, desktop, programs, delivered;
};

// A silent sound output with one device; records every file it was asked to play.
class FakeSoundOutput : public SoundOutput {
public:
    explicit FakeSoundOutput(std::shared_ptr<QStringList> played) : played_(std::move(played)) {}
    int chooseDevice() override { return 1; }
    void play(const QString& path, std::function<void()> onFinished) override;
    void stop() override {}

private:
    std::shared_ptr<QStringList> played_;
};

// Records the documents opened and programs started, and answers the choosers.
class RecordingShell : public DesktopShell {
public:
    bool openDocument(const QString& pathOrUrl) override {
        opened << pathOrUrl;
        return openResult;
    }
    bool startProgram(const QString& program, const QString&) override {
        started << program;
        return true;
    }
    QString chooseFolder(QWidget*, const QString&, const QString& start) override {
        folderStarts << start;
        return folder;
    }
    QString chooseOpenFile(QWidget*, const QString&, const QString&, const QString& filter) override {
        filters << filter;
        return file;
    }
    QStringList opened, started, folderStarts, filters;
    bool openResult = true;
    QString folder, file; // the answers of the choosers
};

// The doubles installed for the running test.
struct TestServices {
    // Full paths of the sound files played (the voice player plays them from the event loop).
    std::shared_ptr<QStringList> played;
    std::shared_ptr<ScriptedMessageBoxes> boxes;
    std::shared_ptr<FixedClock> clock;
    std::shared_ptr<InstantWaits> waits;
    std::shared_ptr<TempPaths> paths;
    std::shared_ptr<RecordingShell> shell;
};

// Installs a fresh set of doubles (each test fixture calls it in SetUp).
TestServices installTestServices();

// Processes events until cond() is true or the time is up; returns cond().
bool waitUntil(const std::function<bool()>& cond, int timeoutMs = 3000);

// The source folder of test data files and the built program folder (for the template).
QString builtAppFolder();

// A writable copy of the built template database at path; false when it cannot be made.
bool CopyTemplateTo(const QString& path);

} // namespace kvr::test
