// The program-wide database connections: member, import, template and foreign
// (previous version) slots, each a shared connection kept open across calls and
// counted, so that nested routines can each open and release it.
//
// Calling convention: a table routine calls the counted open (OpenMemberDb), works on
// memberConn(), closes its recordsets and releases (CloseMemberDb), also on early exits.
// A screen or long job calls the holding open when it starts and the forced close
// when it ends.
//
// Open failures show "[Error:" number "] " CR LF description (title "エラー",
// Retry/Cancel, critical). Retry tries again; Cancel ends the program.
#pragma once

#include "data/PreviousVersionDb.h"
#include "platform/database.h"

#include <QString>

#include <functional>

namespace kvr {

struct ConnSlot {
    db::ConnectionPtr conn; // absent while closed
    // The foreign slot's file, Access or SQLCipher (conn is its SQLCipher connection, if any).
    std::shared_ptr<PreviousVersionDb> previous;
    QString source;         // full path of the database file
    QString password;
    qint16 open = 0;
    qint16 hold = 0;
    qint16 users = 0;
};

enum class Slot { Member, Import, Template, Foreign };
ConnSlot& slot(Slot s);

// The data source paths of the slots (the member source is set by the start screen).
void setMemberSource(const QString& path);
void setImportSource(const QString& path);
void setTemplateSource(const QString& path);
void setForeignSource(const QString& path);

bool OpenMemberDb();
bool OpenMemberDbHold();
bool CloseMemberDb();
bool CloseMemberDbForce();
bool OpenImportDbHold();
bool CloseImportDbForce();
bool OpenTemplateDb();
bool CloseTemplateDb();
bool OpenForeignDbHold();
bool CloseForeignDb();
bool CloseForeignDbForce();

// The slot's connection object (null while closed).
db::ConnectionPtr memberConn();
db::ConnectionPtr importConn();
db::ConnectionPtr templateConn();
db::ConnectionPtr foreignConn();
// The previous version's database opened in the foreign slot (null while closed).
std::shared_ptr<PreviousVersionDb> foreignDb();

// Runs body; on a RuntimeError shows the "[Error:" Retry/Cancel box: Retry runs body
// again, Cancel returns false. Returns true when body finished.
bool runWithRetryBox(const std::function<void()>& body);

// The text of the "[Error:" box for an error.
QString errorBoxText(int number, const QString& description);

// Releases every connection (program end) and removes the member database's empty
// rollback journal.
void closeAllConnections();

} // namespace kvr
