// Database layer over SQLCipher: an encrypted connection, recordsets opened for
// reading or for changing rows, typed field values, and a small schema catalogue.
//
// Every database file of the program is an SQLCipher file keyed with a password.
// Errors are raised as kvr::RuntimeError (SQLite's error code and message) and are
// trapped by the routine that handles them.
//
// Values are QVariants: null is an invalid QVariant; 32-, 16- and 8-bit columns
// give int, text columns QString, date columns QDateTime, boolean columns bool and
// double columns double. Dates are stored as text "yyyy-MM-dd hh:mm:ss", so that
// ordering and equality by date work in SQL; bind QDate/QDateTime parameters and
// they are written in the same form.
#pragma once

#include "platform/runtime_error.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

struct sqlite3;

namespace kvr::db {

// Column type numbers as reported by the classic data-access layer.
enum AdoType {
    adSmallInt = 2,
    adInteger = 3,
    adDouble = 5,
    adDate = 7,
    adBoolean = 11,
    adUnsignedTinyInt = 17,
    adVarWChar = 202,
    adLongVarWChar = 203,
};

struct ColumnDef {
    QString name;
    int type = adInteger;  // AdoType
    int size = 0;          // characters, for adVarWChar
    QVariant defaultValue; // invalid: no default
};

struct TableDef {
    QString name;
    QList<ColumnDef> columns;
    QString primaryKey; // column of the primary-key index "PrimaryKey"; empty: none
};

struct ColumnInfo {
    QString name;
    int type = adVarWChar;
    int size = 0;
    QString declaredType;
};

// Maps a declared SQL type to its type number, and back.
int adoTypeOfDecl(const QString& declaredType, int* size = nullptr);
QString declOfAdoType(int type, int size);

// The description of an engine error: a Japanese sentence for the errors a user can
// meet (wrong password or damaged file, missing file, file in use, read-only file, full
// disk, I/O error) followed by the engine's own message in brackets.
QString describeError(int code, const QString& engineMessage);

// Text form of dates in the database. Dates are local times.
QString dateToDb(const QDateTime& dt);
QDateTime dateFromDb(const QString& text);
QDateTime dateFromDb(const char* text, int length);

// Page size of the database files this program creates (bytes).
inline constexpr int kNewDatabasePageSize = 4096;

class Connection {
public:
    // Opens an existing keyed database file (no file is created). Throws RuntimeError
    // for a missing file, a wrong password or a damaged file.
    static std::shared_ptr<Connection> open(const QString& path, const QString& password);
    // Creates a new keyed database file (fails when it exists).
    static std::shared_ptr<Connection> create(const QString& path, const QString& password);
    // Opens an existing keyed database file that is only read (a backup or another
    // program's file): nothing is ever written into it or beside it. A file with a
    // rollback journal beside it (an interrupted change) is refused, since reading it
    // without playing the journal back would show a half-made change.
    static std::shared_ptr<Connection> openReadOnly(const QString& path, const QString& password);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void close();
    // How many database files were opened so far (each open costs a key derivation).
    static int openCount();
    bool isOpen() const { return db_ != nullptr; }
    QString path() const { return path_; }
    sqlite3* handle() const { return db_; }

    // Runs a statement that returns no rows; returns the number of changed rows.
    int execute(const QString& sql, const QVariantList& params = {});
    // Runs a query and returns the first column of the first row (invalid when none).
    QVariant scalar(const QString& sql, const QVariantList& params = {});

    void beginTransaction();
    void commit();
    void rollback();
    bool inTransaction() const;

    // Schema catalogue.
    bool tableExists(const QString& table);
    QStringList tables();
    QList<ColumnInfo> columns(const QString& table);
    void createTable(const TableDef& def);
    void dropTable(const QString& table);

    // Raises the last error of the connection as a RuntimeError.
    [[noreturn]] void raise(int code) const;

    // Prepared statements kept for reuse (a statement is prepared once per connection).
    struct StatementCache;
    StatementCache& statementCache() const { return *cache_; }
    // A read recordset still stepping through its result.
    struct Cursor;

private:
    friend class Recordset;
    Connection();
    enum class Mode { Write, Create, Read };
    static std::shared_ptr<Connection> openFile(const QString& path, const QString& password, Mode mode);
    static std::shared_ptr<Connection> openWithPageSize(const QString& path, const QString& password, Mode mode,
                                                        int pageSize);
    sqlite3* db_ = nullptr;
    QString path_;
    std::unique_ptr<StatementCache> cache_;
};

using ConnectionPtr = std::shared_ptr<Connection>;

enum class OpenMode {
    Read,  // forward-only, read-only
    Write, // rows can be added, changed and deleted (the query must be "SELECT * FROM table ...")
};

// A read recordset steps through its result as it moves (only the current row is held);
// a write recordset holds every row with its rowid.
class Recordset {
public:
    Recordset() = default;
    Recordset(ConnectionPtr conn, const QString& sql, const QVariantList& params = {},
              OpenMode mode = OpenMode::Read);
    void open(ConnectionPtr conn, const QString& sql, const QVariantList& params = {},
              OpenMode mode = OpenMode::Read);
    void close();
    // How many database files were opened so far (each open costs a key derivation).
    static int openCount();
    bool isOpen() const { return open_; }

    bool eof() const;
    void moveNext();
    void moveFirst();
    // Number of rows of the result (a read recordset reads its remaining rows for it).
    int recordCount() const;

    // Columns of the result.
    int fieldCount() const { return int(names_.size()); }
    QString fieldName(int i) const { return names_[i]; }
    bool hasField(const QString& name) const;
    int fieldType(const QString& name) const; // AdoType

    // Value of a column of the current row; throws for an unknown column or at EOF.
    QVariant value(const QString& name) const;
    QVariant value(int i) const;
    // Assigns a column of the current row (write mode); written by update().
    void setValue(const QString& name, const QVariant& value);

    // Starts a new row (write mode); the recordset is positioned on it.
    void addNew();
    // Writes the current row's assigned values (a new row is inserted).
    void update();
    // Deletes the current row.
    void deleteRow();

private:
    struct Row {
        qint64 rowid = 0;
        QVariantList values;
        QList<bool> dirty;
        bool isNew = false;
        bool deleted = false;
    };
    int indexOf(const QString& name) const;
    void requireRow() const;
    void requireWrite() const;
    void reloadRow(Row& row);
    void fetchRow(); // read mode: the next row of the cursor becomes the current row

    ConnectionPtr conn_;
    std::shared_ptr<Connection::Cursor> cursor_; // read mode
    QString sql_;
    QVariantList params_;
    int passed_ = 0; // read mode: rows already left behind
    QString table_;
    OpenMode mode_ = OpenMode::Read;
    bool open_ = false;
    QStringList names_;
    QList<int> types_;
    QHash<QString, int> index_;      // by lower-case name
    QHash<QString, int> exactIndex_; // by the name as the result spells it
    std::vector<Row> rows_;
    int pos_ = 0;
};

} // namespace kvr::db
