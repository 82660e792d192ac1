#include "tools/ManualFaq.h"

#include "platform/desktop_shell.h"
#include "platform/services.h"

#include <QFileInfo>
#include <QSettings>

namespace kvr {

namespace {
void openOrTell(const QString& target, const QString& what) {
    if (!desktopShell().openDocument(target))
        msgBox(what + "を開けません。\r\n\r\n" + target +
                   "\r\n\r\nPDFやWebページを表示するプログラムが設定されているか確認してください。",
               "エラー", MsgButtons::Ok, MsgIcon::Exclamation);
}
} // namespace

QString ManualPath() {
    return deliveredFolder() + "/KVR-Chart-DB Ver1 操作マニュアル.pdf";
}

QString FaqTarget() {
    const QSettings ini(deliveredFolder() + "/KVRServer.ini", QSettings::IniFormat);
    QString server = ini.value("FAQ/Server").toString().trimmed();
    while (server.endsWith('/'))
        server.chop(1);
    if (!server.isEmpty()) return server + "/KVR/FAQ.html";
    return deliveredFolder() + "/FAQ.html";
}

void OpenManual() {
    if (!QFileInfo(ManualPath()).isFile()) {
        msgBox("操作マニュアルのファイルが見つかりません。\r\n\r\n" + ManualPath(), "エラー", MsgButtons::Ok,
               MsgIcon::Exclamation);
        return;
    }
    openOrTell(ManualPath(), "操作マニュアル");
}

void OpenFaq() {
    const QString target = FaqTarget();
    if (!target.contains("://") && !QFileInfo(target).isFile()) {
        msgBox("よくある質問のページが見つかりません。\r\n\r\n" + target, "エラー", MsgButtons::Ok,
               MsgIcon::Exclamation);
        return;
    }
    openOrTell(target, "よくある質問のページ");
}

} // namespace kvr
