// Patients, examination dates and treatment stages of the entry screen, without the
// screen: the stage labels, the item rows and the staff record, loading a patient and
// the list of his examinations, loading an examination into the twelve record slots
// (ExamSlots()) or preparing a new one, saving it (validation, the save action and its
// questions, the rows written in one transaction), deleting an examination or a
// patient, the stage-interval hint, the unsaved-changes questions and the start-up
// repair of the stage table, the stored stage labels and two item definitions.
//
// The screen owns its controls and state (the date boxes, the stage list, the
// new-examination and unsaved-changes flags, the 32 tooth status words); it passes what
// it knows into these functions and applies what they return (which control gets the
// focus, the saved date). Every box these functions show goes through kvr::msgBox.
//
// Database errors: the routines here trap them and show the "[Error:" box of the
// database routines (Retry repeats the whole step, Cancel gives up); a routine that gives
// up returns false (or an empty result) and leaves the record slots as they were.
//
// A save runs its deletions and additions (stage clearing, removal of the replaced
// dates, the new rows with their next-number draws) inside one transaction on the member
// connection: a program killed at any moment of a save leaves either the old rows or the
// new ones. See docs/saving.md.
#pragma once

#include "exam/CExamData.h"
#include "platform/database.h"
#include "platform/services.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>

namespace kvr {

class CPatient;

using ToothStatus = std::array<std::uint16_t, kTeeth>;

// Runs body inside one transaction of the member connection (counted open) under the
// "[Error:" Retry/Cancel box; any error rolls the whole transaction back before it is
// reported, Retry runs the whole body again. False when the user gave up.
bool InMemberTransaction(const std::function<void(const db::ConnectionPtr&)>& body);

// ------------------------------------------------------------------ stage labels

inline constexpr int kMaxStageCode = 10;
// The date that stands for "no examination" on the entry screen ("100/01/01").
inline QDate NoExamDate() {
    return QDate(100, 1, 1);
}

// Reads "SELECT * FROM TComType ORDER BY ID" into the label table (index = stage code,
// codes 0 to kMaxStageCode; codes without a row have an empty label) and returns it.
// The table is kept for StageLabel() and the save.
QStringList LoadStageLabels();
// The label of a stage code from the last LoadStageLabels() (loads it when not yet
// loaded); empty outside 0-10.
QString StageLabel(int stageCode);

// ------------------------------------------------------------------ item rows, staff

// Reads "SELECT * FROM TSubExam WHERE DisplayRow=" 1 ... 4 into SubExams(); a display
// row without an item leaves its slot cleared. False when the database gave up.
bool LoadSubExamRows();
// Reads "SELECT * FROM TCharge WHERE ID=" chargeId into TheCharge() (cleared when there
// is no such row; then false).
bool LoadCharge(int chargeId);

// ------------------------------------------------------------------ patients

// The patient numbers of the patient list: 1 to 30, then 98 and 99.
QList<int> ListPatients();
// The text of a patient-list entry (the number as decimal text).
QString PatientListText(int patientId);

// Reads "SELECT * FROM TPatient WHERE ID=" id into ThePatient(); when there is no row
// the record is cleared (ID 0) and false is returned.
bool LoadPatient(int patientId);

// The two patient boxes of the entry screen: the in-clinic number (TxtInNo) is the
// patient's KalteNumber, the application case number (TxtApplyNo) is kept in Address1.
// The chart screen and the sheets read the case number through CaseNumberOf too.
QString InClinicNumberOf(const CPatient& patient);
QString CaseNumberOf(const CPatient& patient);

// Writes the patient row (adding it when missing) with the two box texts into
// ThePatient(); AppName "KVR-DB", UpDate now. False when the database gave up.
bool SavePatient(int patientId, const QString& inClinicNumber, const QString& caseNumber);

// Typed patient number check on leaving the patient list: an empty text is accepted
// (returns true, selected = 0); a text equal to an entry of the list gives that number
// in selected; anything else shows "患者番号が範囲外です。再入力してください。"
// titled "範囲外エラー" (critical) and returns false (the focus stays in the list).
bool CheckTypedPatientNumber(const QString& text, const QList<int>& patients, int& selected);
inline constexpr const char* kPatientOutOfRangeText = "患者番号が範囲外です。再入力してください。";
inline constexpr const char* kPatientOutOfRangeTitle = "範囲外エラー";

// ------------------------------------------------------------------ examinations

struct ExamEntry {
    QDate date;
    int stage = 0;
    QString text; // "yyyy/MM/dd" + two blanks + stage label
};

// The examination list of a patient, oldest first ("SELECT ExamDate, CommentID FROM
// TExamData WHERE PatientID=" id " GROUP BY ExamDate, CommentID ORDER BY ExamDate").
// Empty when the database gave up.
QList<ExamEntry> ListExaminations(int patientId);
QString ExamEntryText(const QDate& date, int stage);

// Clears the twelve slots and loads the rows of the patient's examination on date:
// rows 9 and 10 into slots 9 and 10, any other row into the slot 0-3 whose item
// definition (SubExams()[i].ID) equals the row's SubExam. Returns the tooth status words
// of the loaded examination (from the first loaded row; all 0 without rows) in status.
// False when the database gave up (the slots are then unchanged).
bool LoadExamination(int patientId, const QDate& date, ToothStatus* status = nullptr);

// Prepares a new examination in the twelve slots: status receives the tooth status of
// the patient's latest examination before date (all teeth present when there is none);
// slots 0-3 get PatientID, ExamDate, Row = slot, Examination 2, SubExam = the item's
// Mode, the status words, ChargeID, CommentID 0 and an empty Comment; slots 9 and 10 the
// same with SubExam 2. All cells stay 128.
void PrepareNewExamination(int patientId, const QDate& date, int chargeId, ToothStatus& status);
// The same with the given status words (the new-examination command keeps the status
// on screen).
void PrepareNewExaminationWithStatus(int patientId, const QDate& date, int chargeId,
                                     const ToothStatus& status);

// Writes the status words into all twelve slots.
void SetSlotsToothStatus(const ToothStatus& status);

// ------------------------------------------------------------------ saving

// The date boxes as one date: TxtY + "/" + TxtM + "/" + TxtD must name a valid date
// (numbers only, years 100-9999); invalid QDate otherwise.
QDate ParseExamDate(const QString& year, const QString& month, const QString& day);
// "yyyy/MM/dd".
QString ExamDateText(const QDate& date);

// What the screen knows when it saves. The record slots already hold the grid values.
struct SaveRequest {
    int patientId = 0; // 0: no patient selected
    QString year, month, day;
    int stage = -1;         // selected stage code, -1: none selected
    bool isNew = true;      // new-examination flag
    QDate loadedDate;       // date of the loaded examination (isNew false)
    ToothStatus status{};   // the 32 tooth status words on screen
    int chargeId = 0;       // current staff member
    QString inClinicNumber; // TxtInNo
    QString caseNumber;     // TxtApplyNo
};

enum class SaveFocus { None, PatientList, DateYear, StageList };

// Save actions.
enum SaveAction {
    kSaveNone = 0,        // do not save, back to the date boxes
    kSaveNew = 1,         // new examination on a date without rows
    kSaveLoaded = 2,      // the loaded examination (same date or moved to a free date)
    kSaveNewReplace = 3,  // new examination replacing the rows of its date
    kSaveMoveReplace = 4, // loaded examination moved onto a date whose rows it replaces
};

struct SaveOutcome {
    bool saved = false;
    int action = kSaveNone;
    SaveFocus focus = SaveFocus::None; // where the focus goes when the save stopped
    QDate savedDate;                   // the date written (saved true)
};

// Validates (boxes "患者番号を指定してください。", "正しい検査日を入力してください。",
// "治療ステージを指定してください。"), writes the patient row (the two box texts) on its
// own, asks the change and overwrite questions and decides the save action, then writes
// the examination in one transaction. It does not show the success box: the screen runs its post-save
// check first and then calls ShowSaveSuccess(). The screen ends its bulk modes before
// calling.
SaveOutcome SaveExamination(const SaveRequest& request);

// The action of a save, from the answers to its questions (shows them as needed):
// hasRows tells whether the target date holds rows of the patient.
int DecideSaveAction(bool isNew, const QDate& loadedDate, const QDate& newDate, bool hasRows);

// True when the patient has examination rows on date.
bool DateHasRows(int patientId, const QDate& date);

// Texts of the save questions.
QString OverwriteQuestionText();
QString ChangeDateQuestionText(const QString& oldDate, const QString& newDate);

// "正常に保存されました。　　" ... with the member folder and the database file, and the
// box that shows it (information icon, title "正常終了").
QString SaveSuccessText();
void ShowSaveSuccess();

// The database parts of the post-save check, in their order: the initial-case notice
// (CR LF + "■初診時の症例は以下の通りです。" ...) when the criterion is not met, then the
// stage-period notice. Empty when both are fine.
QString PostSaveDatabaseNotices(int patientId);

// ------------------------------------------------------------------ stage interval

// True when stage is 4 and entered is earlier than the patient's stage-2 date plus six
// calendar months, or (when the stage-2 date gives no hint) than the stage-3 date plus
// six months: the screen then shows the date boxes in the warning colour.
bool StageIntervalWarning(int patientId, int stage, const QDate& entered);

// ------------------------------------------------------------------ unsaved changes

inline constexpr const char* kUnsavedSaveText = "データが保存されていません。保存しますか？　　";
inline constexpr const char* kUnsavedCloseText = "データが保存されていません。終了してもよろしいですか？　　";
// Asks whether to save first before the patient, examination or file changes
// (exclamation, Yes/No, "確認"): Yes or No.
MsgResult AskSaveUnsaved();
// Asks on closing the screen; true when the screen may close.
bool AskCloseUnsaved();

// ------------------------------------------------------------------ deleting

// Delete examination: needs a patient and a stage (critical boxes otherwise); asks
// "表示されているデータを削除します。よろしいですか？　　" (default No); on Yes deletes
// every row of the patient on date and shows "表示されているデータを削除しました。" when
// there were rows to delete (an invalid date deletes nothing and reports nothing). True
// when the user confirmed and the deletion went through (the screen then rebuilds the
// list).
bool DeleteExamination(int patientId, int stage, const QDate& date);
// Delete patient: needs a patient; asks "表示されている患者番号の全データを削除します。
// よろしいですか？　　" (default No); on Yes deletes the patient's rows from TExamData,
// TPatientAdd and TPatient in one transaction and reports it. True when deleted.
bool DeletePatient(int patientId);

// ------------------------------------------------------------------ start-up repair

// The three start-up routines, run once after the member database is opened, in this
// order: the item definitions 2 (GradPart2 7 -> 6) and 3 (Status 0x1000), the stage
// types of TComType (row 0; the five stage rows when row 4 is wrong), and the stage
// texts stored with the examinations (Comment and UpDate of TExamData rows whose Comment
// is not the label of their stage). Each is one transaction; false when the database
// gave up, and RepairStageTables() then stops.
bool RepairItemDefinitions();
bool RepairStageTypes();
bool RepairStageTexts();
bool RepairStageTables();

} // namespace kvr
