#include "FileUtil.h"

#include "platform/disk.h"
#include "platform/services.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QOperatingSystemVersion>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvr {

namespace {

struct OsError {
    int number;
    QString description;
};

OsError lastOsError(int err) {
    return {err, QString::fromLocal8Bit(std::strerror(err))};
}

void showFileError(const QString& label, const OsError& e, const QString& middle = QString()) {
    msgBox(label + "\r\n\r\n" + middle + "<" + QString::number(e.number) + "> " + e.description, QString(),
           MsgButtons::Ok, MsgIcon::None);
}

QString stripSlash(QString p) {
    while (p.size() > 1 && (p.endsWith('/') || p.endsWith('\\')))
        p.chop(1);
    return p;
}

// Copies source to a temporary file beside target, flushes it to disk and renames it
// over target, so that target is always either the old file or the complete new one.
int copyAtomically(const QString& source, const QString& target) {
    int in = ::open(QFile::encodeName(source).constData(), O_RDONLY);
    if (in < 0) return errno;
    const QString tmp = target + ".kvrtmp";
    int out = ::open(QFile::encodeName(tmp).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        int e = errno;
        ::close(in);
        return e;
    }
    char buf[1 << 16];
    int err = 0;
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            break;
        }
        for (ssize_t off = 0; off < n;) {
            ssize_t w = ::write(out, buf + off, size_t(n - off));
            if (w < 0) {
                if (errno == EINTR) continue;
                err = errno;
                break;
            }
            off += w;
        }
        if (err) break;
    }
    if (!err && ::fsync(out) != 0) err = errno;
    ::close(in);
    if (::close(out) != 0 && !err) err = errno;
    if (!err && ::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(target).constData()) != 0)
        err = errno;
    if (err) {
        ::unlink(QFile::encodeName(tmp).constData());
        return err;
    }
    // The new name is durable only once the folder is flushed: a folder that cannot be
    // flushed is reported although the complete file is already in place.
    if (!SyncToDisk(QFileInfo(target).absolutePath(), true)) return errno ? errno : EIO;
    return 0;
}

} // namespace

bool CheckFolder(const QString& path) {
    const QString p = path.trimmed();
    return !p.isEmpty() && QFileInfo(p).isDir();
}

bool MakeFolder(const QString& path) {
    if (!QFileInfo(path).isDir()) {
        if (::mkdir(QFile::encodeName(stripSlash(path)).constData(), 0755) != 0) {
            OsError e = lastOsError(errno);
            if (!path.startsWith("\\\\") && !path.startsWith("//"))
                showFileError("フォルダ作成(MakeFolder)でエラーが発生しました。", e,
                              "フォルダ名：" + path + "\r\n\r\n");
            return false;
        }
    }
    doEvents();
    return true;
}

bool DeleteFolder(const QString& path) {
    const QString p = stripSlash(path);
    if (QFileInfo(p).isDir() && !QDir(p).removeRecursively()) return false;
    return true;
}

bool CopyFolder(const QString& source, const QString& target, int mode) {
    QString t = target;
    if (mode == 1 && QFileInfo::exists(stripSlash(t))) {
        QDir(stripSlash(t)).removeRecursively();
        doEvents();
        waitMs(1000);
    }
    if (!t.endsWith('/')) t += '/';
    // Create every missing folder along the target.
    for (int i = t.indexOf('/', 1); i > 0; i = t.indexOf('/', i + 1)) {
        const QString part = t.left(i);
        if (!QFileInfo(part).isDir()) {
            if (::mkdir(QFile::encodeName(part).constData(), 0755) != 0) {
                showFileError("フォルダ間ファイルコピー(CopyFolder)でエラーが発生しました。",
                              lastOsError(errno));
                return false;
            }
            doEvents();
            waitMs(1000);
        }
    }
    const QString src = stripSlash(source);
    QDirIterator it(src, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString rel = QDir(src).relativeFilePath(from);
        const QString to = t + rel;
        if (it.fileInfo().isDir()) {
            QDir().mkpath(to);
            continue;
        }
        QDir().mkpath(QFileInfo(to).absolutePath());
        if (int err = copyAtomically(from, to)) {
            showFileError("フォルダ間ファイルコピー(CopyFolder)でエラーが発生しました。", lastOsError(err));
            return false;
        }
    }
    doEvents();
    return true;
}

bool CheckFile(const QString& path) {
    const QString p = path.trimmed();
    return !p.isEmpty() && QFileInfo(p).isFile();
}

bool DeleteFile(const QString& path) {
    if (!QFileInfo::exists(path)) return true;
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    if (::unlink(QFile::encodeName(path).constData()) != 0) {
        showFileError("ファイル削除(DeleteFile)でエラーが発生しました。", lastOsError(errno));
        return false;
    }
    return true;
}

bool CopyFile(const QString& source, const QString& target) {
    if (QFileInfo(source).absoluteFilePath() == QFileInfo(target).absoluteFilePath()) return false;
    if (int err = copyAtomically(source, target)) {
        showFileError("ファイルコピー(CopyFile)でエラーが発生しました。", lastOsError(err));
        return false;
    }
    return true;
}

bool RenameFile(const QString& source, const QString& target) {
    if (source == target || !QFileInfo::exists(source)) return false;
    const QString dest = QFileInfo(source).absolutePath() + "/" + FileNameOf(target);
    if (QFileInfo::exists(dest)) return false;
    return ::rename(QFile::encodeName(source).constData(), QFile::encodeName(dest).constData()) == 0;
}

QString CheckDir(const QString& pattern, int /*attributes*/) {
    if (pattern.isEmpty()) return QString();
    const int cut = pattern.lastIndexOf('/');
    const QString folder = cut >= 0 ? pattern.left(cut) : QString(".");
    const QString mask = (cut >= 0 ? pattern.mid(cut + 1) : pattern).toLower();
    if (!QFileInfo(folder).isDir()) return QString();
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    if (mask.contains('*') || mask.contains('?')) {
        const QRegularExpression re(QRegularExpression::wildcardToRegularExpression(
            mask, QRegularExpression::UnanchoredWildcardConversion));
        const QRegularExpression anchored("\\A(?:" + re.pattern() + ")\\z");
        for (const QString& n : names)
            if (anchored.match(n.toLower()).hasMatch()) return n.toLower();
        return QString();
    }
    for (const QString& n : names)
        if (n.toLower() == mask) return mask;
    return QString();
}

qint64 GetFileSize(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) return -1;
    return QFileInfo(path).size();
}

QString FileNameOf(const QString& path) {
    const QString p = path.trimmed();
    const int i = std::max(p.lastIndexOf('/'), p.lastIndexOf('\\'));
    return i < 0 ? QString() : p.mid(i + 1);
}

bool ShellAndWait(const QString& command, int /*windowStyle*/) {
    QStringList args = QProcess::splitCommand(command);
    if (args.isEmpty()) return true;
    QProcess p;
    const QString program = args.takeFirst();
    p.start(program, args);
    if (!p.waitForStarted(5000)) return true;
    while (!p.waitForFinished(50))
        doEvents();
    waitMs(100);
    return false;
}

QString GetSpecialFolderPath(int folderId) {
    switch (folderId) {
    case 0:
        return desktopFolder();
    case 38:
        return services().paths->programsFolder();
    default:
        return QString();
    }
}

QString GetOSVersion() {
    const QOperatingSystemVersion v = QOperatingSystemVersion::current();
    const int major = v.majorVersion(), minor = v.minorVersion();
    if (major == 5) return minor == 0 ? "2000" : "XP";
    if (major == 6) return minor == 0 ? "VISTA" : "7";
    msgBox("OS Version = " + QString::number(major) + "." + QString::number(minor), QString());
    return QString();
}

QString toHalfWidth(const QString& text) {
    QString out = text;
    for (QChar& c : out) {
        const ushort u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(ushort(u - 0xFEE0));
        else if (u == 0x3000)
            c = QChar(' ');
    }
    return out;
}

bool isNumeric(const QString& text) {
    static const QRegularExpression re(R"(\A\s*[+-]?(\d[\d,]*(\.\d*)?|\.\d+)([eE][+-]?\d+)?\s*\z)");
    return re.match(text).hasMatch();
}

int CheckNumericInput(const QString& text) {
    const QString t = toHalfWidth(text.trimmed()).trimmed();
    if (t.isEmpty()) return 0;
    if (isNumeric(t)) {
        if (!t.contains(',')) return 0;
        msgBox("カンマは使用できません。数値を再入力してください。", "再入力", MsgButtons::Ok,
               MsgIcon::Critical);
        return -2;
    }
    msgBox("入力が間違っています。数値を再入力してください。", "再入力", MsgButtons::Ok, MsgIcon::Critical);
    return -1;
}

int CountCommas(const QVariant& text) {
    if (!text.isValid() || text.isNull()) return 0;
    return int(text.toString().count(','));
}

QString RemoveControlChars(const QVariant& text) {
    if (!text.isValid() || text.isNull()) return QString();
    QString out;
    for (QChar c : text.toString().trimmed())
        if (c.unicode() > 31) out += c;
    return out;
}

int CalcAge(const QDate& birth) {
    const QDate t = today();
    int age = t.year() - birth.year();
    if (t.month() < birth.month() || (t.month() == birth.month() && t.day() < birth.day())) --age;
    return age;
}

void SelectAllText(QLineEdit* edit) {
    if (edit) edit->selectAll();
}

void CenterForm(QWidget* window) {
    if (!window) return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect g = screen->availableGeometry();
    window->move(g.x() + (g.width() - window->width()) / 2, g.y() + (g.height() - window->height()) / 2);
}

void SetTopMost(QWidget* window) {
    if (window) window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

} // namespace kvr
