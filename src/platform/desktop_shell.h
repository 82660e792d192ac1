// What the program asks of the desktop's shell: opening a document with the desktop's
// default program, and the folder and file choosers. Until the program installs the
// desktop implementation (installDesktopShell) a silent one answers: nothing opens,
// choosers give the empty string, so tests never bring up real windows; tests install
// recording doubles through setDesktopShell.
#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace kvr {

class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // Opens the file with the desktop's default program; false when that failed.
    virtual bool openDocument(const QString& path) = 0;
    // The desktop's folder dialog; the chosen folder or the empty string.
    virtual QString chooseFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
    // The desktop's open-file dialog; filter in "description|pattern" form. The chosen
    // file or the empty string.
    virtual QString chooseOpenFile(QWidget* parent, const QString& title, const QString& startFolder,
                                   const QString& filter) = 0;
};

DesktopShell& desktopShell();
void setDesktopShell(std::shared_ptr<DesktopShell> shell);
// Installs the desktop implementation (the program does, at its start).
void installDesktopShell();

} // namespace kvr
