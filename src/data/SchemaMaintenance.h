// Start-up maintenance of the member database: the silent retry of the table
// routines, the copy of rows between tables, and the refresh of the sample patients.
// (The master-list refresh is CMaster::CheckTable, the old-format conversion
// CPatient::CheckTable, the image table check CImage::CheckTable, the item-3 upgrade
// UpgradeExamItem3 in exam/CExamData.h.)
#pragma once

#include "platform/database.h"

#include <QString>

#include <functional>

namespace kvr {

// Runs the statements of one table routine. A failing statement is retried silently
// ten times, one second apart; after that each failure shows the box
// "<number> description" + two line breaks + label + table + "）" (title "エラー",
// Retry/Cancel, exclamation). Retry runs the statement again; Cancel makes run() false.
class MaintenanceRetry {
public:
    MaintenanceRetry(QString label, QString table);
    bool run(const std::function<void()>& statement);
    int errors() const { return errors_; }

    static constexpr int kSilentRetries = 10;
    static constexpr int kRetryWaitMs = 1000;

private:
    QString label_;
    QString table_;
    int errors_ = 0;
};

// Drops a table of the member database (nothing when it is missing) / creates one, each
// under the silent retry with the labels "テーブル削除エラー（" / "テーブル作成エラー（".
// Return 0 on success, 1 when the user cancelled.
int DropMemberTable(const QString& table);
int CreateMemberTable(const db::TableDef& def);

// The text of the maintenance error box.
QString MaintenanceErrorText(int number, const QString& description, const QString& label,
                             const QString& table);

// Appends every row of source to target: each source column goes to the target column
// of the same name; target-only columns keep their defaults.
void CopyTableRows(const db::ConnectionPtr& conn, const QString& source, const QString& target);

// The stage label of a treatment stage code (empty for codes other than 1-4).
QString StageLabelOf(int stageCode);

// When "UpdateSample.txt" lies in the program folder: replaces the member database's
// patients 98 and 99 and their examinations with those of the template database (in
// one transaction), then deletes the marker. Without the marker nothing happens.
// Returns false when the copy failed (the marker is then kept for the next start).
bool RefreshSamplePatients();

// The examination table's indexes: by patient, date and stage (examination lists and
// stage lookups), by stage and label (the stage-label repair), and the partial index of
// the item-3 rows that the item-3 upgrade must still change. Databases of older versions
// receive them at their first start (one pass over the table); later starts only check
// that they exist. Errors are left to the caller.
void EnsureExamIndexes(const db::ConnectionPtr& conn);

// The condition that selects the examination rows the item-3 upgrade may change: an
// item-3 row with an empty second-pass cell, or with a value on an implant or pontic
// tooth (and every row whose stored text is not in its usual shape). It is also the
// condition of the partial index, so that the upgrade reads only those rows.
QString ExamItem3WorkCondition();

} // namespace kvr
