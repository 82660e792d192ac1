#include "EncryptedZip.h"

#include "data/MemberDbSwap.h"
#include "platform/runtime_error.h"

#include <QFile>
#include <QFileInfo>

#include <zip.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace kvr {

namespace {

[[noreturn]] void fail(int number, const QString& what) {
    throw RuntimeError(number, what);
}

QString zipMessage(zip_error_t* e) {
    return QString::fromLocal8Bit(zip_error_strerror(e));
}

void progressCallback(zip_t*, double, void* state) {
    const auto* f = static_cast<const std::function<void()>*>(state);
    if (f && *f) (*f)();
}

// Reads the archive's only entry with the password and compares it with the file.
void verify(const QString& archive, const QString& file, const QString& password) {
    int err = 0;
    zip_t* z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!z) {
        zip_error_t e;
        zip_error_init_with_code(&e, err);
        const QString msg = zipMessage(&e);
        zip_error_fini(&e);
        fail(err, "作成した圧縮ファイルを読み込めません。(" + msg + ")");
    }
    std::unique_ptr<zip_t, void (*)(zip_t*)> guard(z, [](zip_t* p) { zip_discard(p); });
    if (zip_get_num_entries(z, 0) != 1) fail(0, "作成した圧縮ファイルの内容が正しくありません。");
    zip_file_t* zf = zip_fopen_index_encrypted(z, 0, 0, password.toUtf8().constData());
    if (!zf) fail(zip_error_code_zip(zip_get_error(z)), "作成した圧縮ファイルを開けません。(" + zipMessage(zip_get_error(z)) + ")");
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> fileGuard(zf, zip_fclose);
    QFile original(file);
    if (!original.open(QIODevice::ReadOnly)) fail(errno, "元のファイルを読み込めません。" + file);
    QByteArray a(1 << 20, Qt::Uninitialized), b;
    for (;;) {
        const zip_int64_t n = zip_fread(zf, a.data(), zip_uint64_t(a.size()));
        if (n < 0) fail(zip_error_code_zip(zip_file_get_error(zf)), "作成した圧縮ファイルの内容が壊れています。(" + zipMessage(zip_file_get_error(zf)) + ")");
        b = original.read(n > 0 ? n : 1);
        if (n == 0) {
            if (!b.isEmpty()) fail(0, "作成した圧縮ファイルの内容が元のファイルと一致しません。");
            break;
        }
        if (b.size() != n || std::memcmp(a.constData(), b.constData(), size_t(n)) != 0)
            fail(0, "作成した圧縮ファイルの内容が元のファイルと一致しません。");
    }
}

} // namespace

QString ZipTempPath(const QString& archivePath) {
    return archivePath + ".kvrtmp";
}

void WriteEncryptedZip(const QString& archivePath, const QString& file, const QString& entryName,
                       const QString& password, const ZipOptions& options) {
    const QString tmp = ZipTempPath(archivePath);
    const QByteArray tmpName = QFile::encodeName(tmp);
    ::unlink(tmpName.constData());
    try {
        int err = 0;
        zip_t* z = zip_open(tmpName.constData(), ZIP_CREATE | ZIP_TRUNCATE, &err);
        if (!z) fail(err, "圧縮ファイルを作成できません。" + tmp);
        auto discard = [&](const QString& what) {
            const int code = zip_error_code_zip(zip_get_error(z));
            const QString msg = what + "(" + zipMessage(zip_get_error(z)) + ")";
            zip_discard(z);
            fail(code, msg);
        };
        zip_source_t* src = zip_source_file(z, QFile::encodeName(file).constData(), 0, -1);
        if (!src) discard("元のファイルを読み込めません。" + file);
        const zip_int64_t idx = zip_file_add(z, entryName.toUtf8().constData(), src, ZIP_FL_ENC_GUESS);
        if (idx < 0) {
            zip_source_free(src);
            discard("圧縮ファイルにファイルを追加できません。");
        }
        if (zip_set_file_compression(z, zip_uint64_t(idx), options.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0) != 0 ||
            zip_file_set_encryption(z, zip_uint64_t(idx), ZIP_EM_AES_256, password.toUtf8().constData()) != 0)
            discard("暗号化を設定できません。");
        zip_register_progress_callback_with_state(z, 0.02, progressCallback, nullptr,
                                                  const_cast<std::function<void()>*>(&options.progress));
        if (zip_close(z) != 0) discard("圧縮ファイルを書き込めません。");

        verify(tmp, file, password);
        if (!SyncToDisk(tmp)) fail(errno, "圧縮ファイルを書き込めません。" + tmp);
        if (::rename(tmpName.constData(), QFile::encodeName(archivePath).constData()) != 0)
            fail(errno, QString("圧縮ファイルの名前を変更できません。") + QString::fromLocal8Bit(std::strerror(errno)));
        // An archive whose name may not survive a power cut is not reported as written.
        if (!SyncToDisk(QFileInfo(archivePath).absolutePath(), true)) {
            const int err = errno;
            ::unlink(QFile::encodeName(archivePath).constData());
            fail(err, "圧縮ファイルを書き込めません。" + archivePath);
        }
    } catch (...) {
        ::unlink(tmpName.constData());
        throw;
    }
}

} // namespace kvr
