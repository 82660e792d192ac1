// The examination entry screen: patient, examination date and stage, the grid of the
// four examination items (32 tooth cells each) with their entry cursors, value entry
// by buttons, mouse and keyboard (numeric keypad alone is enough), tooth status
// toggles, saving with its post-save check, and the file menu.
//
// Construction builds the controls and loads the screen (stage labels, item rows,
// patient list, staff record, database path) from the member database, which must be
// set up (member source, app() paths) before; it then starts TimerLoad, whose single
// tick offers the previous-version import. Show it with show().
//
// The screen previews keys (an application event filter): while the focus is not in a
// text box or list, entry keys go to the current item (see EntryKeys.h); inside text
// boxes and lists Enter moves the focus on like Tab (the tab order leads from the date
// boxes to the stage list and on into the grid). Right/Enter at the last position of
// an item row goes on to the first position of the next row, Left/Backspace at the first
// position back to the last position of the previous row.
#pragma once

#include "exam/ExamSession.h"
#include "exam/ToothButton.h"

#include <QLabel>
#include <QMainWindow>

#include <array>
#include <functional>

class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

namespace kvr {

struct DateBoxes;

// A label that reports clicks (tooth labels, item row headings, the heading).
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text = QString(), QWidget* parent = nullptr) : QLabel(text, parent) {}
signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// What closing the entry screen leads to once the unsaved-data question let it close:
// the backup question (when askBackup is set; Yes shows the backup window), then the
// end of the program (the compaction window, which never returns). Unset (tests),
// closing only closes.
struct EntryClosingSteps {
    bool askBackup = false;
    std::function<void(QWidget* parent)> showBackup;
    std::function<void()> endProgram;
};

class PFrmInput : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kRows = 4;

    explicit PFrmInput(QWidget* parent = nullptr);
    ~PFrmInput() override;

    // ---------------------------------------------------------------- controls
    QComboBox* CmbOutNo = nullptr;
    QLineEdit* TxtInNo = nullptr;
    QLineEdit* TxtApplyNo = nullptr;
    QLineEdit* TxtAppName = nullptr;
    QComboBox* CmbEntry = nullptr;
    QLineEdit* TxtY = nullptr;
    QLineEdit* TxtM = nullptr;
    QLineEdit* TxtD = nullptr;
    QComboBox* CmbStage = nullptr;
    QPushButton* CmdPrevStage = nullptr;
    QPushButton* CmdNextStage = nullptr;
    QPushButton* CmdDate = nullptr;
    std::array<ToothButton*, kRows * 32> Th{};
    std::array<ClickLabel*, 32> LblTh{};
    std::array<ClickLabel*, 2 * kRows> LblRow{}; // item names at the left of the rows
    std::array<QPushButton*, 5> CmdVal{};
    QPushButton* CmdNot = nullptr;
    QPushButton* CmdBlood = nullptr;
    QPushButton* CmdHainou = nullptr;
    QPushButton* CmdBloodMode = nullptr;
    QPushButton* CmdHainouMode = nullptr;
    QPushButton* CmdPL = nullptr;
    QPushButton* CmdFurcationNone = nullptr;
    QPushButton* CmdImplant = nullptr;
    QPushButton* CmdPontic = nullptr;
    QPushButton* CmdMT = nullptr;
    QPushButton* CmdAdd = nullptr;
    QPushButton* CmdSave = nullptr;
    QPushButton* CmdDelExamData = nullptr;
    QPushButton* CmdDelPatient = nullptr;
    QPushButton* CmdChartDR = nullptr;
    QPushButton* CmdStyleDRS071 = nullptr;
    QPushButton* CmdImport = nullptr;
    QPushButton* CmdImage = nullptr;
    QPushButton* CmdFile = nullptr;
    QPushButton* CmdEnd = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuCreate = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuPlaqueAll = nullptr;  // CmdPL: plaque on the whole side
    QAction* mnuPlaqueNone = nullptr; // CmdPL: no plaque on the whole side
    ClickLabel* LblNowExam = nullptr;
    ClickLabel* LblHead = nullptr;
    QLabel* LblVer = nullptr;
    QLabel* LblPath = nullptr;
    QTimer* TimerLoad = nullptr;

    // ---------------------------------------------------------------- dialogs
    // The file dialogs of the file menu: Create a save dialog for a file that must not
    // exist yet (no overwrite prompt: the screen refuses existing files itself), Open an
    // open dialog for an existing file, Copy a save dialog for the copy's target. The
    // filter is in "description|pattern" form (kDbFileFilter). The empty string when
    // cancelled. Tests replace it.
    enum class FileDialogKind { Create, Open, Copy };
    static constexpr const char* kDbFileFilter = "データベース (*.mdb)|*.mdb";
    std::function<QString(QWidget* parent, FileDialogKind kind, const QString& title, const QString& filter)>
        fileDialog;
    // The plaque scope question (kScopeNotExamined, kScopeAll, kScopeCancelled).
    std::function<int(QWidget* parent)> askPlaqueScope;
    // The calendar of the date button.
    std::function<DateBoxes(QWidget* parent, const DateBoxes& boxes)> pickDate;
    // The additional-information and tools screen, shown modally on the given start tab
    // (2: the previous-version import) and unloaded when it closes. Set by the program
    // once that screen exists; while unset, accepting the import offer opens nothing.
    std::function<void(QWidget* parent, int startTab)> showTools;
    // The chart screen for the current patient, shown modally on the given tab (0 the
    // chart, 1 the data-sheet preview). Set by the program once that screen exists.
    std::function<void(QWidget* parent, int startTab)> showChart;
    // What closing the screen leads to (set by the program at its start).
    static inline EntryClosingSteps closing;

    // ---------------------------------------------------------------- state
    int currentPatient() const { return patientId_; }
    int currentRow() const { return row_; }
    int currentMode() const;
    bool unsaved() const { return unsaved_; }
    bool isNewExam() const { return isNew_; }
    bool bloodMode() const { return bloodMode_; }
    bool pusMode() const { return pusMode_; }
    bool dateWarning() const { return dateWarning_; }
    const ToothStatus& toothStatus() const { return status_; }
    QString keyPrefix() const { return prefix_; }
    ToothButton* cell(int row, int tooth) const { return Th[row * 32 + tooth]; }
    // The cursor of the current row: tooth and site (six-site items), pass (two-pass).
    int cursorTooth() const;
    int cursorSite() const;

    // ---------------------------------------------------------------- operations
    // Selects a patient as the patient list does (with the unsaved-changes question).
    // False when the user kept the current one.
    bool selectPatient(int patientId);
    // Selects an entry of the examination list (with the unsaved-changes question).
    bool selectExamination(int entryIndex);
    // Makes an item row current and puts its cursor on its first allowed position.
    void setCurrentRow(int row);
    // One key press as the screen previews it; true when the key was used.
    bool handleEntryKey(int key, const QString& text);
    // Value entry at the cursor (value buttons and keys).
    void enterValue(int value);
    // The save command; true when saved.
    bool save();
    // The part of the post-save check that counts the empty positions of the grid.
    QString emptyPositionsText() const;
    // The whole post-save check text (empty positions, then the database notices).
    QString postSaveCheckText() const;
    // Grid -> record slots, record slots -> grid.
    void collectGrid();
    void fillGrid();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Layout (PFrmInput.cpp).
    void buildControls();
    QWidget* buildHeader();
    QWidget* buildPatientPanel();
    QWidget* buildGrid();
    QWidget* buildEntryPanel();
    void connectControls();
    void Form_Load();
    void TimerLoad_Timer();
    void showDbPath();
    void fillPatientList();
    void fillStageList();
    void setupItemRows();

    // Entry (PFrmInput_Entry.cpp).
    void rebuildCursor(int row, bool moveFirst);
    void rebuildAllCursors();
    void showCursor();
    enum class CursorStep { Next, Prev, Last };
    bool stepCursor(CursorStep step);
    bool moveNext();
    bool movePrev();
    bool moveLastOfRow();
    bool moveToClicked(int row, int tooth, int site);
    void onCellClicked(int index, int site);
    void onLabelClicked(int tooth);
    void applyToken(const QString& token);
    void clearAtCursor();
    void setMark(int layer, int value);
    void toggleMark(int layer);
    void noLesion();
    void setBulkMode(int layer, bool on);
    void endBulkModes();
    void toggleStatus(std::uint16_t flag);
    void changeStatus(int tooth, std::uint16_t newStatus, bool moveOn);
    void plaqueSide(bool present);
    int plaquePassAt(int position) const;
    void afterValue();
    void updateValueButtons();
    void refreshRowState(int row);
    void phone();

    // Patients, examinations, saving, file menu (PFrmInput_Session.cpp).
    bool askSaveBeforeChange();
    void loadPatient(int patientId);
    void fillExamList(const QDate& select);
    void loadExamination(const QDate& date, int stage);
    void prepareNew(bool keepStatus);
    void newExamination();
    void setDateBoxes(const QDate& date);
    void selectStage(int stage);
    int selectedStage() const;
    void stepStage(int delta);
    void updateDateWarning();
    void onDateButton();
    void onPatientListLeft();
    void requestPatient(int patientId);
    void deleteExamination();
    void deletePatient();
    void showVersion();
    void createDatabase();
    void openDatabase();
    void copyDatabase();
    bool switchDatabase(const QString& path);
    void reloadAll();
    bool needPatient();
    void showPatientInList();
    void trap(const QString& firstLine, const std::function<void()>& action);

    int patientId_ = 0;
    QList<int> patients_;
    int row_ = 0;
    bool unsaved_ = false;
    bool isNew_ = true;
    QDate loadedDate_;
    ToothStatus status_{};
    QString prefix_;
    bool bloodMode_ = false;
    bool pusMode_ = false;
    bool dateWarning_ = false;
    bool checkingPatient_ = false;
    bool changingPatient_ = false; // a patient change (its question, its save) is under way
    bool loading_ = false;
    QWidget* gridArea_ = nullptr;
};

} // namespace kvr
