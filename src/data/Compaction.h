// Compaction of the member database.
//
// The member database is copied, keyed with the program password, into "VQCP.MDB"
// beside it by the engine's own export, which writes every table and index afresh
// (no free pages, no fragmentation). The copy is flushed to disk, opened with the key
// and checked (integrity check, same tables as the original), and only then renamed
// over the member database: at every instant the member database is either the old
// file or the complete compacted one.
#pragma once

#include <QString>

#include <functional>

namespace kvr {

// The temporary file of the compaction: MemberFolder + "/VQCP.MDB".
QString CompactionTempPath();

// One compaction attempt of the member database. The member slot is closed during the
// attempt and reopened afterwards as it was. An error shows the "最適化エラー" box and
// gives false; the member database then stays as it was.
bool CompactMemberDb();

// The work of one attempt, without boxes: compacts database into temp (a stale temp is
// removed first), checks and flushes it, runs beforeReplace, and renames it over
// database. Throws RuntimeError.
void CompactDatabaseFile(const QString& database, const QString& temp,
                         const std::function<void()>& beforeReplace = {});

// Opens path with the program's key and runs the integrity check; throws RuntimeError
// (SQLite's error number, a Japanese description) when the file fails.
void CheckDatabaseIntegrity(const QString& path);

} // namespace kvr
