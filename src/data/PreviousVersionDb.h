// The database file of the previous program version, read through one interface
// whatever its kind:
//   - the Access file (Jet 4 ".MDB") that the previous version wrote, read page by page
//     with libmdb (its database password only guards opening in the original engine);
//   - an SQLCipher file keyed with the previous version's password.
// The kind is told by the file's first bytes. The import reads whole tables: the
// previous version's tables are small (at most a few thousand rows).
//
// Values are QVariants as in the database layer: null is an invalid QVariant; integer
// columns give int, text columns QString, date columns QDateTime, boolean columns bool,
// floating-point columns double.
#pragma once

#include "platform/database.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

namespace kvr {

// The rows of one table, in stored order.
struct PreviousTable {
    QStringList columns;
    QList<int> types; // db::AdoType of each column
    std::vector<QVariantList> rows;

    // Index of a column (case-insensitive, as the classic engine matches names); -1 when absent.
    int indexOf(const QString& column) const;
    // The value of a column in a row; invalid when the column is absent.
    QVariant value(int row, const QString& column) const;
};

class PreviousVersionDb {
public:
    enum class Kind { Access, SqlCipher };
    virtual ~PreviousVersionDb() = default;
    virtual Kind kind() const = 0;
    // The user tables of the file.
    virtual QStringList tables() = 0;
    // Every row of a table. Throws RuntimeError when the table is missing or a row
    // cannot be read.
    virtual PreviousTable readTable(const QString& table) = 0;
    // The SQLCipher connection (null for an Access file).
    virtual db::ConnectionPtr connection() const { return nullptr; }
};

// What the first bytes of a file say it is.
enum class PreviousFileKind {
    Missing,  // no such file, or a folder, or unreadable
    Access,   // "Standard Jet DB" / "Standard ACE DB" at offset 4
    Sqlite,   // plain (unkeyed) SQLite, which the previous version never wrote
    Encrypted // anything else: an SQLCipher file looks like random bytes
};
PreviousFileKind detectPreviousFileKind(const QString& path);

// Opens a previous-version file of either kind. Throws RuntimeError with a Japanese
// description when the file is missing, of neither kind, or not readable with the
// previous version's password.
std::shared_ptr<PreviousVersionDb> openPreviousVersionDb(const QString& path);

// Error numbers raised by the previous-version readers.
inline constexpr int kPreviousNotADatabase = 3343; // the classic "unrecognised database format"
inline constexpr int kPreviousTableMissing = 3078; // the classic "table not found"
inline constexpr int kPreviousRowUnreadable = 3049; // the classic "cannot open database / damaged"

// The Access reader on its own (used by openPreviousVersionDb for Access files).
std::shared_ptr<PreviousVersionDb> openAccessFile(const QString& path);

} // namespace kvr
