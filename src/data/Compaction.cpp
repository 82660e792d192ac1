#include "Compaction.h"

#include "ADODBMain.h"
#include "MemberDbSwap.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "platform/services.h"
#include "shell/AppState.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <sqlcipher/sqlite3.h>

#include <cerrno>
#include <future>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kvr {

namespace {

[[noreturn]] void raiseOsError(int err, const QString& what, const QString& path) {
    throw RuntimeError(err, what + QString::fromLocal8Bit(std::strerror(err)) + ": " + path);
}

void removeIfPresent(const QString& path) {
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
        raiseOsError(errno, QStringLiteral("前回の一時ファイルを削除できません。"), path);
}

QString quoted(const QString& text) {
    return "'" + QString(text).replace("'", "''") + "'";
}

// The schema as text (type, name, SQL of every object), to compare original and copy.
QString schemaOf(const db::ConnectionPtr& c, const QString& schema) {
    db::Recordset rs(c, "SELECT type, name, sql FROM " + schema + ".sqlite_master ORDER BY type, name");
    QStringList lines;
    for (; !rs.eof(); rs.moveNext())
        lines << rs.value(0).toString() + "|" + rs.value(1).toString() + "|" + rs.value(2).toString();
    return lines.join('\n');
}

} // namespace

QString CompactionTempPath() {
    return app().MemberFolder + "/VQCP.MDB";
}

void CheckDatabaseIntegrity(const QString& path) {
    db::ConnectionPtr c = db::Connection::openReadOnly(path, kProgramPassword);
    const QString result = c->scalar("PRAGMA integrity_check").toString();
    c->close();
    if (result != "ok")
        throw RuntimeError(SQLITE_CORRUPT, QStringLiteral("最適化したファイルの検査で異常が見つかりました。(") +
                                               result + ")");
}

void CompactDatabaseFile(const QString& database, const QString& temp, const std::function<void()>& beforeReplace) {
    // A stale copy (and its journal) from an interrupted attempt goes first.
    removeIfPresent(temp + "-journal");
    removeIfPresent(temp);

    // An empty file is an empty database; attaching does not create files here.
    const int fd = ::open(QFile::encodeName(temp).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) raiseOsError(errno, QStringLiteral("一時ファイルを作成できません。"), temp);
    ::close(fd);
    {
        db::ConnectionPtr c = db::Connection::open(database, kProgramPassword);
        c->execute("ATTACH DATABASE " + quoted(temp) + " AS vqcp KEY " + quoted(kProgramPassword));
        // The copy gets the page size of new files, so an older file with small pages
        // comes out of its compaction in the current layout.
        c->execute("PRAGMA vqcp.cipher_page_size=" + QString::number(db::kNewDatabasePageSize));
        // The copy is not in place until it has been flushed and checked, so it needs
        // neither a journal nor a sync per page.
        c->execute("PRAGMA vqcp.journal_mode=OFF");
        c->execute("PRAGMA vqcp.synchronous=OFF");
        c->scalar("SELECT sqlcipher_export('vqcp')");
        c->execute("PRAGMA vqcp.user_version=" + c->scalar("PRAGMA main.user_version").toString());
        const bool sameSchema = schemaOf(c, "main") == schemaOf(c, "vqcp");
        c->execute("DETACH DATABASE vqcp");
        c->close();
        if (!sameSchema)
            throw RuntimeError(SQLITE_CORRUPT, QStringLiteral("最適化したファイルのテーブルが元のファイルと一致しません。"));
    }
    // The copy is checked (read back through a connection of its own) while its pages go
    // to disk: both must succeed before it may replace the original.
    std::future<void> check = std::async(std::launch::async, [temp] { CheckDatabaseIntegrity(temp); });
    const bool flushed = SyncToDisk(temp);
    const int flushError = errno;
    check.get();
    if (!flushed) raiseOsError(flushError, QStringLiteral("一時ファイルを書き込めません。"), temp);
    if (beforeReplace) beforeReplace();

    // A journal left with content would be rolled back into the new file: refuse then.
    if (QFileInfo(database + "-journal").size() > 0)
        throw RuntimeError(SQLITE_BUSY, QStringLiteral("データベースが使用中です。") + database);
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(database).constData()) != 0)
        raiseOsError(errno, QStringLiteral("最適化したファイルに置き換えられません。"), database);
    if (!SyncToDisk(QFileInfo(database).absolutePath(), true))
        raiseOsError(errno, QStringLiteral("最適化したファイルへの置き換えを確定できません。"), database);
}

bool CompactMemberDb() {
    const QString temp = CompactionTempPath();
    MemberDbClosed closed;
    try {
        // The pause between the compacted copy and its replacing the original.
        CompactDatabaseFile(app().memberDbPath(), temp, [] {
            waitMs(2000);
            doEvents();
        });
        return true;
    } catch (const RuntimeError& e) {
        QApplication::restoreOverrideCursor();
        // The original stays; an unchecked copy does not stay beside it.
        std::remove(QFile::encodeName(temp).constData());
        msgBox(QStringLiteral("最適化でエラー発生！　エラー番号：") + QString::number(e.number) + "\r\n\r\n" +
                   QStringLiteral("エラー内容：") + e.description,
               QStringLiteral("最適化エラー"), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
}

} // namespace kvr
