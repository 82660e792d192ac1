// Replacing the member database file while the program runs (restore, compaction).
//
// A connection that stays open while its file is renamed over would go on reading and
// writing the old, unlinked file, and every later change would be lost. A replacement
// therefore runs inside a MemberDbClosed scope: it force-closes the member slot (every
// recordset still pointing at that connection then fails instead of using the old
// file), and at the end of the scope reopens the slot as it was (holding or counted),
// now on the new file. Screens that show the member's data reload when a restore
// announces the new content through memberDbReplaced().
#pragma once

#include "platform/disk.h"

#include <QObject>

namespace kvr {

class MemberDbClosed {
public:
    MemberDbClosed();
    ~MemberDbClosed();
    MemberDbClosed(const MemberDbClosed&) = delete;
    MemberDbClosed& operator=(const MemberDbClosed&) = delete;

private:
    qint16 open_, hold_, users_;
};

// Announces that the member database file now holds other data (after a restore).
class MemberDbEvents : public QObject {
    Q_OBJECT
public:
    static MemberDbEvents& instance();
signals:
    void replaced();
};

inline void announceMemberDbReplaced() {
    emit MemberDbEvents::instance().replaced();
}

// Opens path read-only with the program's key, reads its version row and checks every
// page: true when it is a whole database of this program. description receives the
// engine's reason otherwise.
bool IsProgramDatabase(const QString& path, QString* description = nullptr);


} // namespace kvr
