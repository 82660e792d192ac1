#include "desktop_shell.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace kvr {

namespace {

class SilentShell : public DesktopShell {
public:
    bool openDocument(const QString&) override { return false; }
    bool startProgram(const QString&, const QString&) override { return false; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    QString chooseOpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

class QtShell : public DesktopShell {
public:
    bool openDocument(const QString& pathOrUrl) override {
        const QUrl url = QFileInfo::exists(pathOrUrl) ? QUrl::fromLocalFile(pathOrUrl) : QUrl(pathOrUrl);
        return !url.isRelative() && QDesktopServices::openUrl(url);
    }
    bool startProgram(const QString& program, const QString& workingFolder) override {
        return QProcess::startDetached(program, {}, workingFolder);
    }
    QString chooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override {
        return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
    }
    QString chooseOpenFile(QWidget* parent, const QString& title, const QString& startFolder,
                           const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, title, startFolder, qtFilter(filter));
    }

private:
    // "データベースファイル (*.mdb)|*.mdb" -> "データベースファイル (*.mdb *.MDB)": file names on
    // this platform are case-sensitive, the extension of the program's files is upper case.
    static QString qtFilter(const QString& filter) {
        const QStringList parts = filter.split('|');
        QStringList out;
        for (int i = 0; i + 1 < parts.size(); i += 2) {
            QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
            for (const QString& p : QStringList(patterns))
                if (p != p.toUpper() && !patterns.contains(p.toUpper())) patterns << p.toUpper();
            QString desc = parts[i];
            desc = desc.left(desc.indexOf('(')).trimmed();
            out << desc + " (" + patterns.join(' ') + ")";
        }
        return out.join(";;");
    }
};

std::shared_ptr<DesktopShell>& current() {
    static std::shared_ptr<DesktopShell> shell = std::make_shared<SilentShell>();
    return shell;
}

} // namespace

DesktopShell& desktopShell() {
    return *current();
}

void setDesktopShell(std::shared_ptr<DesktopShell> shell) {
    current() = shell ? std::move(shell) : std::make_shared<SilentShell>();
}

void installDesktopShell() {
    current() = std::make_shared<QtShell>();
}

} // namespace kvr
