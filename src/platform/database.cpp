#include "database.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sqlcipher/sqlite3.h>

#include <atomic>
#include <cstring>
#include <deque>

namespace kvr::db {

namespace {

QString quoteIdent(const QString& name) {
    return "\"" + QString(name).replace("\"", "\"\"") + "\"";
}

// A value in the form it is stored: null, a 64-bit integer (booleans as 0/1), a
// double, or text (dates as "yyyy-MM-dd HH:mm:ss").
QVariant storedForm(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QVariant();
    switch (v.typeId()) {
    case QMetaType::Bool:
        return QVariant(qint64(v.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::UChar:
    case QMetaType::Char:
    case QMetaType::SChar:
        return QVariant(v.toLongLong());
    case QMetaType::Double:
        return v;
    case QMetaType::QDateTime:
        return dateToDb(v.toDateTime());
    case QMetaType::QDate:
        return dateToDb(v.toDate().startOfDay());
    default:
        return v.toString();
    }
}

QString sqlLiteral(const QVariant& value) {
    const QVariant v = storedForm(value);
    if (!v.isValid()) return "NULL";
    if (v.typeId() == QMetaType::LongLong) return QString::number(v.toLongLong());
    if (v.typeId() == QMetaType::Double) return QString::number(v.toDouble(), 'g', 17);
    return "'" + v.toString().replace("'", "''") + "'";
}

void bindValue(sqlite3_stmt* st, int i, const QVariant& value) {
    const QVariant v = storedForm(value);
    if (!v.isValid()) {
        sqlite3_bind_null(st, i);
    } else if (v.typeId() == QMetaType::LongLong) {
        sqlite3_bind_int64(st, i, v.toLongLong());
    } else if (v.typeId() == QMetaType::Double) {
        sqlite3_bind_double(st, i, v.toDouble());
    } else {
        const QByteArray t = v.toString().toUtf8();
        sqlite3_bind_text(st, i, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    }
}

// Converts a stored value to the QVariant type of its column.
QVariant readValue(sqlite3_stmt* st, int i, int adoType) {
    int t = sqlite3_column_type(st, i);
    if (t == SQLITE_NULL) return QVariant();
    switch (adoType) {
    case adSmallInt:
    case adInteger:
    case adUnsignedTinyInt:
        if (t == SQLITE_TEXT) {
            bool ok = false;
            int n = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i))).toInt(&ok);
            return ok ? QVariant(n)
                      : QVariant(
                            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i))));
        }
        return QVariant(int(sqlite3_column_int64(st, i)));
    case adBoolean:
        return QVariant(sqlite3_column_int64(st, i) != 0);
    case adDouble:
        return QVariant(sqlite3_column_double(st, i));
    case adDate: {
        if (t == SQLITE_TEXT) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            QDateTime dt = dateFromDb(text, sqlite3_column_bytes(st, i));
            return dt.isValid() ? QVariant(dt) : QVariant();
        }
        return QVariant();
    }
    default:
        break;
    }
    switch (t) {
    case SQLITE_INTEGER:
        return QVariant(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st, i));
    default:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                          sqlite3_column_bytes(st, i)));
    }
}

// Type of a result column: from its declared type when it comes straight from a
// table column, else from the storage class of the first value.
int columnAdoType(sqlite3_stmt* st, int i) {
    const char* decl = sqlite3_column_decltype(st, i);
    if (decl) return adoTypeOfDecl(QString::fromUtf8(decl));
    return -1;
}

// A statement borrowed from its connection's cache for one use: reset and given back
// when done, so that each SQL text is prepared once per connection.
class Statement {
public:
    Statement(const Connection& c, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    void bind(const QVariantList& params) {
        for (int i = 0; i < params.size(); ++i)
            bindValue(st_, i + 1, params[i]);
    }
    bool step() {
        int rc = sqlite3_step(st_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        conn_.raise(rc);
    }
    sqlite3_stmt* get() const { return st_; }

private:
    const Connection& conn_;
    sqlite3_stmt* st_ = nullptr;
};

} // namespace

struct Connection::StatementCache {
    struct Entry {
        QByteArray sql;
        sqlite3_stmt* st = nullptr;
        bool inUse = false;
    };
    static constexpr int kMaxFree = 48;
    std::vector<Entry> entries; // most recently used last
    std::vector<std::weak_ptr<Cursor>> cursors;

    sqlite3_stmt* acquire(const Connection& c, const QString& sql) {
        const QByteArray text = sql.toUtf8();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (!it->inUse && it->sql == text) {
                it->inUse = true;
                return it->st;
            }
        }
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v2(c.handle(), text.constData(), int(text.size()), &st, nullptr);
        if (rc != SQLITE_OK) c.raise(rc);
        entries.push_back({text, st, true});
        trim();
        return st;
    }
    void release(sqlite3_stmt* st) {
        sqlite3_reset(st);
        sqlite3_clear_bindings(st);
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->st == st) {
                Entry e = *it;
                e.inUse = false;
                entries.erase(it);
                entries.push_back(e);
                break;
            }
        }
        trim();
    }
    void trim() {
        int free = 0;
        for (const Entry& e : entries)
            free += e.inUse ? 0 : 1;
        for (auto it = entries.begin(); free > kMaxFree && it != entries.end();) {
            if (it->inUse) {
                ++it;
                continue;
            }
            sqlite3_finalize(it->st);
            it = entries.erase(it);
            --free;
        }
    }
    void finalizeAll() {
        for (const Entry& e : entries)
            sqlite3_finalize(e.st);
        entries.clear();
    }
};

namespace {

Statement::Statement(const Connection& c, const QString& sql) : conn_(c) {
    if (!c.isOpen()) throw RuntimeError(SQLITE_MISUSE, "database is closed");
    st_ = c.statementCache().acquire(c, sql);
}

Statement::~Statement() {
    if (st_ && conn_.isOpen()) conn_.statementCache().release(st_);
}

} // namespace

struct Connection::Cursor {
    std::unique_ptr<Statement> st;
    QList<int> types; // type of each result column (-1: from the stored value)
    std::deque<QVariantList> drained;

    QVariantList readRow() const {
        QVariantList values;
        values.reserve(types.size());
        for (int i = 0; i < types.size(); ++i)
            values << readValue(st->get(), i, types[i]);
        return values;
    }
    bool next(QVariantList& out) {
        if (!drained.empty()) {
            out = std::move(drained.front());
            drained.pop_front();
            return true;
        }
        if (!st) return false;
        if (!st->step()) {
            st.reset();
            return false;
        }
        out = readRow();
        return true;
    }
    // Reads the remaining rows into memory and gives the statement back.
    void drain() {
        while (st && st->step())
            drained.push_back(readRow());
        st.reset();
    }
};

namespace {} // namespace

QString describeError(int code, const QString& engineMessage) {
    QString text;
    switch (code & 0xFF) {
    case SQLITE_NOTADB:
        text = "データベースファイルを開けません。パスワードが違うか、ファイルが壊れています。";
        break;
    case SQLITE_CORRUPT:
        text = "データベースファイルが壊れています。";
        break;
    case SQLITE_CANTOPEN:
        text = "データベースファイルを開けません。ファイルまたはフォルダを確認してください。";
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        text = "データベースが他のプログラムで使用中です。";
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
        text = "データベースファイルに書き込めません。";
        break;
    case SQLITE_FULL:
        text = "ディスクの空き容量が不足しています。";
        break;
    case SQLITE_IOERR:
        text = "データベースファイルの読み書きに失敗しました。";
        break;
    default:
        return engineMessage;
    }
    return text + "\r\n(" + engineMessage + ")";
}

// ------------------------------------------------------------------ types

int adoTypeOfDecl(const QString& declaredType, int* size) {
    QString d = declaredType.trimmed().toUpper();
    int sz = 0;
    static const QRegularExpression sizeRe(R"(\((\d+)\))");
    auto m = sizeRe.match(d);
    if (m.hasMatch()) sz = m.captured(1).toInt();
    if (size) *size = sz;
    if (d.startsWith("VARCHAR") || d.startsWith("NVARCHAR") || d.startsWith("CHAR") ||
        (d.startsWith("TEXT") && sz > 0))
        return adVarWChar;
    if (d.startsWith("LONGTEXT") || d.startsWith("MEMO") || d == "TEXT") return adLongVarWChar;
    if (d.startsWith("SMALLINT") || d == "SHORT") return adSmallInt;
    if (d.startsWith("TINYINT") || d == "BYTE") return adUnsignedTinyInt;
    if (d.startsWith("INT") || d == "LONG") return adInteger;
    if (d.startsWith("DATE")) return adDate;
    if (d.startsWith("BIT") || d.startsWith("BOOL") || d == "YESNO") return adBoolean;
    if (d.startsWith("DOUBLE") || d.startsWith("REAL") || d.startsWith("FLOAT")) return adDouble;
    return adVarWChar;
}

QString declOfAdoType(int type, int size) {
    switch (type) {
    case adSmallInt:
        return "SMALLINT";
    case adInteger:
        return "INTEGER";
    case adDouble:
        return "DOUBLE";
    case adDate:
        return "DATETIME";
    case adBoolean:
        return "BIT";
    case adUnsignedTinyInt:
        return "TINYINT";
    case adLongVarWChar:
        return "LONGTEXT";
    default:
        return QString("VARCHAR(%1)").arg(size > 0 ? size : 255);
    }
}

QString dateToDb(const QDateTime& dt) {
    return dt.toString("yyyy-MM-dd HH:mm:ss");
}

namespace {

// Local times are converted through the C library's time zone, which re-reads the zone
// file at every conversion unless TZ names it. Naming the system's own zone file (the
// C library's and Qt's meaning of an unset TZ) makes the zone load once.
void settleLocalTimeZone() {
    static const bool settled = [] {
        if (qEnvironmentVariableIsEmpty("TZ") && QFileInfo::exists("/etc/localtime"))
            qputenv("TZ", ":/etc/localtime");
        return true;
    }();
    (void)settled;
}

int digits(const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return -1;
        v = v * 10 + (p[i] - '0');
    }
    return v;
}

// The stored form "yyyy-MM-dd HH:mm:ss" (or the date alone), read without a format parser.
bool parseStoredDate(const char* p, int length, QDateTime& out) {
    if (length != 19 && length != 10) return false;
    if (p[4] != '-' || p[7] != '-') return false;
    if (length == 19 && (p[10] != ' ' || p[13] != ':' || p[16] != ':')) return false;
    const int y = digits(p, 4), mo = digits(p + 5, 2), d = digits(p + 8, 2);
    const int h = length == 19 ? digits(p + 11, 2) : 0;
    const int mi = length == 19 ? digits(p + 14, 2) : 0;
    const int s = length == 19 ? digits(p + 17, 2) : 0;
    if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0) return false;
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid()) return false;
    settleLocalTimeZone();
    out = QDateTime(date, time);
    return true;
}

} // namespace

QDateTime dateFromDb(const char* text, int length) {
    QDateTime dt;
    if (parseStoredDate(text, length, dt)) return dt;
    return dateFromDb(QString::fromUtf8(text, length));
}

QDateTime dateFromDb(const QString& text) {
    QDateTime dt;
    if (text.size() == 19 || text.size() == 10) {
        const QByteArray latin = text.toLatin1();
        if (parseStoredDate(latin.constData(), int(latin.size()), dt)) return dt;
    }
    settleLocalTimeZone();
    dt = QDateTime::fromString(text, "yyyy-MM-dd HH:mm:ss");
    if (!dt.isValid()) dt = QDateTime::fromString(text, Qt::ISODate);
    if (!dt.isValid()) {
        QDate d = QDate::fromString(text.left(10), "yyyy-MM-dd");
        if (d.isValid()) dt = d.startOfDay();
    }
    return dt;
}

// ------------------------------------------------------------------ connection

namespace {
std::atomic<int> gOpenCount{0};
}

int Connection::openCount() {
    return gOpenCount;
}

Connection::Connection() : cache_(std::make_unique<StatementCache>()) {}

namespace {

qint64 fileSize(const QString& path) {
    QFileInfo fi(path);
    return fi.exists() ? fi.size() : -1;
}

// The page size recorded in the header of a rollback journal that is waiting to be
// played back (0 when there is none). It must be played back with that page size.
int hotJournalPageSize(const QString& path) {
    QFile j(path + "-journal");
    if (!j.open(QIODevice::ReadOnly)) return 0;
    const QByteArray h = j.read(28);
    if (h.size() < 28) return 0;
    static const unsigned char magic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
    if (memcmp(h.constData(), magic, 8) != 0) return 0;
    const auto* u = reinterpret_cast<const unsigned char*>(h.constData()) + 24;
    const int size = int((u[0] << 24) | (u[1] << 16) | (u[2] << 8) | u[3]);
    return size == 1024 || size == 4096 ? size : 0;
}

} // namespace

std::shared_ptr<Connection> Connection::openFile(const QString& path, const QString& password, Mode mode) {
    settleLocalTimeZone();
    if (mode == Mode::Create) return openWithPageSize(path, password, mode, kNewDatabasePageSize);
    if (mode == Mode::Read && fileSize(path + "-journal") > 0)
        throw RuntimeError(SQLITE_BUSY, describeError(SQLITE_BUSY, "database is in use or was interrupted: " + path));
    // Files made by this program have 4 KiB pages; files of older versions 1 KiB pages.
    // The page size is not readable without the key: a file whose size is no multiple of
    // 4 KiB has small pages, any other is tried with large pages first.
    const int journalPages = hotJournalPageSize(path);
    if (journalPages) return openWithPageSize(path, password, mode, journalPages);
    const qint64 size = fileSize(path);
    if (size > 0 && size % kNewDatabasePageSize == 0) {
        try {
            return openWithPageSize(path, password, mode, kNewDatabasePageSize);
        } catch (const RuntimeError& e) {
            if ((e.number & 0xFF) != SQLITE_NOTADB) throw;
        }
    }
    return openWithPageSize(path, password, mode, 1024);
}

std::shared_ptr<Connection> Connection::openWithPageSize(const QString& path, const QString& password, Mode mode,
                                                         int pageSize) {
    ++gOpenCount;
    std::shared_ptr<Connection> c(new Connection());
    c->path_ = path;
    const bool create = mode == Mode::Create;
    if (create && QFileInfo::exists(path)) throw RuntimeError(SQLITE_CANTOPEN, "file exists: " + path);
    QByteArray p = QFileInfo(path).absoluteFilePath().toUtf8();
    const int flags = mode == Mode::Read ? SQLITE_OPEN_READONLY
                                         : SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    int rc = sqlite3_open_v2(p.constData(), &c->db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        QString msg = c->db_ ? QString::fromUtf8(sqlite3_errmsg(c->db_)) : QString("out of memory");
        sqlite3_close(c->db_);
        c->db_ = nullptr;
        throw RuntimeError(rc, describeError(rc, msg + ": " + path));
    }
    QByteArray key = password.toUtf8();
    sqlite3_key(c->db_, key.constData(), int(key.size()));
    const QByteArray pragma = "PRAGMA cipher_page_size=" + QByteArray::number(pageSize);
    sqlite3_exec(c->db_, pragma.constData(), nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(c->db_, 2000);

    // Reading the schema proves the key: a wrong key or a damaged file fails here.
    try {
        c->scalar("SELECT count(*) FROM sqlite_master");
    } catch (...) {
        c->close();
        throw;
    }
    if (mode == Mode::Read) return c;
    // A truncated (not deleted) rollback journal keeps every commit all-or-nothing and
    // durable while sparing the folder sync of each commit. 8 MiB of page cache holds the
    // examination table's indexes of a large member database.
    sqlite3_exec(c->db_, "PRAGMA journal_mode=TRUNCATE", nullptr, nullptr, nullptr);
    sqlite3_exec(c->db_, "PRAGMA cache_size=-8192", nullptr, nullptr, nullptr);
    return c;
}

std::shared_ptr<Connection> Connection::open(const QString& path, const QString& password) {
    return openFile(path, password, Mode::Write);
}

std::shared_ptr<Connection> Connection::create(const QString& path, const QString& password) {
    return openFile(path, password, Mode::Create);
}

std::shared_ptr<Connection> Connection::openReadOnly(const QString& path, const QString& password) {
    return openFile(path, password, Mode::Read);
}

Connection::~Connection() {
    close();
}

void Connection::close() {
    if (!db_) return;
    // Read recordsets still stepping keep their remaining rows.
    for (const std::weak_ptr<Cursor>& w : cache_->cursors)
        if (auto cursor = w.lock()) {
            try {
                cursor->drain();
            } catch (const RuntimeError&) {
                cursor->st.reset();
            }
        }
    cache_->cursors.clear();
    cache_->finalizeAll();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void Connection::raise(int code) const {
    QString msg = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QString("database is closed");
    throw RuntimeError(code, describeError(code, msg));
}

int Connection::execute(const QString& sql, const QVariantList& params) {
    if (!db_) throw RuntimeError(SQLITE_MISUSE, "database is closed");
    Statement st(*this, sql);
    st.bind(params);
    while (st.step()) {
    }
    return sqlite3_changes(db_);
}

QVariant Connection::scalar(const QString& sql, const QVariantList& params) {
    if (!db_) throw RuntimeError(SQLITE_MISUSE, "database is closed");
    Statement st(*this, sql);
    st.bind(params);
    if (!st.step()) return QVariant();
    return readValue(st.get(), 0, columnAdoType(st.get(), 0));
}

void Connection::beginTransaction() {
    execute("BEGIN IMMEDIATE");
}
void Connection::commit() {
    execute("COMMIT");
}
void Connection::rollback() {
    if (inTransaction()) execute("ROLLBACK");
}
bool Connection::inTransaction() const {
    return db_ && sqlite3_get_autocommit(db_) == 0;
}

bool Connection::tableExists(const QString& table) {
    return scalar("SELECT count(*) FROM sqlite_master WHERE type='table' AND lower(name)=lower(?)", {table})
               .toInt() > 0;
}

QStringList Connection::tables() {
    QStringList out;
    Statement st(*this, "SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' "
                        "ORDER BY name");
    while (st.step())
        out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 0)));
    return out;
}

QList<ColumnInfo> Connection::columns(const QString& table) {
    QList<ColumnInfo> out;
    Statement st(*this, "PRAGMA table_info(" + quoteIdent(table) + ")");
    while (st.step()) {
        ColumnInfo c;
        c.name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 1)));
        const char* decl = reinterpret_cast<const char*>(sqlite3_column_text(st.get(), 2));
        c.declaredType = decl ? QString::fromUtf8(decl) : QString();
        c.type = adoTypeOfDecl(c.declaredType, &c.size);
        out << c;
    }
    return out;
}

void Connection::createTable(const TableDef& def) {
    QStringList parts;
    for (const ColumnDef& c : def.columns) {
        QString p = quoteIdent(c.name) + " " + declOfAdoType(c.type, c.size);
        if (c.defaultValue.isValid()) p += " DEFAULT " + sqlLiteral(c.defaultValue);
        parts << p;
    }
    if (!def.primaryKey.isEmpty())
        parts << "CONSTRAINT PrimaryKey PRIMARY KEY (" + quoteIdent(def.primaryKey) + ")";
    execute("CREATE TABLE " + quoteIdent(def.name) + " (" + parts.join(", ") + ")");
}

void Connection::dropTable(const QString& table) {
    execute("DROP TABLE " + quoteIdent(table));
}

// ------------------------------------------------------------------ recordset

Recordset::Recordset(ConnectionPtr conn, const QString& sql, const QVariantList& params, OpenMode mode) {
    open(std::move(conn), sql, params, mode);
}

void Recordset::open(ConnectionPtr conn, const QString& sql, const QVariantList& params, OpenMode mode) {
    close();
    if (!conn || !conn->isOpen()) throw RuntimeError(SQLITE_MISUSE, "database is closed");
    conn_ = std::move(conn);
    mode_ = mode;
    QString query = sql;
    if (mode == OpenMode::Write) {
        static const QRegularExpression re(R"re(^\s*SELECT\s+\*\s+FROM\s+\[?"?(\w+)"?\]?(.*)$)re",
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
        auto m = re.match(sql);
        if (!m.hasMatch()) throw RuntimeError(SQLITE_MISUSE, "not an updatable query: " + sql);
        table_ = m.captured(1);
        query = "SELECT rowid AS __rowid__, * FROM " + quoteIdent(table_) + m.captured(2);
    }
    auto st = std::make_unique<Statement>(*conn_, query);
    st->bind(params);
    sqlite3_stmt* s = st->get();
    int n = sqlite3_column_count(s);
    int first = mode == OpenMode::Write ? 1 : 0;
    QList<int> rawTypes;
    for (int i = first; i < n; ++i) {
        names_ << QString::fromUtf8(sqlite3_column_name(s, i));
        rawTypes << columnAdoType(s, i);
    }
    types_ = rawTypes;
    for (int i = 0; i < names_.size(); ++i) {
        index_.insert(names_[i].toLower(), i);
        exactIndex_.insert(names_[i], i);
    }
    // Computed columns have no declared type: it is taken from the first value.
    auto inferTypes = [this](const QVariantList& values) {
        for (int i = 0; i < types_.size() && i < values.size(); ++i) {
            if (types_[i] >= 0 || !values[i].isValid()) continue;
            const int t = values[i].typeId();
            types_[i] = t == QMetaType::LongLong ? adInteger : t == QMetaType::Double ? adDouble : adVarWChar;
        }
    };
    if (mode == OpenMode::Read) {
        sql_ = sql;
        params_ = params;
        cursor_ = std::make_shared<Connection::Cursor>();
        cursor_->st = std::move(st);
        cursor_->types = rawTypes;
        auto& cursors = conn_->statementCache().cursors;
        std::erase_if(cursors, [](const std::weak_ptr<Connection::Cursor>& w) { return w.expired(); });
        cursors.push_back(cursor_);
        fetchRow();
        if (!rows_.empty()) inferTypes(rows_.front().values);
    } else {
        bool typesKnown = false;
        while (st->step()) {
            Row r;
            r.rowid = sqlite3_column_int64(s, 0);
            for (int i = first; i < n; ++i)
                r.values << readValue(s, i, rawTypes[i - first]);
            if (!typesKnown) inferTypes(r.values);
            typesKnown = true;
            for (int i = 0; i < r.values.size(); ++i)
                r.dirty << false;
            rows_.push_back(std::move(r));
        }
    }
    for (int& t : types_)
        if (t < 0) t = adVarWChar;
    pos_ = 0;
    passed_ = 0;
    open_ = true;
}

void Recordset::fetchRow() {
    rows_.clear();
    pos_ = 0;
    QVariantList values;
    if (!cursor_ || !cursor_->next(values)) return;
    Row r;
    r.values = std::move(values);
    rows_.push_back(std::move(r));
}

int Recordset::recordCount() const {
    if (!open_) return 0;
    if (mode_ == OpenMode::Write) return int(rows_.size());
    if (cursor_) cursor_->drain();
    return passed_ + int(rows_.size()) + (cursor_ ? int(cursor_->drained.size()) : 0);
}

void Recordset::close() {
    open_ = false;
    cursor_.reset(); // before the connection: its statement goes back to the connection
    rows_.clear();
    names_.clear();
    types_.clear();
    index_.clear();
    exactIndex_.clear();
    table_.clear();
    sql_.clear();
    params_.clear();
    pos_ = 0;
    passed_ = 0;
    conn_.reset();
}

bool Recordset::eof() const {
    return pos_ >= int(rows_.size());
}

void Recordset::moveNext() {
    if (eof()) throw RuntimeError(3021, "Either BOF or EOF is True, or the current record has been deleted.");
    if (mode_ == OpenMode::Read) {
        ++passed_;
        fetchRow();
        return;
    }
    ++pos_;
}

void Recordset::moveFirst() {
    if (mode_ == OpenMode::Read && open_ && passed_ > 0) {
        // A forward-only result is read again from its start.
        ConnectionPtr conn = conn_;
        const QString sql = sql_;
        const QVariantList params = params_;
        open(conn, sql, params, OpenMode::Read);
        return;
    }
    pos_ = 0;
}

int Recordset::indexOf(const QString& name) const {
    auto exact = exactIndex_.find(name);
    if (exact != exactIndex_.end()) return exact.value();
    auto it = index_.find(name.toLower());
    if (it == index_.end()) throw RuntimeError(3265, "Item cannot be found in the collection: " + name);
    return it.value();
}

bool Recordset::hasField(const QString& name) const {
    return index_.contains(name.toLower());
}

int Recordset::fieldType(const QString& name) const {
    return types_[indexOf(name)];
}

void Recordset::requireRow() const {
    if (!open_) throw RuntimeError(3704, "Operation is not allowed when the object is closed.");
    if (eof() || rows_[pos_].deleted)
        throw RuntimeError(3021, "Either BOF or EOF is True, or the current record has been deleted.");
}

void Recordset::requireWrite() const {
    if (mode_ != OpenMode::Write) throw RuntimeError(3251, "Current Recordset does not support updating.");
}

QVariant Recordset::value(const QString& name) const {
    int i = indexOf(name);
    requireRow();
    return rows_[pos_].values[i];
}

QVariant Recordset::value(int i) const {
    requireRow();
    return rows_[pos_].values.value(i);
}

void Recordset::setValue(const QString& name, const QVariant& value) {
    requireWrite();
    int i = indexOf(name);
    requireRow();
    Row& r = rows_[pos_];
    QVariant v = value;
    // Store in the column's own type so that reading back gives the same value.
    if (v.isValid() && !v.isNull()) {
        switch (types_[i]) {
        case adSmallInt:
        case adInteger:
        case adUnsignedTinyInt:
            if (v.typeId() == QMetaType::Bool)
                v = v.toBool() ? -1 : 0;
            else
                v = QVariant(int(v.toLongLong()));
            break;
        case adBoolean:
            v = QVariant(v.toBool());
            break;
        case adDouble:
            v = QVariant(v.toDouble());
            break;
        case adDate:
            if (v.typeId() == QMetaType::QDate)
                v = v.toDate().startOfDay();
            else if (v.typeId() == QMetaType::QString)
                v = dateFromDb(v.toString());
            break;
        default:
            if (v.typeId() != QMetaType::QString) v = v.toString();
        }
    }
    r.values[i] = v;
    r.dirty[i] = true;
}

void Recordset::addNew() {
    requireWrite();
    if (!open_) throw RuntimeError(3704, "Operation is not allowed when the object is closed.");
    Row r;
    r.isNew = true;
    for (int i = 0; i < names_.size(); ++i) {
        r.values << QVariant();
        r.dirty << false;
    }
    rows_.push_back(std::move(r));
    pos_ = int(rows_.size()) - 1;
}

void Recordset::reloadRow(Row& row) {
    Statement st(*conn_, "SELECT * FROM " + quoteIdent(table_) + " WHERE rowid=?");
    st.bind({row.rowid});
    if (!st.step()) return;
    int n = sqlite3_column_count(st.get());
    for (int i = 0; i < n && i < row.values.size(); ++i)
        row.values[i] = readValue(st.get(), i, types_[i]);
}

void Recordset::update() {
    requireWrite();
    requireRow();
    Row& r = rows_[pos_];
    QStringList cols;
    QVariantList params;
    for (int i = 0; i < names_.size(); ++i) {
        if (!r.dirty[i]) continue;
        cols << quoteIdent(names_[i]);
        params << r.values[i];
    }
    if (r.isNew) {
        QStringList marks;
        for (int i = 0; i < cols.size(); ++i)
            marks << "?";
        QString sql = cols.isEmpty() ? "INSERT INTO " + quoteIdent(table_) + " DEFAULT VALUES"
                                     : "INSERT INTO " + quoteIdent(table_) + " (" + cols.join(",") +
                                           ") VALUES (" + marks.join(",") + ")";
        conn_->execute(sql, params);
        r.rowid = sqlite3_last_insert_rowid(conn_->handle());
        r.isNew = false;
        reloadRow(r);
    } else if (!cols.isEmpty()) {
        QStringList sets;
        for (const QString& c : cols)
            sets << c + "=?";
        params << r.rowid;
        conn_->execute("UPDATE " + quoteIdent(table_) + " SET " + sets.join(",") + " WHERE rowid=?", params);
    }
    for (bool& d : r.dirty)
        d = false;
}

void Recordset::deleteRow() {
    requireWrite();
    requireRow();
    Row& r = rows_[pos_];
    if (!r.isNew) conn_->execute("DELETE FROM " + quoteIdent(table_) + " WHERE rowid=?", {r.rowid});
    // As with the classic recordset, the cursor stays on the deleted row until moveNext().
    r.deleted = true;
}

} // namespace kvr::db
