// Backup and restore of the member database, and the member settings file "KVR.INI"
// that remembers the backup folder.
//
// A backup is a copy of the member database under a dated name; a restore first copies
// the member database aside under a dated name in the member folder, then copies the
// chosen backup over it. Every copy goes to a temporary name and is renamed when
// complete. The chosen backup is checked before anything is overwritten, and a new
// backup is checked after it is written.
#pragma once

#include <QDateTime>
#include <QString>

class QWidget;

namespace kvr {

// MemberFolder + "/KVR.INI".
QString MemberSettingsPath();
// The folder used when none is set: the member folder (program folder + member number).
QString DefaultBackupFolder();
// The backup folder of the settings file. A missing file is created with the default
// folder; a folder equal to the program folder is corrected to the member folder.
QString ReadBackUpPath();
// Rewrites the settings file with the folder (the default when empty); returns the
// folder written.
QString WriteBackUpPath(const QString& folder);

// The desktop's folder dialog, opening at current; the chosen folder is saved in the
// settings file and returned (the empty string when the user cancelled).
QString ChooseBackupFolder(QWidget* parent, const QString& current);

// The member database's name without its extension, then "_yyyymmdd_hhnn.MDB".
QString DatedBackupName(const QDateTime& at);

// Two paths naming the same file (also through different spellings).
bool SamePath(const QString& a, const QString& b);

// Copies the member database to target: refuses target = the member database
// ("指定エラー"), reports a copy failure through the copy routine and a copy that does
// not open as a database of the program. True when the backup is complete and checked.
bool BackupMemberDb(const QString& target);

struct RestoreOutcome {
    bool confirmed = false;   // the user answered Yes
    bool safetyCopied = false; // the safety copy step ran (its label is shown)
    bool restored = false;    // the chosen file is now the member database
    QString safetyCopy;       // MemberFolder + "/" + dated name
};

// The restore of the member database from source, with its question, refusals and
// safety copy. Every connection to the member database is closed while the file is
// replaced; afterwards the member slot is reopened as it was and the screens are told
// to reload (announceMemberDbReplaced).
RestoreOutcome RestoreMemberDb(const QString& source);

} // namespace kvr
