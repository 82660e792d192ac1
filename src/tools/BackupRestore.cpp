#include "BackupRestore.h"

#include "data/MemberDbSwap.h"
#include "platform/desktop_shell.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace kvr {

namespace {

void refuse(const QString& text, const QString& title) {
    msgBox(text, title, MsgButtons::Ok, MsgIcon::Critical);
}

} // namespace

QString MemberSettingsPath() {
    return app().MemberFolder + "/KVR.INI";
}

QString DefaultBackupFolder() {
    return appFolder() + "/" + app().MemberNo;
}

QString WriteBackUpPath(const QString& folder) {
    const QString written = folder.isEmpty() ? DefaultBackupFolder() : folder;
    QSaveFile f(MemberSettingsPath());
    const QByteArray text = ("BackUpPath=" + written + "\r\n").toUtf8();
    // A settings file that cannot be written leaves the folder in force for this session.
    if (f.open(QIODevice::WriteOnly) && f.write(text) == text.size()) f.commit();
    return written;
}

QString ReadBackUpPath() {
    if (!QFileInfo::exists(MemberSettingsPath())) WriteBackUpPath(QString());
    QString folder;
    QFile f(MemberSettingsPath());
    if (f.open(QIODevice::ReadOnly)) {
        for (const QString& raw : QString::fromUtf8(f.readAll()).split('\n')) {
            const QString line = raw.trimmed();
            if (line.isEmpty() || line.startsWith('\'')) continue;
            const int eq = line.indexOf('=');
            if (eq >= 0 && line.left(eq).trimmed() == "BackUpPath") folder = line.mid(eq + 1).trimmed();
        }
    }
    if (folder == appFolder()) folder = WriteBackUpPath(DefaultBackupFolder());
    return folder;
}

QString ChooseBackupFolder(QWidget* parent, const QString& current) {
    const QString chosen = desktopShell().chooseFolder(parent, "バックアップデータを保存するフォルダの指定",
                                                       CheckFolder(current) ? current : DefaultBackupFolder());
    if (chosen.isEmpty()) return QString();
    return WriteBackUpPath(QDir::cleanPath(chosen));
}

QString DatedBackupName(const QDateTime& at) {
    QString base = app().MemberDbFile;
    while (base.startsWith('/') || base.startsWith('\\'))
        base.remove(0, 1);
    const int dot = base.lastIndexOf('.');
    if (dot > 0) base.truncate(dot);
    return base + at.toString("_yyyyMMdd_HHmm") + ".MDB";
}

bool SamePath(const QString& a, const QString& b) {
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

bool BackupMemberDb(const QString& target) {
    const QString source = app().memberDbPath();
    if (SamePath(source, target)) {
        refuse("コピー元とコピー先が同じです。処理を中止します。", "指定エラー");
        return false;
    }
    // A backup never replaces a file it did not make: an older backup or the safety copy
    // of a restore under the same dated name stays as it is.
    if (QFileInfo::exists(target)) {
        refuse("同じ名前のファイルが既にあります。処理を中止します。\r\n\r\n" + target +
                   "\r\n\r\n１分以上経過後に再度実行するか、別の名前を指定してください。",
               "指定エラー");
        return false;
    }
    if (!CopyFile(source, target)) return false;
    QString why;
    if (!IsProgramDatabase(target, &why)) {
        refuse("バックアップしたファイルを確認できませんでした。\r\n\r\n" + target + "\r\n" + why, "バックアップ確認");
        return false;
    }
    return true;
}

RestoreOutcome RestoreMemberDb(const QString& source) {
    RestoreOutcome out;
    const QString destination = app().memberDbPath();
    out.safetyCopy = app().MemberFolder + "/" + DatedBackupName(now());
    if (msgBox("現在のデータはバックアップ後、上書きされます。\r\n\r\n復元を実行してもよろしいですか？", "復元確認",
               MsgButtons::YesNo, MsgIcon::Exclamation) != MsgResult::Yes)
        return out;
    out.confirmed = true;
    if (SamePath(source, destination)) {
        refuse("復元元と復元先が同じです。処理を中止します。", "指定エラー");
        return out;
    }
    // The safety copy of this minute is the only copy of the data before an earlier
    // restore: it is neither restored from nor overwritten.
    if (SamePath(out.safetyCopy, source) || QFileInfo::exists(out.safetyCopy)) {
        refuse("復元元とバックアップが同じです。処理を中止します。\r\n\r\n１分以上経過後に再度実行してください。", "再実行");
        return out;
    }
    QString why;
    if (!IsProgramDatabase(source, &why)) {
        refuse("復元元のファイルはKVR-DBのデータベースではないか、壊れています。処理を中止します。\r\n\r\n" + source +
                   "\r\n" + why,
               "指定エラー");
        return out;
    }
    {
        MemberDbClosed closed;
        // A journal left with content would be rolled back into the restored file.
        if (QFileInfo(destination + "-journal").size() > 0) {
            refuse("データベースが使用中です。処理を中止します。\r\n\r\n" + destination, "復元エラー");
            return out;
        }
        // No safety copy, no restore: the current data stay as they are.
        out.safetyCopied = CopyFile(destination, out.safetyCopy);
        if (out.safetyCopied) out.restored = CopyFile(source, destination);
    }
    if (!out.safetyCopied) {
        refuse("現在のデータのバックアップを作成できませんでした。復元を中止します。\r\n\r\n" + out.safetyCopy,
               "バックアップエラー");
        return out;
    }
    if (out.restored) announceMemberDbReplaced();
    return out;
}

} // namespace kvr
