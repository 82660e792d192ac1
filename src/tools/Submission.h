// The submission file: the completeness check of every case's additional information
// with its report "Log_Error.txt", the archive's name and its creation.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "platform/database.h"

namespace kvr {

class CPatientAdd;

// The kinds of application: the option's caption and the letter that starts the archive name.
struct SubmissionKind {
    const char* caption;
    const char* letter;
};
inline constexpr SubmissionKind kSubmissionKinds[3] = {
    {"専門医（S）", "S"}, {"認定医（N）", "N"}, {"認定歯科衛生士（H）", "H"}};

// letter "_" member number (trimmed) "_" yyyymmdd_hhnn_ "KVR-DB.zip".
QString SubmissionArchiveName(const QString& letter, const QString& memberNo, const QDateTime& at);
// The database copy beside the archive: the archive path with "MDB" for its last three characters.
QString SubmissionCopyPath(const QString& archivePath);

// The findings of one stored record, each beginning with two blanks, in report order.
QStringList SubmissionFindings(const CPatientAdd& record);

// The report lines of every case patient (ID 1-30) of a database, "患者番号:" + ID +
// finding, in patient order; empty when nothing is missing. Errors are thrown.
QStringList SubmissionReportLines(const db::ConnectionPtr& conn);

// Checks every case patient's additional information and writes MemberFolder +
// "/Log_Error.txt" anew (one line per finding). True when nothing is missing (or there
// is no patient); otherwise the report is opened with the desktop's default program and
// the result is false. Database errors are thrown as RuntimeError.
bool CheckSubmissionData();
QString SubmissionReportPath();

// Step 8 of the archive creation: the database copy beside the archive (an older one of
// that name is deleted first), then the encrypted archive holding it. True when the
// archive exists afterwards. Copy failures are reported by the copy routine; archive
// failures are thrown as RuntimeError.
bool WriteSubmissionArchive(const QString& sourceDb, const QString& archivePath);

} // namespace kvr
