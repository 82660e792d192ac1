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

void folderError(const QString& text) {
    msgBox(text, "エラー", MsgButtons::Ok, MsgIcon::Critical);
}

// Renames a finished folder into place and makes the new name durable; false (with its
// box) when the folder's content or its new name cannot be flushed to disk.
bool renameFolder(const QString& from, const QString& to) {
    if (!SyncToDisk(from, true)) {
        folderError("フォルダの内容をディスクに書き込めません。\r\n\r\n" + from);
        return false;
    }
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        folderError("フォルダ名を変更できません。\r\n\r\n" + from + "\r\n→ " + to);
        return false;
    }
    if (!SyncToDisk(QFileInfo(to).absolutePath(), true)) {
        folderError("フォルダ名の変更をディスクに書き込めません。\r\n\r\n" + to);
        return false;
    }
    return true;
}

// Removes a folder so that it is gone in one step: renamed to a hidden name first,
// then deleted. An interruption leaves the hidden folder, never half of the old one.
// (A folder flush that fails here is harmless: the folder's data exist twice until the
// removal, under the new number and in the set-aside copy.)
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

MemberNoChange ChangeMemberNumber(const QString& newNoText) {
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
    // Both are complete before either becomes visible; a failure on the way leaves
    // neither, and a retry starts clean.
    auto abandon = [&] {
        DeleteFolder(newWork);
        DeleteFolder(setAsideWork);
        return MemberNoChange::Failed;
    };
    if (!MakeFolder(newWork)) return abandon();
    const QString newDbFile = "/KVR-DB-" + newNo + ".MDB";
    // CopyFile writes a temporary file, flushes it and renames it into place.
    if (!CopyFile(a.memberDbPath(), newWork + newDbFile)) return abandon();
    // The copy carries the new number as its clinic code before it becomes visible, so
    // a power cut after the rename never leaves the new folder naming the old member.
    if (!stampClinicCode(newWork + newDbFile, newNo, a.memberDbPath())) return abandon();
    if (!CopyFolder(a.MemberFolder, setAsideWork, 0)) return abandon();
    if (!renameFolder(newWork, newFolder)) {
        if (QFileInfo::exists(newFolder)) removeFolderAtOnce(newFolder, stamp);
        return abandon();
    }
    if (!renameFolder(setAsideWork, setAside)) {
        // The new folder goes again: the change happens whole or not at all.
        removeFolderAtOnce(newFolder, stamp);
        if (QFileInfo::exists(setAside)) removeFolderAtOnce(setAside, stamp);
        return abandon();
    }
    if (!removeFolderAtOnce(a.MemberFolder, stamp)) return MemberNoChange::Failed;

    CloseMemberDbForce();
    a.MemberNo = newNo;
    a.MemberFolder = newFolder;
    a.MemberDbFile = newDbFile;
    setMemberSource(a.memberDbPath());
    LoadClinicCode();
    SaveClinicCode(newNo);
    return MemberNoChange::Done;
}

void FinishMemberNumberChange() {
    msgBox("会員番号の変更が完了しました。\r\n\r\nプログラムを終了しますので、プログラムを再起動してください。",
           "完了", MsgButtons::Ok, MsgIcon::Information);
    endProgram(0);
}

} // namespace kvr
