#!/usr/bin/python3
"""Measures what the tests catch: applies each mutation of a fixed list in turn, builds the
test programs that cover it, runs them and records which tests fail.

Each mutation replaces one snippet that occurs exactly once in its file with a faulty
variant a developer could plausibly write. The file is always restored afterwards (also
on Ctrl+C or an error), and restoration is verified with git. A snippet that no longer
occurs exactly once is reported as stale, never guessed at; a mutation that does not
build counts as not applicable, never as caught.

    scripts/mutation_score.py --out mutation-table.md            # every mutation
    scripts/mutation_score.py --only C01,E05 --out /tmp/t.md      # some of them
    scripts/mutation_score.py --list                              # the list, with stale entries

Standard library only (Debian's python3).
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# id, subsystem, file, original snippet, replacement, user-visible fault, CTest regex.
MUTATIONS = [
    # ---------------------------------------------------------------- src/platform
    ("P01", "platform", "src/platform/database.cpp",
     'return dt.toString("yyyy-MM-dd HH:mm:ss");',
     'return dt.toString("yyyy-MM-dd HH:mm");',
     "stored times lose their seconds",
     r"^(platform_database_test|data_member_db_test|exam_exam_session_test)$"),
    ("P02", "platform", "src/platform/database.cpp",
     "sqlite3_busy_timeout(c->db_, 2000);",
     "sqlite3_busy_timeout(c->db_, 0);",
     "a database locked for a moment by another connection fails at once instead of waiting",
     r"^(platform_database_test|tools_crash_test_save)$"),
    ("P03", "platform", "src/platform/database.cpp",
     'if (mode == Mode::Read && fileSize(path + "-journal") > 0)',
     'if (false && fileSize(path + "-journal") > 0)',
     "a read-only open ignores the journal of an interrupted write",
     r"^(platform_database_test|tools_backup_restore_test)$"),
    ("P04", "platform", "src/platform/database.cpp",
     "return size == 1024 || size == 4096 ? size : 0;",
     "return size == 4096 ? size : 0;",
     "the journal of an interrupted write to an old 1 KiB-page file is not recognised",
     r"^(platform_database_test|data_previous_version_db_test)$"),
    ("P05", "platform", "src/platform/database.cpp",
     "return QVariant(sqlite3_column_int64(st, i) != 0);",
     "return QVariant(sqlite3_column_int64(st, i) == 0);",
     "yes/no columns read back inverted",
     r"^(platform_database_test|data_member_db_test|exam_exam_session_test)$"),
    ("P06", "platform", "src/platform/database.cpp",
     'execute("BEGIN IMMEDIATE");',
     'execute("BEGIN");',
     "a transaction takes the write lock only at its first write (two saves can deadlock)",
     r"^(platform_database_test|tools_crash_test_save|exam_exam_session_test)$"),
    ("P07", "platform", "src/platform/disk.cpp",
     "const bool ok = ::fsync(fd) == 0;",
     "const bool ok = fd >= 0;",
     "flush to disk does nothing and reports success",
     r"^(tools_flush_fault_test|shell_utilities_test|tools_crash_test_backup)$"),
    # ---------------------------------------------------------------- src/shell
    ("S01", "shell", "src/shell/NumberFormat.cpp",
     "if (digits[keep] >= '5') { // half away from zero",
     "if (digits[keep] > '5') { // half away from zero",
     "figures rounded down at .05 (PISA, PCR, BOP rate)",
     r"^(shell_utilities_test|chart_chart_stats_test)$"),
    ("S02", "shell", "src/shell/NumberFormat.cpp",
     'if (!leadingZero && intPart == "0" && decimals > 0) intPart.clear();',
     'if (intPart == "0" && decimals > 0) intPart.clear();',
     'figures below one lose their leading zero (".5" for "0.5")',
     r"^(shell_utilities_test|chart_chart_stats_test)$"),
    ("S03", "shell", "src/shell/FileUtil.cpp",
     "if (!err && ::fsync(out) != 0) err = errno;",
     "if (!err && out < 0) err = errno;",
     "file copy not flushed before its rename (a power cut leaves an empty database)",
     r"^(shell_utilities_test|tools_flush_fault_test|tools_crash_test_(backup|restore))$"),
    ("S04", "shell", "src/shell/FileUtil.cpp",
     'const QString tmp = target + ".kvrtmp";',
     "const QString tmp = target;",
     "file copy writes straight over the target instead of renaming a complete copy",
     r"^(shell_utilities_test|tools_flush_fault_test|tools_crash_test_(backup|restore))$"),
    ("S05", "shell", "src/shell/FileUtil.cpp",
     "if (!SyncToDisk(QFileInfo(target).absolutePath(), true)) return errno ? errno : EIO;",
     "SyncToDisk(QFileInfo(target).absolutePath(), true);",
     "a copy whose folder could not be flushed is reported as done",
     r"^(shell_utilities_test|tools_flush_fault_test)$"),
    ("S06", "shell", "src/shell/startup/startup.cpp",
     "return ok && number >= 1000;",
     "return ok;",
     "a database of an unsupported old version is opened at start",
     r"^(shell_startup_test)$"),
    ("S07", "shell", "src/shell/startup/MemberFolder.cpp",
     "if (sameSize && IsCompleteDatabase(temporary) && renamePath(temporary, database))",
     "if (sameSize && renamePath(temporary, database))",
     "a half-copied member database is taken as complete at start",
     r"^(shell_startup_test|tools_crash_test_member_start)$"),
    ("S08", "shell", "src/shell/startup/MemberFolder.cpp",
     "if (name != QFileInfo(temporary).fileName()) return MemberFolderResult::NotOurs;",
     "if (name.isNull()) return MemberFolderResult::NotOurs;",
     "a member folder holding other files is filled with a new database anyway",
     r"^(shell_startup_test)$"),
    ("S09", "shell", "src/shell/startup/MemberFolder.cpp",
     'sweep(pdfFolder, {".*.part"}, {});',
     'sweep(pdfFolder, {".*.prt"}, {});',
     "half-written sheet PDFs are left behind at start",
     r"^(shell_startup_test)$"),
    ("S10", "shell", "src/shell/startup/startup.cpp",
     "if (TheClinicCode().ClinicCode.trimmed().isEmpty() && !app().MemberNo.isEmpty())",
     "if (false && !app().MemberNo.isEmpty())",
     "a first start cut short never gets its clinic code",
     r"^(shell_startup_test)$"),
    # ---------------------------------------------------------------- src/data
    ("D01", "data", "src/data/CNextAutoNumber.cpp",
     "const qint32 result = IdPrefix * 10000000 + *counter;",
     "const qint32 result = IdPrefix * 10000000 + *counter + 1;",
     "new record numbers are one ahead of the counter (the last one collides)",
     r"^(data_member_db_test|exam_exam_session_test)$"),
    ("D02", "data", "src/data/CNextAutoNumber.cpp",
     "    if (commit) {",
     "    if (!commit) {",
     "the record counter is not stored: the same number is given twice",
     r"^(data_member_db_test|exam_exam_session_test)$"),
    ("D03", "data", "src/data/Compaction.cpp",
     'if (QFileInfo(database + "-journal").size() > 0)',
     "if (false)",
     "compaction replaces a database whose interrupted write is still in its journal",
     r"^(data_compaction_test|tools_crash_test_compact)$"),
    ("D04", "data", "src/data/Compaction.cpp",
     "const bool flushed = SyncToDisk(temp);",
     "const bool flushed = !temp.isEmpty();",
     "the compacted copy is not flushed before it replaces the database",
     r"^(data_compaction_test|tools_flush_fault_test|tools_crash_test_compact)$"),
    ("D05", "data", "src/data/Compaction.cpp",
     'if (result != "ok")',
     'if (result == "damaged")',
     "a compacted copy that fails the integrity check replaces the database",
     r"^(data_compaction_test)$"),
    ("D06", "data", "src/data/CMaster.cpp",
     'for (const char* f : {"yyyy/MM/dd", "yyyy/M/d", "yyyy-MM-dd", "yyyy-M-d", "yyyyMMdd"}) {',
     'for (const char* f : {"yyyy/MM/dd", "yyyy-MM-dd", "yyyy-M-d", "yyyyMMdd"}) {',
     "a master list dated like 2024/5/1 is not recognised as up to date",
     r"^(data_schema_maintenance_test|data_member_db_test)$"),
    ("D07", "data", "src/data/CMaster.cpp",
     "if (all.startsWith(QChar(0xFEFF))) all.remove(0, 1);",
     ";",
     "a master list saved with a byte-order mark loses its first entry",
     r"^(data_schema_maintenance_test|data_member_db_test)$"),
    ("D08", "data", "src/data/MemberDbSwap.cpp",
     'if (check != "ok") {',
     'if (check.isEmpty()) {',
     "a damaged file is accepted as a program database (restore, import)",
     r"^(data_member_db_test|tools_backup_restore_test)$"),
    # ---------------------------------------------------------------- src/exam
    ("E01", "exam", "src/exam/EntryKeys.cpp",
     'token = prefix == QLatin1String("/") ? QString::number(10 + c.digitValue()) : QString(c);',
     'token = prefix == QLatin1String("/") ? QString::number(11 + c.digitValue()) : QString(c);',
     "\"/\" and a digit enters one millimetre too many (/2 gives 13)",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E02", "exam", "src/exam/EntryKeys.cpp",
     "if (isNumber && n >= 1 && n <= 16) return {EntryAction::Value, n};",
     "if (isNumber && n >= 1 && n <= 15) return {EntryAction::Value, n};",
     "a pocket depth of 16 mm is refused",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E03", "exam", "src/exam/EntryKeys.cpp",
     "if (mode == 1 || mode == 3 || mode == 6) return {EntryAction::Clear, 0};",
     "if (mode == 1 || mode == 3) return {EntryAction::Clear, 0};",
     "\".\" does not clear a furcation value",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E04", "exam", "src/exam/EntryKeys.cpp",
     "    case Qt::Key_Backspace:\n",
     "",
     "Backspace no longer steps the cursor back",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E05", "exam", "src/exam/CToothPosition.cpp",
     "for (int i = std::max(start, 0); i < 192; ++i) {",
     "for (int i = std::max(start, 0); i < 191; ++i) {",
     "the site cursor skips the last site",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E06", "exam", "src/exam/CToothPosition.cpp",
     "for (int i = std::min(start, 191); i >= 0; --i) {",
     "for (int i = std::min(start, 191); i > 0; --i) {",
     "moving back, the site cursor never reaches the first site",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E07", "exam", "src/exam/CToothPosition.cpp",
     "        if (t < 0) return false;",
     "        if (t < 0) continue;",
     "the tooth cursor runs past the end of the tooth order",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E08", "exam", "src/exam/CToothPosition.cpp",
     "static constexpr int kSameSide[6] = {3, 4, 5, 0, 1, 2};",
     "static constexpr int kSameSide[6] = {3, 4, 5, 0, 2, 1};",
     "clicking a tooth of the other jaw puts the cursor on the wrong site",
     r"^(exam_tooth_position_test|exam_entry_screen_test)$"),
    ("E09", "exam", "src/exam/ExamSession.cpp",
     "if (!y || !m || !d || *y < 100) return {};",
     "if (!y || !m || !d || *y <= 100) return {};",
     "the no-examination date 100/01/01 is refused",
     r"^(exam_exam_session_test|exam_entry_screen_menu_test)$"),
    ("E10", "exam", "src/exam/ExamSession.cpp",
     "        if (action == kSaveLoaded || action == kSaveMoveReplace)",
     "        if (action == kSaveMoveReplace)",
     "saving a loaded examination again stores a second copy of it",
     r"^(exam_exam_session_test|tools_crash_test_save)$"),
    ("E11", "exam", "src/exam/ExamSession.cpp",
     "row.SubExam = i < 4 ? SubExams()[i].ID : 2;",
     "row.SubExam = i < 3 ? SubExams()[i].ID : 2;",
     "the fourth examination item is saved as pocket depths",
     r"^(exam_exam_session_test|chart_chart_stats_test)$"),
    ("E12", "exam", "src/exam/ExamSession.cpp",
     "if (r == MsgResult::No) return dateHasRows ? overwrite(kSaveNewReplace) : kSaveNew;",
     "if (r == MsgResult::No) return dateHasRows ? overwrite(kSaveNewReplace) : kSaveLoaded;",
     "answering \"add this date\" moves the examination to the new date instead",
     r"^(exam_exam_session_test)$"),
    ("E13", "exam", "src/exam/ExamSession.cpp",
     "if (d.isValid() && entered < d.addMonths(6)) {",
     "if (d.isValid() && entered < d.addMonths(5)) {",
     "no stage-interval warning in the sixth month",
     r"^(exam_exam_session_test)$"),
    ("E14", "exam", "src/exam/ExamSession.cpp",
     '"はい　：上書きする"',
     '"はい ：上書きする"',
     "overwrite question text wrong by one character",
     r"^(exam_exam_session_test)$"),
    # ---------------------------------------------------------------- src/chart
    ("C01", "chart", "src/chart/ChartStats.cpp",
     "return formatFixed(double(part) / double(whole) * 100.0, 1);",
     "return formatFixed(double(part) / double(whole) * 100.0, 0);",
     "percentages shown without their decimal",
     r"^(chart_chart_stats_test|chart_sheet_test)$"),
    ("C02", "chart", "src/chart/ChartStats.cpp",
     "            if (slot.Ppd[s] == kNoValue) continue;\n            ++counted;",
     "            ++counted;",
     "BOP rate counts unmeasured sites",
     r"^(chart_chart_stats_test|chart_sheet_test)$"),
    ("C03", "chart", "src/chart/ChartStats.cpp",
     "if (p & 128) continue; // not examined",
     "if (p & 64) continue; // not examined",
     "PCR counts teeth whose plaque was not examined",
     r"^(chart_chart_stats_test|chart_sheet_test)$"),
    ("C04", "chart", "src/chart/ChartStats.cpp",
     "sum += d > 12 ? 12 : d;",
     "sum += d;",
     "PISA/PESA do not cap pockets deeper than 12 mm",
     r"^(chart_chart_stats_test|chart_sheet_test)$"),
    ("C05", "chart", "src/chart/ChartStats.cpp",
     "pisa[t] = bleedingSites / 6.0 * area;",
     "pisa[t] = bleedingSites / 5.0 * area;",
     "PISA too large by a fifth",
     r"^(chart_chart_stats_test|chart_sheet_test)$"),
    ("C06", "chart", "src/chart/ChartStats.cpp",
     "return tooth == 0 || tooth == 15 || tooth == 16 || tooth == 31;",
     "return tooth == 0 || tooth == 15 || tooth == 16;",
     "PESA of the lower left third molar is zero",
     r"^(chart_chart_stats_test|chart_sheet_test)$"),
    ("C07", "chart", "src/chart/ChartStats.cpp",
     "if (d >= 4) ++a;",
     "if (d > 4) ++a;",
     "4 mm pockets not counted for the initial-case criterion",
     r"^(chart_chart_stats_test|exam_exam_session_test)$"),
    ("C08", "chart", "src/chart/ChartStats.cpp",
     "return stage4 < stage3.addMonths(6);",
     "return stage4 <= stage3.addMonths(6);",
     "stage period check wrong on the day six months after",
     r"^(chart_chart_stats_test|exam_exam_session_test)$"),
    ("C09", "chart", "src/chart/ChartStats.cpp",
     "        if (d < lower)\n",
     "        if (d <= lower)\n",
     "pockets at the band limit counted in the lower band",
     r"^(chart_chart_stats_test|chart_chart_screen_test)$"),
    ("C10", "chart", "src/chart/ChartStats.cpp",
     "formatFixed(sum, 1)).right(6);",
     "formatFixed(sum, 1)).right(5);",
     "PISA/PESA sums of 1000 mm² and more lose their first digit",
     r"^(chart_chart_stats_test|chart_sheet_test)$"),
    ("C11", "chart", "src/chart/SheetChart.cpp",
     "return left + (4 * (tooth % 16) + 1 + site % 3) * unit;",
     "return left + (4 * (tooth % 16) + 2 + site % 3) * unit;",
     "pocket graph points drawn one site to the right",
     r"^(chart_sheet_test|chart_chart_screen_test)$"),
    ("C12", "chart", "src/chart/SheetChart.cpp",
     "const double shift = stageOfPair == 0 ? -0.12 : 0.12;",
     "const double shift = stageOfPair == 0 ? -1.12 : 0.12;",
     "sheet graph of the first stage drawn 1 mm left",
     r"^(chart_sheet_test)$"),
    ("C13", "chart", "src/chart/SheetChart.cpp",
     "g.zeroY = crownAtBottom ? bandTop + kRootH : bandTop + kCrownH;",
     "g.zeroY = crownAtBottom ? bandTop + kCrownH : bandTop + kRootH;",
     "zero line of the sheet's pocket graphs at the wrong edge of the band",
     r"^(chart_sheet_test)$"),
    ("C14", "chart", "src/chart/DataSheet.cpp",
     "const double y = top + 1.4 + kTableRowH * i;",
     "const double y = top + 2.4 + kTableRowH * i;",
     "data sheet's figure table drawn 1 mm low",
     r"^(chart_sheet_test)$"),
    ("C15", "chart", "src/chart/DataSheet.cpp",
     "if (s.Pus[site] != kNoValue && s.Pus[site] != 0) sp.fillRect(x, top, cellW, h, kYellow);",
     "if (s.Pus[site] == 1 && s.Pus[site] == 0) sp.fillRect(x, top, cellW, h, kYellow);",
     "pus sites not highlighted on the data sheet",
     r"^(chart_sheet_test)$"),
    ("C16", "chart", "src/chart/DataSheet.cpp",
     "s.Bop[site] == 1 ? kRed : QColor(Qt::black));",
     "s.Bop[site] == 2 ? kRed : QColor(Qt::black));",
     "bleeding sites printed black on the data sheet",
     r"^(chart_sheet_test)$"),
    ("C17", "chart", "src/chart/DataSheet.cpp",
     "if (status & kImplant) return QColor(255, 255, 128);",
     "if (status & kImplant) return QColor(255, 255, 0);",
     "implant tooth numbers on the wrong background colour",
     r"^(chart_sheet_test)$"),
    ("C18", "chart", "src/chart/SheetFigures.cpp",
     "return caseNumber.isEmpty() ? QString::number(patientNo) : caseNumber;",
     "return caseNumber.trimmed().isEmpty() ? QString::number(patientNo) : caseNumber.trimmed();",
     "a case number of blanks prints the patient number, and a stored number loses its blanks",
     r"^(chart_sheet_test)$"),
    # ---------------------------------------------------------------- src/tools
    ("T01", "tools", "src/tools/Submission.cpp",
     "if (!between(r.SmokingHistory, 0, 3))",
     "if (r.SmokingHistory > 3)",
     "validation rule for a missing smoking history skipped (submission check)",
     r"^(tools_submission_test)$"),
    ("T02", "tools", "src/tools/Submission.cpp",
     "return (answer == 0 && ticked >= 1) || (answer == 1 && ticked == 0);",
     "return (answer == 0 && ticked > 1) || (answer == 1 && ticked == 0);",
     "\"none\" with one ticked disease not reported as a contradiction",
     r"^(tools_submission_test)$"),
    ("T03", "tools", "src/tools/Submission.cpp",
     '"SELECT * FROM TPatient WHERE ID<=30 ORDER BY ID"',
     '"SELECT * FROM TPatient WHERE ID<30 ORDER BY ID"',
     "case patient 30 is not checked before submission",
     r"^(tools_submission_test)$"),
    ("T04", "tools", "src/tools/Submission.cpp",
     'at.toString("yyyyMMdd_HHmm_")',
     'at.toString("yyyyMMdd_HHmm")',
     "submission archive name lacks the underscore before KVR-DB",
     r"^(tools_submission_test)$"),
    ("T05", "tools", "src/tools/AdditionalInfoTab.cpp",
     'if (CmbSex->currentIndex() < 0) lines << QStringLiteral("性別が選択されていません。");',
     "",
     "validation rule for sex skipped (additional information)",
     r"^(tools_tools_screen_test|tools_patient_add_test)$"),
    ("T06", "tools", "src/tools/AdditionalInfoTab.cpp",
     "if (CmbKvrDiagnosis->currentIndex() == 0) {",
     "if (CmbKvrDiagnosis->currentIndex() == 1) {",
     "diagnosis detail checks applied to the wrong diagnosis",
     r"^(tools_tools_screen_test|tools_patient_add_test)$"),
    ("T07", "tools", "src/tools/AdditionalInfoTab.cpp",
     "if (text.size() != 6) return QString();",
     "if (text.size() < 6) return QString();",
     "a seven-character birth month is accepted",
     r"^(tools_tools_screen_test|tools_patient_add_test)$"),
    ("T08", "tools", "src/tools/ImportKVRChart.cpp",
     "return id.isValid() && !id.isNull() && ok && n <= kLastCasePatient;",
     "return id.isValid() && !id.isNull() && ok && n < kLastCasePatient;",
     "the last case patient is not imported",
     r"^(tools_import_kvrchart_test)$"),
    ("T09", "tools", "src/tools/ImportKVRChart.cpp",
     "const qint32 next = first - IdPrefix * 10000000 + count;",
     "const qint32 next = first - IdPrefix * 10000000 + count - 1;",
     "after an import the next examination row reuses the last imported number",
     r"^(tools_import_kvrchart_test|tools_crash_test_import)$"),
    ("T10", "tools", "src/tools/ImportKVRChart.cpp",
     'conn->execute("DELETE FROM TExamData WHERE PatientID<=?", {kLastCasePatient});',
     'conn->execute("DELETE FROM TExamData WHERE PatientID<?", {kLastCasePatient});',
     "replacing all cases keeps patient 30's old examinations",
     r"^(tools_import_kvrchart_test)$"),
    ("T11", "tools", "src/tools/BackupRestore.cpp",
     'if (QFileInfo(destination + "-journal").size() > 0) {',
     "if (false) {",
     "restore overwrites a database whose interrupted write is still in its journal",
     r"^(tools_backup_restore_test|tools_crash_test_restore)$"),
    ("T12", "tools", "src/tools/BackupRestore.cpp",
     'return base + at.toString("_yyyyMMdd_HHmm") + ".MDB";',
     'return base + at.toString("_yyyyMMdd_HHmm") + ".mdb";',
     "backup file named with a lower-case extension",
     r"^(tools_backup_restore_test)$"),
    ("T13", "tools", "src/tools/BackupRestore.cpp",
     "if (out.safetyCopied) out.restored = CopyFile(source, destination);",
     "out.restored = CopyFile(source, destination);",
     "restore overwrites the data although its safety copy failed",
     r"^(tools_backup_restore_test|tools_flush_fault_test|tools_crash_test)$"),
    ("T14", "tools", "src/tools/MemberNumberChange.cpp",
     'static const QRegularExpression sixDigits("\\\\A[0-9]{6}\\\\z");',
     'static const QRegularExpression sixDigits("\\\\A[0-9]{5,6}\\\\z");',
     "a five-digit member number is accepted",
     r"^(tools_member_number_test)$"),
    ("T15", "tools", "src/tools/MemberNumberChange.cpp",
     "if (!removeFolderAtOnce(a.MemberFolder, stamp)) return MemberNoChange::Failed;",
     "removeFolderAtOnce(a.MemberFolder, stamp);",
     "member number change reports success although the old folder stayed",
     r"^(tools_member_number_test|tools_flush_fault_test)$"),
    ("T16", "tools", "src/tools/EncryptedZip.cpp",
     "ZIP_EM_AES_256",
     "ZIP_EM_AES_128",
     "submission archive encrypted with AES-128 instead of AES-256",
     r"^(tools_submission_test|tools_flush_fault_test)$"),
    ("T17", "tools", "src/tools/EncryptedZip.cpp",
     "        verify(tmp, file, password);\n",
     "",
     "the written archive is not read back and compared with its file",
     r"^(tools_submission_test|tools_crash_test_archive)$"),
    ("T18", "tools", "src/tools/EncryptedZip.cpp",
     'if (!SyncToDisk(tmp)) fail(errno, "圧縮ファイルを書き込めません。" + tmp);',
     "",
     "the archive is not flushed before its rename",
     r"^(tools_submission_test|tools_flush_fault_test|tools_crash_test_archive)$"),
]


class Stop(Exception):
    pass


def on_signal(signum, frame):
    raise KeyboardInterrupt()


def git_clean(path):
    return subprocess.run(["git", "-C", str(ROOT), "diff", "--quiet", "--", path]).returncode == 0


def snippet_count(m):
    path = ROOT / m[2]
    if not path.is_file():
        return 0
    return path.read_text(encoding="utf-8").count(m[3])


def ctest_tests(build):
    """CTest name -> the build target of its program (None for scripts)."""
    out = subprocess.run(["ctest", "--test-dir", str(build), "--show-only=json-v1"],
                         capture_output=True, text=True, check=True).stdout
    tests = {}
    bdir = str(Path(build).resolve())
    for t in json.loads(out).get("tests", []):
        cmd = t.get("command") or []
        exe = cmd[0] if cmd else ""
        tests[t["name"]] = Path(exe).name if exe.startswith(bdir) else None
    return tests


FAILED_CASE = re.compile(r"^\[  FAILED  \] (\S+\.\S+?)(?:,| \(|$)", re.M)
CTEST_FAILED = re.compile(r"^\s*\d+ - (\S+) \((\w[^)]*)\)", re.M)


def run_mutation(m, build, tests, jobs, timeout, log):
    mid, sub, rel, orig, repl, fault, regex = m
    path = ROOT / rel
    result = {"id": mid, "subsystem": sub, "fault": fault, "status": "", "failing": "", "seconds": 0.0}
    start = time.monotonic()
    names = [n for n in tests if re.search(regex, n)]
    targets = sorted({tests[n] for n in names if tests[n]})
    count = snippet_count(m)
    if count != 1:
        result["status"] = "stale"
        result["failing"] = f"snippet found {count} times in {rel}"
        return result
    if not names:
        result["status"] = "stale"
        result["failing"] = f"no CTest name matches {regex}"
        return result
    if not git_clean(rel):
        result["status"] = "skipped"
        result["failing"] = f"{rel} has uncommitted changes"
        return result
    original = path.read_bytes()
    text = original.decode("utf-8")
    try:
        path.write_text(text.replace(orig, repl, 1), encoding="utf-8")
        b = subprocess.run(["cmake", "--build", str(build), "-j", str(jobs), "--target", *targets],
                           capture_output=True, text=True)
        log.write(f"==== {mid} build rc={b.returncode}\n{b.stdout[-3000:]}{b.stderr[-3000:]}\n")
        if b.returncode != 0:
            result["status"] = "n/a"
            result["failing"] = "does not build"
            return result
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        # The programs' own TIMEOUT property overrides ctest --timeout, so a mutation that
        # makes a test hang is stopped here: ctest and its programs form one process group.
        t = subprocess.Popen(["ctest", "--test-dir", str(build), "-R", regex, "--output-on-failure",
                              "-j", str(jobs)], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                             text=True, env=env, start_new_session=True)
        try:
            out, _ = t.communicate(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(t.pid, signal.SIGKILL)
            out, _ = t.communicate()
            log.write(f"==== {mid} ctest stopped after {timeout} s\n{out[-20000:]}\n")
            result["status"] = "yes"
            result["failing"] = f"a test hung (stopped after {timeout} s)"
            return result
        except BaseException:
            os.killpg(t.pid, signal.SIGKILL)
            t.wait()
            raise
        log.write(f"==== {mid} ctest rc={t.returncode}\n{out[-20000:]}\n")
        # A program that is not built ("Not Run") tells nothing about the mutation.
        not_run = [n for n, why in CTEST_FAILED.findall(out) if why.strip().startswith("Not Run")]
        failed_programs = [(n, why) for n, why in CTEST_FAILED.findall(out) if n not in not_run]
        # Cases of a parameterised test are named once, without their index.
        cases = sorted({re.sub(r"/\d+$", "", c) for c in FAILED_CASE.findall(out)})
        if t.returncode == 0:
            result["status"] = "no"
        elif not failed_programs and not cases:
            result["status"] = "n/a"
            result["failing"] = "tests did not run" + (f" (not built: {', '.join(not_run)})" if not_run else "")
        else:
            result["status"] = "yes"
            parts = list(cases)
            # A program that failed without a failed case crashed, hung or timed out.
            for name, why in failed_programs:
                if why.strip() != "Failed" or not cases:
                    parts.append(f"{name} ({why.strip()})")
            result["failing"] = ", ".join(parts)
    finally:
        path.write_bytes(original)
        if not git_clean(rel):
            raise Stop(f"{rel} could not be restored; check it with git diff")
        result["seconds"] = time.monotonic() - start
    return result


def write_table(results, out, started):
    caught = sum(r["status"] == "yes" for r in results)
    counted = sum(r["status"] in ("yes", "no") for r in results)
    lines = [f"Mutation score: {caught}/{counted} caught "
             f"({len(results)} run, {time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime(started))}, "
             f"{time.time() - started:.0f} s)", "",
             "| id | subsystem | fault | caught | failing tests | s |",
             "|---|---|---|---|---|---|"]
    for r in results:
        fault = r["fault"].replace("|", "\\|")
        failing = r["failing"].replace("|", "\\|")
        lines.append(f"| {r['id']} | {r['subsystem']} | {fault} | {r['status']} | {failing} | "
                     f"{r['seconds']:.0f} |")
    Path(out).write_text("\n".join(lines) + "\n", encoding="utf-8")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", default="build", help="configured build folder (default: build)")
    ap.add_argument("--only", default="", help="comma-separated mutation ids")
    ap.add_argument("--list", action="store_true", help="list the mutations and stale entries, run nothing")
    ap.add_argument("--out", help="markdown table to write (rewritten after every mutation)")
    ap.add_argument("--jobs", type=int, default=2, help="build and test jobs (default 2)")
    ap.add_argument("--timeout", type=int, default=300, help="seconds for the test run of one mutation (default 300)")
    args = ap.parse_args()

    ids = [m[0] for m in MUTATIONS]
    if len(set(ids)) != len(ids):
        sys.exit("duplicate mutation ids")
    chosen = MUTATIONS
    if args.only:
        wanted = [i.strip() for i in args.only.split(",") if i.strip()]
        unknown = [i for i in wanted if i not in ids]
        if unknown:
            sys.exit("unknown ids: " + ", ".join(unknown))
        by_id = {m[0]: m for m in MUTATIONS}
        chosen = [by_id[i] for i in dict.fromkeys(wanted)]  # in the order given

    if args.list:
        stale = 0
        for m in chosen:
            n = snippet_count(m)
            stale += n != 1
            mark = "" if n == 1 else f"   STALE: snippet found {n} times"
            print(f"{m[0]}  {m[1]:8}  {m[2]}: {m[5]}  [{m[6]}]{mark}")
        print(f"{len(chosen)} mutations, {stale} stale")
        return 1 if stale else 0

    if not args.out:
        sys.exit("--out FILE is needed (or --list)")
    build = Path(args.build)
    if not build.is_absolute():
        build = ROOT / build
    if not (build / "CMakeCache.txt").is_file():
        sys.exit(f"{build} is no configured build folder")
    signal.signal(signal.SIGTERM, on_signal)
    tests = ctest_tests(build)
    started = time.time()
    results = []
    log_path = Path(args.out).with_suffix(".log")
    with open(log_path, "w", encoding="utf-8") as log:
        try:
            for m in chosen:
                print(f"{m[0]} {m[5]} ...", end=" ", flush=True)
                r = run_mutation(m, build, tests, args.jobs, args.timeout, log)
                results.append(r)
                log.flush()
                print(f"{r['status']} {r['failing']} ({r['seconds']:.0f} s)", flush=True)
                write_table(results, args.out, started)
        except KeyboardInterrupt:
            print("\ninterrupted: the table holds the mutations run so far", file=sys.stderr)
        except Stop as e:
            print(f"\n{e}", file=sys.stderr)
            write_table(results, args.out, started)
            return 2
        finally:
            # The programs still hold the last mutation until they are built again.
            touched = sorted({tests[n] for m in chosen[:len(results) + 1] for n in tests
                              if tests[n] and re.search(m[6], n)})
            if touched:
                subprocess.run(["cmake", "--build", str(build), "-j", str(args.jobs), "--target", *touched],
                               stdout=log, stderr=log)
    write_table(results, args.out, started)
    caught = sum(r["status"] == "yes" for r in results)
    counted = sum(r["status"] in ("yes", "no") for r in results)
    print(f"score {caught}/{counted}; table in {args.out}, log in {log_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
