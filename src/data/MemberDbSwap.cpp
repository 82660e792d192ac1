#include "MemberDbSwap.h"

#include "ADODBMain.h"
#include "platform/passwords.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace kvr {

MemberDbClosed::MemberDbClosed() {
    const ConnSlot& s = slot(Slot::Member);
    open_ = s.conn ? s.open : 0;
    hold_ = s.hold;
    users_ = s.users;
    CloseMemberDbForce();
}

MemberDbClosed::~MemberDbClosed() {
    if (open_ != 1) return;
    OpenMemberDbHold();
    ConnSlot& s = slot(Slot::Member);
    s.hold = hold_;
    s.users = users_;
}

MemberDbEvents& MemberDbEvents::instance() {
    static MemberDbEvents events;
    return events;
}

bool IsProgramDatabase(const QString& path, QString* description) {
    try {
        db::ConnectionPtr c = db::Connection::openReadOnly(path, kProgramPassword);
        // The version row every database of the program carries (read as start-up does).
        c->scalar("SELECT Major*10000 + Minor*1000 + Revision FROM TVersion WHERE ID=1");
        // Every page, not only the first ones: a file damaged in the middle is refused too.
        const QString check = c->scalar("PRAGMA integrity_check(1)").toString();
        c->close();
        if (check != "ok") {
            if (description) *description = "integrity check: " + check;
            return false;
        }
        return true;
    } catch (const RuntimeError& e) {
        if (description) *description = e.description;
        return false;
    }
}

} // namespace kvr
