#include "PreviousVersionDb.h"

#include "platform/passwords.h"

#include <QFile>
#include <QFileInfo>

namespace kvr {

int PreviousTable::indexOf(const QString& column) const {
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(column, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QVariant PreviousTable::value(int row, const QString& column) const {
    const int i = indexOf(column);
    return i < 0 ? QVariant() : rows[size_t(row)][i];
}

PreviousFileKind detectPreviousFileKind(const QString& path) {
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly)) return PreviousFileKind::Missing;
    const QByteArray head = f.read(32);
    if (head.size() >= 19 && (head.mid(4, 15) == "Standard Jet DB" || head.mid(4, 15) == "Standard ACE DB"))
        return PreviousFileKind::Access;
    if (head.startsWith(QByteArray("SQLite format 3\0", 16))) return PreviousFileKind::Sqlite;
    return PreviousFileKind::Encrypted;
}

namespace {

class SqlCipherFile final : public PreviousVersionDb {
public:
    explicit SqlCipherFile(db::ConnectionPtr conn) : conn_(std::move(conn)) {}
    Kind kind() const override { return Kind::SqlCipher; }
    QStringList tables() override { return conn_->tables(); }
    PreviousTable readTable(const QString& name) override {
        QString stored;
        for (const QString& t : conn_->tables())
            if (t.compare(name, Qt::CaseInsensitive) == 0) stored = t;
        if (stored.isEmpty())
            throw RuntimeError(kPreviousTableMissing, "テーブル " + name + " が見つかりません。\r\n(" +
                                                          conn_->path() + ")");
        PreviousTable out;
        db::Recordset rs(conn_, "SELECT * FROM \"" + stored + "\"");
        for (int i = 0; i < rs.fieldCount(); ++i) {
            out.columns << rs.fieldName(i);
            out.types << rs.fieldType(rs.fieldName(i));
        }
        out.rows.reserve(size_t(rs.recordCount()));
        for (; !rs.eof(); rs.moveNext()) {
            QVariantList row;
            row.reserve(rs.fieldCount());
            for (int i = 0; i < rs.fieldCount(); ++i)
                row << rs.value(i);
            out.rows.push_back(std::move(row));
        }
        return out;
    }
    db::ConnectionPtr connection() const override { return conn_; }

private:
    db::ConnectionPtr conn_;
};

} // namespace

std::shared_ptr<PreviousVersionDb> openPreviousVersionDb(const QString& path) {
    switch (detectPreviousFileKind(path)) {
    case PreviousFileKind::Missing:
        throw RuntimeError(kPreviousNotADatabase, "ファイルが見つかりません。\r\n(" + path + ")");
    case PreviousFileKind::Access:
        return openAccessFile(path);
    case PreviousFileKind::Sqlite:
        throw RuntimeError(kPreviousNotADatabase,
                           "旧版KVR-Chartのデータベースファイルではありません（パスワードがありません）。\r\n(" +
                               path + ")");
    case PreviousFileKind::Encrypted:
        break;
    }
    try {
        return std::make_shared<SqlCipherFile>(db::Connection::openReadOnly(path, kPreviousVersionPassword));
    } catch (const RuntimeError& e) {
        throw RuntimeError(kPreviousNotADatabase,
                           "旧版KVR-Chartのデータベースファイルとして開けません。\r\n" + e.description);
    }
}

} // namespace kvr
