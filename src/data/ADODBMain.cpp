#include "ADODBMain.h"

#include "platform/passwords.h"
#include "platform/services.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

namespace kvr {

namespace {

ConnSlot gSlots[4];

ConnSlot& at(Slot s) {
    return gSlots[int(s)];
}

void connect(ConnSlot& s) {
    if (&s == &at(Slot::Foreign)) {
        // The previous version's file may be an Access file or an SQLCipher file.
        s.previous = openPreviousVersionDb(s.source);
        s.conn = s.previous->connection();
        return;
    }
    const QString password = s.password.isEmpty() ? QString(kProgramPassword) : s.password;
    // The import source is somebody's file to read from: it is never written.
    s.conn = &s == &at(Slot::Import) ? db::Connection::openReadOnly(s.source, password)
                                     : db::Connection::open(s.source, password);
}

// Cancel while opening is fatal: the slot is marked closed and the program ends.
[[noreturn]] void cancelOpen(ConnSlot& s) {
    s.open = 0;
    s.hold = 0;
    endProgram(1);
}

bool countedOpen(Slot which) {
    ConnSlot& s = at(which);
    if (s.open == 0) {
        if (!runWithRetryBox([&] { connect(s); })) cancelOpen(s);
        s.open = 1;
    }
    s.users = qint16(s.users + 1);
    return true;
}

bool forcedClose(Slot which) {
    ConnSlot& s = at(which);
    bool ok = true;
    try {
        if (s.conn) s.conn->close();
    } catch (...) {
        ok = false;
    }
    s.conn.reset();
    s.previous.reset();
    s.open = 0;
    s.hold = 0;
    s.users = 0;
    return ok;
}

bool holdingOpen(Slot which) {
    ConnSlot& s = at(which);
    if (s.open == 1) forcedClose(which);
    if (s.open == 0) {
        if (!runWithRetryBox([&] { connect(s); })) cancelOpen(s);
        s.open = 1;
        s.hold = 1;
    }
    s.users = 0;
    return true;
}

bool release(Slot which) {
    ConnSlot& s = at(which);
    s.users = qint16(s.users - 1);
    if (s.hold == 1) return true;
    try {
        if (s.users <= 0) {
            // Recordsets that still hold the old connection object keep it alive.
            if (s.conn) s.conn->close();
            s.conn.reset();
            s.previous.reset();
        }
    } catch (...) {
        s.open = 0;
        return false;
    }
    s.open = 0;
    return true;
}

} // namespace

ConnSlot& slot(Slot s) {
    return at(s);
}

void setMemberSource(const QString& path) {
    at(Slot::Member).source = path;
}
void setImportSource(const QString& path) {
    at(Slot::Import).source = path;
}
void setTemplateSource(const QString& path) {
    at(Slot::Template).source = path;
}
void setForeignSource(const QString& path) {
    at(Slot::Foreign).source = path;
    at(Slot::Foreign).password = kPreviousVersionPassword;
}

bool OpenMemberDb() {
    return countedOpen(Slot::Member);
}
bool OpenMemberDbHold() {
    return holdingOpen(Slot::Member);
}
bool CloseMemberDb() {
    return release(Slot::Member);
}
bool CloseMemberDbForce() {
    return forcedClose(Slot::Member);
}
bool OpenImportDbHold() {
    return holdingOpen(Slot::Import);
}
bool CloseImportDbForce() {
    return forcedClose(Slot::Import);
}
bool OpenTemplateDb() {
    return countedOpen(Slot::Template);
}
bool CloseTemplateDb() {
    return release(Slot::Template);
}
bool OpenForeignDbHold() {
    at(Slot::Foreign).password = kPreviousVersionPassword;
    return holdingOpen(Slot::Foreign);
}
bool CloseForeignDb() {
    return release(Slot::Foreign);
}
bool CloseForeignDbForce() {
    return forcedClose(Slot::Foreign);
}

db::ConnectionPtr memberConn() {
    return at(Slot::Member).conn;
}
db::ConnectionPtr importConn() {
    return at(Slot::Import).conn;
}
db::ConnectionPtr templateConn() {
    return at(Slot::Template).conn;
}
db::ConnectionPtr foreignConn() {
    return at(Slot::Foreign).conn;
}
std::shared_ptr<PreviousVersionDb> foreignDb() {
    return at(Slot::Foreign).previous;
}

QString errorBoxText(int number, const QString& description) {
    return "[Error:" + QString::number(number) + "] " + "\r\n" + description;
}

bool runWithRetryBox(const std::function<void()>& body) {
    for (;;) {
        try {
            body();
            return true;
        } catch (const RuntimeError& e) {
            QApplication::restoreOverrideCursor();
            MsgResult r = msgBox(errorBoxText(e.number, e.description), "エラー", MsgButtons::RetryCancel,
                                 MsgIcon::Critical);
            if (r != MsgResult::Retry) return false;
        }
    }
}

void closeAllConnections() {
    for (Slot s : {Slot::Member, Slot::Import, Slot::Template, Slot::Foreign})
        forcedClose(s);
    // The engine truncates the member database's rollback journal after each commit
    // instead of deleting it. With every connection closed an empty journal holds
    // nothing to roll back: it goes, so that the member folder holds only the database
    // (one with content stays, to be played back at the next open).
    const QString journal = at(Slot::Member).source + "-journal";
    if (!at(Slot::Member).source.isEmpty() && QFileInfo(journal).isFile() && QFileInfo(journal).size() == 0)
        QFile::remove(journal);
}

} // namespace kvr
