#include "tools/VersionUp.h"

#include "data/ADODBMain.h"
#include "data/CImage.h"
#include "platform/database.h"
#include "platform/desktop_shell.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QFileInfo>
#include <QSaveFile>

namespace kvr {

namespace {
const char* const kContactRow = "SELECT * FROM TImage WHERE ID=0";
}

QString UpdaterPath() {
    return deliveredFolder() + "/VQKVRDBVerUp";
}

QString UpdaterReplacementPath() {
    return UpdaterPath() + ".new";
}

QString InfoFilePath() {
    return appFolder() + "/Info.txt";
}

bool LoadContactInfo(ContactInfo& info) {
    CImage image;
    image.CheckTable();
    bool found = false;
    OpenMemberDb();
    runWithRetryBox([&] {
        db::Recordset rs(memberConn(), kContactRow);
        found = !rs.eof();
        if (found) {
            image.RecSetGet(rs);
            info = {image.ImgPath(0), image.ImgPath(1), image.ImgPath(2)};
        }
    });
    CloseMemberDb();
    return found;
}

QString InfoText(const QString& memberNo, const ContactInfo& info) {
    return "会員番号      ：" + memberNo + "\n" + "病院名        ：" + info.clinic + "\n" +
           "担当者名      ：" + info.person + "\n" + "担当者のE-mail：" + info.mail + "\n";
}

bool SaveContactInfo(const ContactInfo& info) {
    CImage image;
    image.CheckTable();
    OpenMemberDb();
    const bool ok = runWithRetryBox([&] {
        db::Recordset rs(memberConn(), kContactRow, {}, db::OpenMode::Write);
        if (rs.eof()) {
            image.ClearBuffer();
            image.ID = 0;
            rs.addNew();
        } else {
            image.RecSetGet(rs);
        }
        image.setImgPath(0, info.clinic);
        image.setImgPath(1, info.person);
        image.setImgPath(2, info.mail);
        image.ExamDate = QDateTime(today(), QTime(0, 0));
        image.UpDate = now();
        image.RecSetPut(rs);
        rs.update();
    });
    CloseMemberDb();
    // The hand-over file is written to a temporary name and renamed into place.
    QSaveFile file(InfoFilePath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(InfoText(app().MemberNo, info).toUtf8());
        if (file.commit()) return ok;
    }
    msgBox("ファイル「Info.txt」を書き込めません。\r\n\r\n" + InfoFilePath() + "\r\n" + file.errorString(), "エラー",
           MsgButtons::Ok, MsgIcon::Critical);
    return false;
}

bool ReplaceUpdater() {
    if (!QFileInfo::exists(UpdaterReplacementPath())) return false;
    if (!DeleteFile(UpdaterPath())) return false;
    return RenameFile(UpdaterReplacementPath(), UpdaterPath());
}

void StartVersionUp(const ContactInfo& info) {
    if (info.clinic.trimmed().isEmpty() || info.person.trimmed().isEmpty() || info.mail.trimmed().isEmpty()) {
        msgBox("入力項目に空欄があります。入力してください。", "未入力", MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (!QFileInfo(UpdaterPath()).isFile()) {
        msgBox("バージョンアップ用のプログラムが見つかりません。\r\n\r\n" + UpdaterPath() +
                   "\r\n\r\nプログラムフォルダに配置してから、もう一度お試しください。",
               "エラー", MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (!desktopShell().startProgram(UpdaterPath(), deliveredFolder())) {
        msgBox("バージョンアップ用のプログラムを起動できません。\r\n\r\n" + UpdaterPath(), "エラー", MsgButtons::Ok,
               MsgIcon::Exclamation);
        return;
    }
    endProgram(0);
}

} // namespace kvr
