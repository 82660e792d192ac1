// Import of the previous version's ("旧版KVR-Chart Ver.4") case patients 1-30 and their
// examinations into the member database.
//
// The whole change of the member database (deleting the patients the import replaces,
// adding the imported patients and their examinations with new keys) is one transaction:
// an error or a kill at any moment leaves the member database as it was, and the import
// marker (TClinicCode.ClinicName "1") is set only after a completed import.
#pragma once

#include "data/PreviousVersionDb.h"

#include <QString>

#include <functional>

class QWidget;

namespace kvr {

// The file the tab proposes: the previous version's database in its installation
// folder "KVR2" beside this program's folder.
QString DefaultPreviousVersionPath();
// The folder the file dialog starts in (the same "KVR2" folder).
QString PreviousVersionStartFolder();

// What to delete before the copy (the tab's OptBefore).
enum ImportMode {
    ReplaceAllCases = 0,   // every case patient 1-30 and its examinations
    ReplaceSameNumbers = 1 // only the patient numbers the previous version has
};

enum class ImportOutcome {
    NotSpecified, // no such file: "指定エラー"
    NotReadable,  // neither kind of previous-version file, or without its two tables
    Declined,     // "No" to the confirmation
    OpenFailed,   // a connection could not be opened
    Failed,       // reading or copying failed; the member database is unchanged
    Completed
};

// The rows the import carries over, read in full before the member database is touched.
struct PreviousData {
    PreviousTable patients; // rows of TPatient with ID <= 30
    PreviousTable exams;    // rows of TExamData with PatientID <= 30
};
// Reads the case patients and their examinations. Throws RuntimeError.
PreviousData ReadPreviousData(PreviousVersionDb& source);

// Deletes and copies in one transaction on the member connection conn (steps 4 to 6).
// Throws RuntimeError after rolling back.
void CopyPreviousData(const db::ConnectionPtr& conn, const PreviousData& data, ImportMode mode);

// Null when the file can be imported; otherwise the text of the box that refuses it.
QString CheckPreviousVersionFile(const QString& path);

// The whole import with its messages (the button "インポート実行").
ImportOutcome ImportKVRChart(const QString& path, ImportMode mode);

// The compaction of the member database after the copy (the member connection is
// closed when it runs). Tests replace it.
std::function<bool()>& ImportCompaction();

// The file dialog of "ファイル指定" (parent, title, proposed file, filter → chosen path, empty
// when cancelled). Tests replace it.
std::function<QString(QWidget*, const QString&, const QString&, const QString&)>& ImportFileChooser();

class ToolTabPage;
// The tab page on its own (the tools window creates it through CreateImportOldTab).
ToolTabPage* CreateImportOldPage();

} // namespace kvr
