// What the program asks of the desktop: opening a file or web page with the desktop's
// default program, starting an outside program, and the folder and file choosers. Until
// the program installs the desktop implementation (installDesktopShell) a silent one
// answers: nothing opens or starts, choosers give the empty string, so tests never bring
// up real windows or programs; tests install recording doubles through setDesktopShell.
#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace kvr {

class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // Opens an existing file, or a URL with a scheme, with the desktop's default program;
    // false when that failed.
    virtual bool openDocument(const QString& pathOrUrl) = 0;
    // Starts a program detached from this one in the given working folder; false when it
    // could not be started.
    virtual bool startProgram(const QString& program, const QString& workingFolder) = 0;
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
