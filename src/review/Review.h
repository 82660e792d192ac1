// The reviewer's program: opens submission archives (one file or a folder of them),
// checks every case patient with the submission step's own checks, writes each case's
// two sheets as PDF and summarises each archive in a CSV file and a one-page overview.
// Nothing is ever written into an archive or its database.
#pragma once

#include "chart/SheetFigures.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace kvr::review {

// Exit statuses of the program.
enum Status { kAllComplete = 0, kSomeIncomplete = 1, kNotOpened = 2 };

// One case patient of an archive.
struct CaseReview {
    int patientNo = 0;
    QString caseNumber;                 // as stored, trimmed
    std::array<StageFigures, 4> stages; // figure texts of the four stage slots
    bool stagePeriodProblem = false;    // stage 4 less than six months after stage 3
    QString initialPct, initialCount;   // initial-case criterion figures
    bool initialCriterionMet = false;
    QStringList missing; // the submission report's findings (without the patient head)
    bool datesInOrder = true;
    bool futureStage = false;       // a stage dated after the archive
    bool duplicateCaseNumber = false;
    QStringList pdfs;               // file names of the sheets written
    bool complete() const { return missing.isEmpty(); }
};

// One archive.
struct ArchiveReview {
    QString archive; // path as given
    QString error;   // one line; empty when the archive was opened
    QString memberNo, kindLetter;
    QDateTime archiveDate;
    QString integrity; // the answer of the integrity check ("ok")
    int schemaVersion = 0;
    bool schemaKnown = false;
    QList<CaseReview> cases;
    QString outFolder;
    bool opened() const { return error.isEmpty(); }
    bool complete() const;
};

struct Options {
    QStringList inputs;  // archives or folders
    QString out;         // empty: a folder beside each archive named after it
    QString password;
    bool writeSheets = true;
};

// The archive's date: its name's yyyymmdd_hhnn, else the file's modification time.
QDateTime ArchiveDateOf(const QString& archivePath);

// Opens, checks and writes the outputs of one archive into outFolder (created).
ArchiveReview ReviewArchive(const QString& archivePath, const QString& password, const QString& outFolder,
                            bool writeSheets = true);

// The archives named by the inputs: files as they are, folders by their *.zip files in
// name order.
QStringList ArchivesOf(const QStringList& inputs);
// The output folder of an archive.
QString OutFolderOf(const QString& archivePath, const QString& out);

// CSV: the heading line and the rows of an archive (with the archive column first when
// withArchive).
QString CsvHeading(bool withArchive);
QStringList CsvRows(const ArchiveReview& a, bool withArchive);
bool WriteCsv(const QString& path, const QStringList& lines);

// The one-page overview of an archive in Japanese.
bool WriteOverviewPdf(const QString& path, const ArchiveReview& a);

// Runs the whole review; progress and messages go to err. Returns the exit status.
int Run(const Options& options, const std::function<void(const QString&)>& err);

// Ctrl+C, SIGTERM and SIGHUP remove the private temporary folder in use, then end the program.
void InstallInterruptCleanup();

} // namespace kvr::review
