// Opening documents and web pages with the desktop's default program, and starting
// outside programs. Both go through replaceable functions so that tests can record the
// requests instead of opening windows or starting programs.
#pragma once

#include <QString>

#include <functional>

namespace kvr {

struct Launcher {
    // Opens a file path or URL with the default program; false when that failed.
    std::function<bool(const QString& pathOrUrl)> openDocument;
    // Starts a program detached from this one, with the given working folder; false when
    // it could not be started.
    std::function<bool(const QString& program, const QString& workingFolder)> startProgram;
};

// The functions in force (the desktop ones until a test replaces them).
Launcher& launcher();
// Puts the desktop functions back.
void installDesktopLauncher();

bool openDocument(const QString& pathOrUrl);
bool startProgram(const QString& program, const QString& workingFolder);

} // namespace kvr
