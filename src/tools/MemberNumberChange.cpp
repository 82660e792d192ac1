#include "tools/MemberNumberChange.h"

#include "data/ADODBMain.h"
#include "data/CClinicCode.h"
#include "data/DataObjects.h"
#include "platform/disk.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

namespace kvr {

namespace {

// Renames a finished folder into place and makes the new name durable.
bool renameFolder(const QString& from, const QString& to) {
    SyncToDisk(from, true);
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        msgBox("フォルダ名を変更できません。\r\n\r\n" + from + "\r\n→ " + to, "エラー", MsgButtons::Ok,
               MsgIcon::Critical);
        return false;
    }
    SyncToDisk(QFileInfo(to).absolutePath(), true);
    return true;
}

// Removes a folder so that it is gone in one step: renamed to a hidden name first,
// then deleted. An interruption leaves the hidden folder, never half of the old one.
bool removeFolderAtOnce(const QString& folder, const QString& stamp) {
    const QFileInfo fi(folder);
    const QString parent = fi.absolutePath();
    const QString doomed = parent + "/." + fi.fileName() + "_" + stamp + ".removing";
    if (::rename(QFile::encodeName(folder).constData(), QFile::encodeName(doomed).constData()) != 0)
        return DeleteFolder(folder);
    SyncToDisk(parent, true);
    DeleteFolder(doomed);
    return true;
}

// Writes the clinic code into the database at path (a copy not yet in place) through the
// member connection, then points that connection back at memberPath. The copy is left
// with no journal beside it.
bool stampClinicCode(const QString& path, const QString& code, const QString& memberPath) {
    CloseMemberDbForce();
    setMemberSource(path);
    const bool ok = LoadClinicCode() && SaveClinicCode(code);
    closeAllConnections(); // also drops the empty journal the commit left
    setMemberSource(memberPath);
    return ok;
}

} // namespace

QString NormalizeMemberNo(const QString& text) {
    return toHalfWidth(text.trimmed()).trimmed();
}

MemberNoChange ChangeMemberNumber(const QString& newNoText, const std::function<void(int)>& progress) {
    auto step = [&](int n) {
        if (progress) progress(n);
    };
    const QString newNo = NormalizeMemberNo(newNoText);
    if (newNo.isEmpty()) {
        msgBox("会員番号が未入力です。入力してください。", "未入力", MsgButtons::Ok, MsgIcon::Exclamation);
        return MemberNoChange::Empty;
    }
    static const QRegularExpression sixDigits("\\A[0-9]{6}\\z");
    if (!sixDigits.match(newNo).hasMatch()) {
        msgBox("会員番号を正しく入力してください。", "エラー", MsgButtons::Ok, MsgIcon::Exclamation);
        return MemberNoChange::Invalid;
    }
    AppState& a = app();
    const QString newFolder = appFolder() + "/" + newNo;
    const QString stamp = now().toString("yyyyMMdd_HHmmss");
    const QString setAside = a.MemberFolder + "_" + stamp;
    if (CheckFolder(newFolder)) {
        msgBox("変更後の会員番号フォルダが存在するため変更できません。", "エラー", MsgButtons::Ok,
               MsgIcon::Exclamation);
        return MemberNoChange::TargetExists;
    }
    // The new folder and the set-aside copy are assembled under hidden names and
    // renamed into place when complete, so a visible folder is never half made.
    const QString newWork = appFolder() + "/." + newNo + "_" + stamp + ".creating";
    const QString setAsideWork = appFolder() + "/." + QFileInfo(setAside).fileName() + ".copying";
    DeleteFolder(newWork);
    DeleteFolder(setAsideWork);
    step(1);
    if (!MakeFolder(newWork)) return MemberNoChange::Failed;
    const QString newDbFile = "/KVR-DB-" + newNo + ".MDB";
    step(2);
    // CopyFile writes a temporary file, flushes it and renames it into place.
    if (!CopyFile(a.memberDbPath(), newWork + newDbFile)) return MemberNoChange::Failed;
    // The copy carries the new number as its clinic code before it becomes visible, so
    // a power cut after the rename never leaves the new folder naming the old member.
    if (!stampClinicCode(newWork + newDbFile, newNo, a.memberDbPath())) return MemberNoChange::Failed;
    if (!renameFolder(newWork, newFolder)) return MemberNoChange::Failed;
    step(3);
    if (!CopyFolder(a.MemberFolder, setAsideWork, 0)) return MemberNoChange::Failed;
    if (!renameFolder(setAsideWork, setAside)) return MemberNoChange::Failed;
    step(4);
    if (!removeFolderAtOnce(a.MemberFolder, stamp)) return MemberNoChange::Failed;
    step(5);

    CloseMemberDbForce();
    a.MemberNo = newNo;
    a.MemberFolder = newFolder;
    a.MemberDbFile = newDbFile;
    setMemberSource(a.memberDbPath());
    LoadClinicCode();
    SaveClinicCode(newNo);
    step(6);
    return MemberNoChange::Done;
}

void FinishMemberNumberChange() {
    msgBox("会員番号の変更が完了しました。\r\n\r\nプログラムを終了しますので、プログラムを再起動してください。",
           "完了", MsgButtons::Ok, MsgIcon::Information);
    endProgram(0);
}

} // namespace kvr
