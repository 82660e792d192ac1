#include "VazaMessage.h"

#include "FileUtil.h"
#include "platform/runtime_error.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>

namespace kvr {

namespace {

struct Confirm {
    QStringList lines;
    MsgButtons buttons;
    MsgIcon icon;
    int defaultButton = 0;
};

const QMap<int, Confirm>& confirmations() {
    static const QMap<int, Confirm> m = {
        {0, {{"エラーはありません."}, MsgButtons::Ok, MsgIcon::Information}},
        {1, {{"終了します.", "よろしいですか."}, MsgButtons::OkCancel, MsgIcon::Question}},
        {2,
         {{"この患者のデータを全て削除します.", "よろしいですか."}, MsgButtons::OkCancel, MsgIcon::Question}},
        {3, {{"データは正常に更新されました."}, MsgButtons::Ok, MsgIcon::Information}},
        {4, {{"データは正常に追加されました."}, MsgButtons::Ok, MsgIcon::Information}},
        {5, {{"データは正常に削除されました."}, MsgButtons::Ok, MsgIcon::Information}},
        {6, {{"このデータを削除します.", "よろしいですか."}, MsgButtons::OkCancel, MsgIcon::Question}},
        {7,
         {{"項目を変更すると参照できない検査データができる可能性があります.", "更新してもよろしいですか."},
          MsgButtons::OkCancel,
          MsgIcon::Question}},
        {8,
         {{"担当者が指定されていません.", "画面左のコンボボックスから選択してください."},
          MsgButtons::Ok,
          MsgIcon::Information}},
        {9, {{"部位情報を更新します.", "よろしいですか."}, MsgButtons::OkCancel, MsgIcon::Question}},
        {10,
         {{"今回の検査を登録せずに終了します.", "よろしいですか."}, MsgButtons::OkCancel, MsgIcon::Question}},
        {11,
         {{"すでに、精密検査もしくは再評価検査のデータが入力されています.", "基本検査は入力できません."},
          MsgButtons::Ok,
          MsgIcon::Information}},
        {12,
         {{"すでに、基本検査もしくは再評価検査のデータが入力されています.", "精密検査は入力できません."},
          MsgButtons::Ok,
          MsgIcon::Information}},
        {13,
         {{"今回の計画を登録せずに終了します.", "よろしいですか."}, MsgButtons::OkCancel, MsgIcon::Question}},
        {14,
         {{"治療名は1項目100個までしか登録できません.", "データを削除してから追加してください."},
          MsgButtons::Ok,
          MsgIcon::Information}},
        {15,
         {{"一括で治療名を入力します.", "「治療済み」以外の部位はすべて選択中の治療計画になります.",
           "よろしいですか."},
          MsgButtons::OkCancel,
          MsgIcon::Question}},
        {16,
         {{"治療計画を一括で治療済みにします.", "計画がされている部位はすべて治療済みになります.",
           "よろしいですか."},
          MsgButtons::OkCancel,
          MsgIcon::Question}},
        {17,
         {{"一括でクリアします.",
           "「治療済み」の部位は「計画」の状態に、「計画」の部位は何もない状態になります.",
           "よろしいですか."},
          MsgButtons::OkCancel,
          MsgIcon::Question}},
        {18,
         {{"一括で次回の予定にします.", "「治療済み」以外の部位はすべて選択中の治療予定になります.",
           "よろしいですか."},
          MsgButtons::OkCancel,
          MsgIcon::Question}},
        {19,
         {{"印刷を行います. 準備はよろしいですか？",
           "実行する場合は、プリンタへの接続を確認して「ＯＫ」を押してください.",
           "印刷を行わない場合は「キャンセル」を押してください."},
          MsgButtons::OkCancel,
          MsgIcon::Question}},
        {20,
         {{"すでに、基本検査もしくは精密検査のデータが入力されています.", "部分再評価検査は入力できません."},
          MsgButtons::Ok,
          MsgIcon::Information}},
        {21, {{"新しいポケット測定検査の登録は行えません."}, MsgButtons::Ok, MsgIcon::Information}},
        {22, {{"前回の値を今回検査値としますか？"}, MsgButtons::OkCancel, MsgIcon::Question}},
        {23,
         {{"バックアップを実行しないと、データが消える恐れがあります。", "",
           "バックアップを実行せずに、終了してもよろしいですか。"},
          MsgButtons::OkCancel,
          MsgIcon::Critical,
          1}},
    };
    return m;
}

const QMap<int, QStringList>& operationErrors() {
    static const QMap<int, QStringList> m = {
        {1201, {"すでに登録済みの患者番号です.", "患者番号を変更してください."}},
        {1202, {"入力されていない項目があります.", "必須入力の項目を確認してください."}},
        {1203, {"登録されていない患者番号です."}},
        {1204, {"入力された日付の値が正しくありません.", "日付を確認してください."}},
        {1205, {"すでに処置が終了しています.", "変更するには、クリアしてから再入力してください."}},
        {1206, {"治療計画が入力されていません.", "先に治療計画を入力してください."}},
        {1207, {"すでに検査が行われている日付です.", "変更はできません."}},
        {1208, {"患者番号は数字のみの入力しかできません.", "患者番号を確認してください."}},
    };
    return m;
}

const QMap<int, QString>& databaseErrors() {
    static const QMap<int, QString> m = {
        {2001, "ワークスペースの作成に失敗しました."},
        {2002, "データベースのオープンに失敗しました."},
        {2003, "データベースのクローズに失敗しました."},
        {2101, "テーブルのオープンに失敗しました."},
        {2102, "テーブルのクローズに失敗しました."},
        {2103, "データの読み込みに失敗しました."},
        {2104, "データの書込みに失敗しました."},
        {2201, "ＢＯＦエラーです."},
        {2202, "ＥＯＦエラーです."},
        {2203, "レコードが見つかりません."},
    };
    return m;
}

QString numberSuffix(int code) {
    return " [No." + QString::number(code) + "]";
}

} // namespace

CatalogMessage catalogMessage(int code) {
    CatalogMessage m;
    if (code >= 0 && code <= 999) {
        m.title = "確認";
        auto it = confirmations().find(code);
        if (it == confirmations().end()) {
            m.text = numberSuffix(code);
            return m;
        }
        m.text = it->lines.join('\r');
        m.buttons = it->buttons;
        m.icon = it->icon;
        m.defaultButton = it->defaultButton;
    } else if (code >= 1000 && code <= 1999) {
        m.title = "操作エラー";
        m.text = operationErrors().value(code, {"操作が正しくありません."}).join('\r') + "\r [Message No." +
                 QString::number(code) + "]";
    } else if (code >= 2000 && code <= 2999) {
        m.title = "データベースエラー";
        m.icon = MsgIcon::Critical;
        m.text = databaseErrors().value(code, "データベースのアクセスに失敗しました.") + numberSuffix(code);
    } else if (code >= 3000 && code <= 3999) {
        m.title = "データ圧縮エラー";
        m.text = "データの圧縮処理に失敗しました." + numberSuffix(code);
    } else if (code >= 4000 && code <= 4999) {
        m.title = "入出力エラー";
        m.text = "ファイル入出力に失敗しました." + numberSuffix(code);
    } else if (code >= 9000 && code <= 9999) {
        m.title = "その他のエラー";
        m.text = "不明なエラーが発生しました." + numberSuffix(code);
    } else {
        m.title = "不明のエラー";
        m.text = "定義されていないエラーが発生しました." + numberSuffix(code);
    }
    return m;
}

int ShowMessage(int code) {
    const CatalogMessage m = catalogMessage(code);
    return int(msgBox(m.text, m.title, m.buttons, m.icon, m.defaultButton));
}

void WriteAccessLog(const QString& message) {
    const QString path = appFolder() + "/Log_Access.txt";
    if (QFileInfo::exists(path) && QFileInfo(path).size() > 100000) {
        const QString rotated = appFolder() + "/Log_Access_" + now().toString("yyyyMMddHHmm") + ".txt";
        CopyFile(path, rotated);
        QFile empty(path);
        if (!empty.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw RuntimeError(75, "Path/File access error: " + path);
        empty.close();
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append))
        throw RuntimeError(75, "Path/File access error: " + path);
    const QByteArray line = (now().toString("yyyy/MM/dd HH:mm") + "  " + message + "\r\n").toUtf8();
    if (f.write(line) != line.size()) throw RuntimeError(75, "Path/File access error: " + path);
    f.close();
}

} // namespace kvr
