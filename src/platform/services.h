// Program-wide platform services.
//
// Everything the program needs from the desktop (message boxes, the current time,
// waits that keep the window alive, the program folder and the desktop folder,
// ending the program) goes through the services below, so that tests can replace
// each of them with a double and run every behaviour in a temporary folder.
#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

namespace kvr {

// ---------------------------------------------------------------- message boxes

enum class MsgButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
// Answer codes keep the classic numbering (1 = OK, 2 = Cancel, ...), which is what
// the numbered message catalogue returns to its callers.
enum class MsgResult { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

struct MsgBoxRequest {
    QString text;
    QString title;
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    int defaultButton = 0; // 0 = first button, 1 = second, 2 = third
};

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    virtual MsgResult show(const MsgBoxRequest& request) = 0;
};

// The buttons of a request in display order (used for default answers).
QList<MsgResult> buttonsOf(MsgButtons buttons);

// Shows a box through the current service.
MsgResult msgBox(const QString& text, const QString& title, MsgButtons buttons = MsgButtons::Ok,
                 MsgIcon icon = MsgIcon::None, int defaultButton = 0);

// ---------------------------------------------------------------- clock

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

QDateTime now();
QDate today();

// ---------------------------------------------------------------- waits

class Waits {
public:
    virtual ~Waits() = default;
    // Waits the given time while the user interface stays alive.
    virtual void wait(int milliseconds) = 0;
    // Processes pending events once.
    virtual void processEvents() = 0;
};

void waitMs(int milliseconds);
void doEvents();

// ---------------------------------------------------------------- program end

// Thrown by the test double of ProgramEnd so that a test sees where the program
// would have ended without ending the test process.
struct ProgramEnded : std::runtime_error {
    explicit ProgramEnded(int code) : std::runtime_error("program ended"), exitCode(code) {}
    int exitCode;
};

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // Ends the program. Implementations must not return.
    [[noreturn]] virtual void end(int exitCode) = 0;
};

// Runs the registered clean-up (release of the shared objects and connections),
// then ends the program through the current service.
[[noreturn]] void endProgram(int exitCode = 0);
// Clean-up to run before the program ends (set once by start-up).
void setProgramEndCleanup(std::function<void()> cleanup);

// ---------------------------------------------------------------- paths

class Paths {
public:
    virtual ~Paths() = default;
    // The folder that plays the program folder's role for every file the program writes:
    // the base database and its dated copies, member folders, KVR.INI, logs. Beside a
    // writable program file that has its delivered files, the program's own folder;
    // for an installed program, the user's data folder (~/.local/share/KVR-Chart-DB).
    virtual QString appFolder() const = 0;
    // The folder of the files delivered with the program (template database, TMaster.txt,
    // wave/, BMP/, the manual): read only.
    virtual QString deliveredFolder() const = 0;
    // The user's desktop folder.
    virtual QString desktopFolder() const = 0;
    // The folder programs are installed in.
    virtual QString programsFolder() const = 0;
};

QString appFolder();
QString deliveredFolder();
QString desktopFolder();

// Environment variable that, set to 1, keeps the written files in the user's data folder
// even beside a writable program folder (an installed tree run as root, tests of the package).
inline constexpr const char* kUserDataEnv = "KVR_CHART_DB_USER_DATA";
// Chooses the folder for written files: the program folder itself when it is writable,
// holds the delivered files and is not an installed location; otherwise userDataFolder.
QString chooseWritableFolder(const QString& programFolder, const QString& userDataFolder,
                             bool forceUserData);

// ---------------------------------------------------------------- service registry

struct Services {
    std::shared_ptr<MessageBoxService> messageBoxes;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<Waits> waits;
    std::shared_ptr<ProgramEnd> programEnd;
    std::shared_ptr<Paths> paths;
};

// The services in force. Start-up installs the real ones; tests install doubles.
Services& services();
// Installs the desktop implementations (real boxes, real clock, real waits, ...).
void installDesktopServices();

} // namespace kvr
