// kvr-review: the reviewer's program for submission archives.
#include "review/Review.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>

#include <cstdio>
#include <iostream>
#include <termios.h>
#include <unistd.h>

namespace {

const char* const kUsage =
    "使い方: kvr-review [--out フォルダ] [--password-file ファイル] 圧縮ファイル.zip… | フォルダ\n"
    "\n"
    "提出用の圧縮ファイルを開き、各症例の入力内容を確認し、検査チャート表と検査データ表を\n"
    "PDFで、一覧をCSV（summary.csv）と1ページのPDF（overview.pdf）で書き出します。\n"
    "フォルダを指定すると、その中のすべての圧縮ファイルを確認し、combined.csv も書き出します。\n"
    "\n"
    "  --out フォルダ            出力先（既定: 各圧縮ファイルの横に、その名前のフォルダ）\n"
    "  --password-file ファイル  圧縮ファイルのパスワードを、このファイルの1行目から読む\n"
    "  --help                    この説明\n"
    "\n"
    "パスワードは --password-file、環境変数 KVR_REVIEW_PASSWORD、端末からの入力（表示なし）の順に求めます。\n"
    "終了状態: 0 すべての症例が完了、1 不足のある症例あり、2 開けない圧縮ファイルあり、3 使い方の誤り。\n";

QString readTerminalPassword() {
    std::fputs("パスワード: ", stderr);
    std::fflush(stderr);
    termios old {};
    const bool tty = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &old) == 0;
    if (tty) {
        termios quiet = old;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (tty) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
    std::fputs("\n", stderr);
    return QString::fromLocal8Bit(line.c_str());
}

// Started from a terminal without a desktop session, Qt notes on standard error that it
// picks a runtime folder of its own; that line is noise among the program's one-line
// messages. Everything else goes to Qt's own handler.
QtMessageHandler qtHandler = nullptr;
void quietRuntimeFolderNotice(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set"))) return;
    if (qtHandler) qtHandler(type, context, text);
}

void say(const QString& line) {
    std::fputs((line + "\n").toLocal8Bit().constData(), stderr);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(quietRuntimeFolderNotice);
    QApplication app(argc, argv);
    kvr::review::Options o;
    QString passwordFile;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if ((a == "--out" || a == "--password-file") && i + 1 < args.size()) {
            (a == "--out" ? o.out : passwordFile) = args[++i];
        } else if (a.startsWith("--out=")) {
            o.out = a.mid(6);
        } else if (a.startsWith("--password-file=")) {
            passwordFile = a.mid(16);
        } else if (a.startsWith("-")) {
            say("kvr-review: 不明なオプションです: " + a);
            std::fputs(kUsage, stderr);
            return 3;
        } else {
            o.inputs << a;
        }
    }
    if (o.inputs.isEmpty()) {
        std::fputs(kUsage, stderr);
        return 3;
    }
    if (!passwordFile.isEmpty()) {
        QFile f(passwordFile);
        if (!f.open(QIODevice::ReadOnly)) {
            say("kvr-review: パスワードファイルを読めません: " + passwordFile);
            return 3;
        }
        o.password = QString::fromUtf8(f.readLine()).remove('\n').remove('\r');
    } else if (qEnvironmentVariableIsSet("KVR_REVIEW_PASSWORD")) {
        o.password = qEnvironmentVariable("KVR_REVIEW_PASSWORD");
    } else {
        o.password = readTerminalPassword();
    }
    kvr::review::InstallInterruptCleanup();
    return kvr::review::Run(o, say);
}
