// The program's start-up sequence.
#pragma once

#include "shell/AppState.h"

#include <QString>

#include <functional>

namespace kvr {

class PFrmSplash;
class SingleInstance;

struct StartupOptions {
    // Shows the start screen modally (tests replace it to type into the screen).
    std::function<void(PFrmSplash&)> runSplash;
    // The previous-instance lock (tests pass their own).
    SingleInstance* instance = nullptr;
};

// Start-up: runs every step up to showing the main window. Returns false when the
// program is to end (which, outside tests, has already happened through endProgram).
bool Main(const StartupOptions& options = {});

// The database version test: TVersion row 1 as Major*10000 + Minor*1000 + Revision >= 1000.
bool CheckDbVersion();
// Writes "Version=major.minor.revision" into VersionKVRDB.txt in the program folder.
void WriteVersionFile();
// Start-up steps on the member database: the shared record objects, the master list,
// the clinic code, the old-format conversion, the sample patients, the stage table
// repair and the examination-record upgrade.
void StartupMaintenance();
// Template source, desktop submission folder.
void InitAppPaths();

// Loads Qt's Japanese translations and the Japanese fonts.
void setupJapaneseUi();

// Creates the application, runs start-up (Main) and the event loop; returns the exit code.
int runProgram(int argc, char** argv);

} // namespace kvr
