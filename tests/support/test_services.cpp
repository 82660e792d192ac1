#include "test_services.h"

#include "exam/PFrmPlayWave.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QTimer>

namespace kvr::test {

MsgResult ScriptedMessageBoxes::show(const MsgBoxRequest& request) {
    shown.append(request);
    if (onShow) onShow(request);
    if (!answers_.empty()) {
        MsgResult r = answers_.front();
        answers_.pop_front();
        return r;
    }
    QList<MsgResult> buttons = buttonsOf(request.buttons);
    return buttons[qBound(0, request.defaultButton, int(buttons.size()) - 1)];
}

void InstantWaits::processEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

TempPaths::TempPaths() {
    app = root.path() + "/app";
    desktop = root.path() + "/desktop";
    programs = root.path() + "/programs";
    QDir().mkpath(app);
    QDir().mkpath(desktop);
    QDir().mkpath(programs);
}

void FakeSoundOutput::play(const QString& path, std::function<void()> onFinished) {
    played_->append(path);
    QTimer::singleShot(0, [onFinished = std::move(onFinished)] { onFinished(); });
}

TestServices installTestServices() {
    TestServices t;
    t.played = std::make_shared<QStringList>();
    setSoundOutputFactory([played = t.played] { return std::make_unique<FakeSoundOutput>(played); });
    resetPlayWave();
    t.boxes = std::make_shared<ScriptedMessageBoxes>();
    t.clock = std::make_shared<FixedClock>();
    t.waits = std::make_shared<InstantWaits>();
    t.paths = std::make_shared<TempPaths>();
    Services& s = services();
    s.messageBoxes = t.boxes;
    s.clock = t.clock;
    s.waits = t.waits;
    s.programEnd = std::make_shared<ThrowingProgramEnd>();
    s.paths = t.paths;
    t.shell = std::make_shared<RecordingShell>();
    setDesktopShell(t.shell);
    setProgramEndCleanup({});
    return t;
}

bool waitUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!cond()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

QString builtAppFolder() {
    return QStringLiteral(KVR_BUILT_APP_DIR);
}

bool CopyTemplateTo(const QString& path) {
    return QFile::copy(builtAppFolder() + "/KVR-DB_ORG.MDB", path) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

} // namespace kvr::test
