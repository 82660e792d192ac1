#include "services.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdlib>

namespace kvr {

namespace {
std::function<void()>& cleanupHook() {
    static std::function<void()> hook;
    return hook;
}
} // namespace

Services& services() {
    static Services s;
    return s;
}

QList<MsgResult> buttonsOf(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::Ok:
        return {MsgResult::Ok};
    case MsgButtons::OkCancel:
        return {MsgResult::Ok, MsgResult::Cancel};
    case MsgButtons::AbortRetryIgnore:
        return {MsgResult::Abort, MsgResult::Retry, MsgResult::Ignore};
    case MsgButtons::YesNoCancel:
        return {MsgResult::Yes, MsgResult::No, MsgResult::Cancel};
    case MsgButtons::YesNo:
        return {MsgResult::Yes, MsgResult::No};
    case MsgButtons::RetryCancel:
        return {MsgResult::Retry, MsgResult::Cancel};
    }
    return {MsgResult::Ok};
}

MsgResult msgBox(const QString& text, const QString& title, MsgButtons buttons, MsgIcon icon,
                 int defaultButton) {
    MsgBoxRequest r{text, title, buttons, icon, defaultButton};
    return services().messageBoxes->show(r);
}

QDateTime now() {
    return services().clock->now();
}
QDate today() {
    return now().date();
}

void waitMs(int milliseconds) {
    services().waits->wait(milliseconds);
}
void doEvents() {
    services().waits->processEvents();
}

void setProgramEndCleanup(std::function<void()> cleanup) {
    cleanupHook() = std::move(cleanup);
}

void endProgram(int exitCode) {
    if (auto hook = cleanupHook()) {
        try {
            hook();
        } catch (...) {
        }
    }
    services().programEnd->end(exitCode);
    std::abort(); // end() never returns
}

QString appFolder() {
    return services().paths->appFolder();
}
QString deliveredFolder() {
    return services().paths->deliveredFolder();
}
QString desktopFolder() {
    return services().paths->desktopFolder();
}

QString chooseWritableFolder(const QString& programFolder, const QString& userDataFolder,
                             bool forceUserData) {
    const QString dir = QDir::cleanPath(programFolder);
    // A program under the system's own trees is an installed one, whoever runs it.
    const bool installed = dir.startsWith("/usr/") || dir.startsWith("/opt/");
    const bool delivered = QFileInfo::exists(dir + "/KVR-DB_ORG.MDB") &&
                           QFileInfo::exists(dir + "/TMaster.txt");
    if (!forceUserData && !installed && delivered && QFileInfo(dir).isWritable()) return dir;
    return QDir::cleanPath(userDataFolder);
}

} // namespace kvr
