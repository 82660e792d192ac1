#include "platform/launcher.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace kvr {

namespace {
Launcher desktopLauncher() {
    Launcher l;
    l.openDocument = [](const QString& target) {
        const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl(target);
        return QDesktopServices::openUrl(url);
    };
    l.startProgram = [](const QString& program, const QString& folder) {
        return QProcess::startDetached(program, {}, folder);
    };
    return l;
}
} // namespace

Launcher& launcher() {
    static Launcher l = desktopLauncher();
    return l;
}

void installDesktopLauncher() {
    launcher() = desktopLauncher();
}

bool openDocument(const QString& pathOrUrl) {
    return launcher().openDocument && launcher().openDocument(pathOrUrl);
}

bool startProgram(const QString& program, const QString& workingFolder) {
    return launcher().startProgram && launcher().startProgram(program, workingFolder);
}

} // namespace kvr
