// Reading Access (Jet) files with libmdb.
//
// libmdb walks the table's data pages itself; no engine and no password is involved.
// Text: Jet 4 stores UCS-2, often "compressed" (one byte per character while the high
// byte is 0, toggled by a 0 byte); libmdb expands both forms and converts them through
// iconv into the target character set, which must be UTF-8 here. Jet 3 files store text
// in the code page of the machine that wrote them, which for the previous version's
// users is Windows code page 932 (Shift_JIS).
//
// Dates: Jet stores a double, days since 1899-12-30 with the time of day as the
// fraction (for days before 1899-12-30 the fraction still counts forward from
// midnight). libmdb's own text form of dates fails outside 1900-9999, so the raw value
// is converted here.

// glib must come before mdbtools.h, which includes it inside its extern "C" block.
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include "PreviousVersionDb.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstring>

namespace kvr {

namespace {

int adoTypeOfMdb(int mdbType) {
    switch (mdbType) {
    case MDB_BOOL:
        return db::adBoolean;
    case MDB_BYTE:
        return db::adUnsignedTinyInt;
    case MDB_INT:
        return db::adSmallInt;
    case MDB_LONGINT:
        return db::adInteger;
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_NUMERIC:
        return db::adDouble;
    case MDB_DATETIME:
        return db::adDate;
    case MDB_MEMO:
        return db::adLongVarWChar;
    default: // text, and binary/OLE/replication-id columns as their text form
        return db::adVarWChar;
    }
}

// Whole-second precision, as the classic engine shows dates.
QDateTime dateOfJetDouble(double v) {
    if (!std::isfinite(v)) return {};
    const double whole = std::trunc(v);
    const double fraction = std::fabs(v - whole);
    const qint64 seconds = std::llround(fraction * 86400.0);
    return QDateTime(QDate(1899, 12, 30).addDays(qint64(whole)), QTime(0, 0)).addSecs(seconds);
}

class AccessFile final : public PreviousVersionDb {
public:
    explicit AccessFile(const QString& path) : path_(path) {
        // libmdb reads its text settings from the environment when it opens a file.
        if (qEnvironmentVariableIsSet("MDBICONV")) qunsetenv("MDBICONV");
        if (!qEnvironmentVariableIsSet("MDB_JET3_CHARSET")) qputenv("MDB_JET3_CHARSET", "CP932");
        mdb_ = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
        if (!mdb_)
            throw RuntimeError(kPreviousNotADatabase,
                               "Access形式のデータベースファイルとして読み込めません。\r\n(" + path + ")");
        mdb_set_bind_size(mdb_, kBindSize);
        mdb_set_boolean_fmt_numbers(mdb_);
        if (!mdb_read_catalog(mdb_, MDB_TABLE)) {
            mdb_close(mdb_);
            mdb_ = nullptr;
            throw RuntimeError(kPreviousNotADatabase,
                               "Access形式のデータベースファイルの目次が読み込めません。\r\n(" + path + ")");
        }
    }
    ~AccessFile() override {
        if (mdb_) mdb_close(mdb_);
    }
    AccessFile(const AccessFile&) = delete;
    AccessFile& operator=(const AccessFile&) = delete;

    Kind kind() const override { return Kind::Access; }

    QStringList tables() override {
        QStringList names;
        for (MdbCatalogEntry* e : userTables())
            names << QString::fromUtf8(e->object_name);
        return names;
    }

    PreviousTable readTable(const QString& name) override {
        MdbCatalogEntry* entry = nullptr;
        for (MdbCatalogEntry* e : userTables())
            if (QString::fromUtf8(e->object_name).compare(name, Qt::CaseInsensitive) == 0) entry = e;
        if (!entry)
            throw RuntimeError(kPreviousTableMissing, "テーブル " + name + " が見つかりません。\r\n(" + path_ + ")");
        MdbTableDef* table = mdb_read_table(entry);
        if (!table || !mdb_read_columns(table)) {
            if (table) mdb_free_tabledef(table);
            throw RuntimeError(kPreviousRowUnreadable, "テーブル " + name + " の定義が読み込めません。");
        }
        PreviousTable out;
        const int n = int(table->num_cols);
        const size_t count = table->num_cols;
        std::vector<std::vector<char>> buffers(count, std::vector<char>(kBindSize));
        std::vector<int> lengths(count, 0);
        std::vector<MdbColumn*> cols(count, nullptr);
        for (int i = 0; i < n; ++i) {
            cols[size_t(i)] = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, guint(i)));
            out.columns << QString::fromUtf8(cols[size_t(i)]->name);
            out.types << adoTypeOfMdb(cols[size_t(i)]->col_type);
            mdb_bind_column(table, i + 1, buffers[size_t(i)].data(), &lengths[size_t(i)]);
        }
        mdb_rewind_table(table);
        while (mdb_fetch_row(table)) {
            QVariantList row;
            row.reserve(n);
            for (int i = 0; i < n; ++i)
                row << valueOf(cols[size_t(i)], buffers[size_t(i)].data(), lengths[size_t(i)]);
            out.rows.push_back(std::move(row));
        }
        const unsigned expected = table->num_rows;
        mdb_free_tabledef(table);
        // The table's header counts its rows: fewer rows found means pages that could not be read.
        if (out.rows.size() < expected)
            throw RuntimeError(kPreviousRowUnreadable, "テーブル " + name + " の行が読み込めません（" +
                                                           QString::number(out.rows.size()) + " / " +
                                                           QString::number(expected) + " 行）。");
        return out;
    }

private:
    static constexpr size_t kBindSize = 256 * 1024;

    std::vector<MdbCatalogEntry*> userTables() const {
        std::vector<MdbCatalogEntry*> out;
        for (guint i = 0; i < mdb_->num_catalog; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (e->object_type == MDB_TABLE && !mdb_is_system_table(e)) out.push_back(e);
        }
        return out;
    }

    QVariant valueOf(const MdbColumn* col, const char* text, int length) const {
        if (col->col_type == MDB_BOOL) return QVariant(text[0] == '1');
        if (col->col_type == MDB_TEXT || col->col_type == MDB_MEMO)
            return QString::fromUtf8(text, length > 0 ? length : qsizetype(std::strlen(text)));
        if (col->cur_value_len == 0) return {}; // Null
        // Fixed-size values straight from the page (libmdb's text form depends on the locale).
        unsigned char* page = mdb_->pg_buf;
        const int at = col->cur_value_start;
        switch (col->col_type) {
        case MDB_BYTE:
            return int(mdb_get_byte(page, at));
        case MDB_INT:
            return int(qint16(mdb_get_int16(page, at)));
        case MDB_LONGINT:
            return int(qint32(mdb_get_int32(page, at)));
        case MDB_FLOAT:
            return double(mdb_get_single(page, at));
        case MDB_DOUBLE:
            return mdb_get_double(page, at);
        case MDB_MONEY: // a 64-bit integer in units of 1/10000
            return double(qint64(quint32(mdb_get_int32(page, at))) |
                          (qint64(mdb_get_int32(page, at + 4)) << 32)) /
                   10000.0;
        case MDB_NUMERIC:
            return QString::fromUtf8(text).toDouble();
        case MDB_DATETIME:
            return dateOfJetDouble(mdb_get_double(page, at));
        default:
            return QString::fromUtf8(text);
        }
    }

    QString path_;
    MdbHandle* mdb_ = nullptr;
};

} // namespace

std::shared_ptr<PreviousVersionDb> openAccessFile(const QString& path) {
    if (!QFileInfo(path).isFile())
        throw RuntimeError(kPreviousNotADatabase, "ファイルが見つかりません。\r\n(" + path + ")");
    return std::make_shared<AccessFile>(path);
}

} // namespace kvr
