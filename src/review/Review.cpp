#include "review/Review.h"

#include "chart/ChartViewModel.h"
#include "chart/Sheets.h"
#include "exam/CSubExam.h"
#include "exam/ExamObjects.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "tools/Submission.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryDir>

#include <zip.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace kvr::review {

namespace {

// The extracted database and its folder, kept as plain characters so that the
// interrupt handler can remove them without allocating.
char gTempFile[4096];
char gTempDir[4096];

void setTempPaths(const QByteArray& file, const QByteArray& dir) {
    gTempFile[0] = gTempDir[0] = 0;
    if (file.size() >= int(sizeof gTempFile) || dir.size() >= int(sizeof gTempDir)) return;
    std::memcpy(gTempFile, file.constData(), size_t(file.size()) + 1);
    std::memcpy(gTempDir, dir.constData(), size_t(dir.size()) + 1);
}

extern "C" void onInterrupt(int sig) {
    if (gTempFile[0]) ::unlink(gTempFile);
    if (gTempDir[0]) ::rmdir(gTempDir);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

struct Failure {
    QString message;
};

// The database member of an archive, extracted into a private folder that is removed
// with this object.
class Extracted {
public:
    Extracted(const QString& archive, const QString& password) {
        if (!dir_.isValid()) throw Failure{"一時フォルダを作成できません。"};
        int err = 0;
        zip_t* z = zip_open(QFile::encodeName(archive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
        if (!z) {
            if (err == ZIP_ER_NOENT || err == ZIP_ER_OPEN || err == ZIP_ER_READ)
                throw Failure{"圧縮ファイルを読み込めません。"};
            throw Failure{"圧縮ファイルが壊れています。"};
        }
        std::unique_ptr<zip_t, void (*)(zip_t*)> guard(z, [](zip_t* p) { zip_discard(p); });
        QList<zip_uint64_t> members;
        const zip_int64_t n = zip_get_num_entries(z, 0);
        for (zip_int64_t i = 0; i < n; ++i) {
            const char* name = zip_get_name(z, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
            if (name && QString::fromUtf8(name).endsWith(".MDB", Qt::CaseInsensitive)) members << zip_uint64_t(i);
        }
        if (members.isEmpty()) throw Failure{"圧縮ファイルに会員データベースがありません。"};
        if (members.size() > 1) throw Failure{"圧縮ファイルに会員データベースが複数あります。"};
        zip_file_t* zf = zip_fopen_index_encrypted(z, members[0], 0, password.toUtf8().constData());
        if (!zf) {
            const int code = zip_error_code_zip(zip_get_error(z));
            if (code == ZIP_ER_WRONGPASSWD || code == ZIP_ER_NOPASSWD) throw Failure{"パスワードが違います。"};
            throw Failure{"圧縮ファイルが壊れています。"};
        }
        std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> fileGuard(zf, zip_fclose);
        path_ = dir_.path() + "/member.MDB";
        const QByteArray file = QFile::encodeName(path_);
        setTempPaths(file, QFile::encodeName(dir_.path()));
        const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) throw Failure{"一時ファイルを作成できません。"};
        QByteArray buf(1 << 20, Qt::Uninitialized);
        for (;;) {
            const zip_int64_t got = zip_fread(zf, buf.data(), zip_uint64_t(buf.size()));
            if (got < 0) {
                ::close(fd);
                const int code = zip_error_code_zip(zip_file_get_error(zf));
                throw Failure{code == ZIP_ER_WRONGPASSWD ? "パスワードが違います。" : "圧縮ファイルが壊れています。"};
            }
            if (got == 0) break;
            for (zip_int64_t done = 0; done < got;) {
                const ssize_t w = ::write(fd, buf.constData() + done, size_t(got - done));
                if (w <= 0) {
                    ::close(fd);
                    throw Failure{"一時ファイルに書き込めません。"};
                }
                done += w;
            }
        }
        ::close(fd);
    }
    ~Extracted() {
        QFile::remove(path_);
        setTempPaths({}, {});
    }
    QString path() const { return path_; }

private:
    QTemporaryDir dir_{QDir::tempPath() + "/kvr-review-XXXXXX"};
    QString path_;
};

ApplicantKind kindOf(const QString& letter) {
    for (int i = 0; i < 3; ++i)
        if (letter == QString::fromUtf8(kSubmissionKinds[i].letter)) return ApplicantKind(i);
    return ApplicantKind::Specialist;
}

void loadBandItems(const db::ConnectionPtr& conn) {
    std::array<CSubExam, 4> items;
    for (int i = 0; i < 4; ++i) {
        items[i].ClearBuffer();
        db::Recordset rs(conn, "SELECT * FROM TSubExam WHERE DisplayRow=?", {i + 1});
        if (!rs.eof()) items[i].RecSetGet(rs);
    }
    SubExams() = items;
}

QString yesNo(bool v) {
    return v ? QStringLiteral("はい") : QStringLiteral("いいえ");
}

QString csvField(QString s) {
    s = s.trimmed();
    if (s.contains(',') || s.contains('"') || s.contains('\n') || s.contains('\r'))
        return '"' + s.replace('"', "\"\"") + '"';
    return s;
}

void readCases(ArchiveReview& a, const db::ConnectionPtr& conn, const QString& outFolder, bool writeSheets) {
    const QStringList report = SubmissionReportLines(conn);
    QList<int> ids;
    for (db::Recordset rs(conn, "SELECT ID FROM TPatient WHERE ID<=30 ORDER BY ID"); !rs.eof(); rs.moveNext())
        ids << rs.value("ID").toInt();
    const std::array<int, 3> limits = PocketBandLimits();
    const ApplicantKind kind = kindOf(a.kindLetter);
    QHash<QString, int> caseCount;
    QSet<QString> written; // two cases under one case number must not share a file
    for (int id : ids) {
        CaseReview c;
        c.patientNo = id;
        ChartPatientData data;
        LoadChartPatient(conn, id, data);
        c.caseNumber = data.caseNumber.trimmed();
        const QString head = "患者番号:" + QString::number(id) + "  ";
        for (const QString& line : report)
            if (line.startsWith(head)) c.missing << line.mid(head.size() - 2).trimmed();
        QDate last;
        for (int k = 0; k < 4; ++k) {
            const ChartStageData& s = data.stages[k];
            c.stages[k] = StageFiguresOf(s, limits);
            if (!s.HasData) continue;
            const QDate d = s.ExamDate.date();
            if (last.isValid() && d < last) c.datesInOrder = false;
            last = d;
            if (a.archiveDate.isValid() && d > a.archiveDate.date()) c.futureStage = true;
        }
        c.stagePeriodProblem = CheckStagePeriod(conn, id);
        c.initialCriterionMet = !CheckInitialCaseCriteria(conn, id, c.initialPct, c.initialCount);
        if (!c.caseNumber.isEmpty()) ++caseCount[c.caseNumber];
        if (writeSheets) {
            SheetSource src;
            src.stages = &data.stages;
            src.patientNo = id;
            src.caseNumber = data.caseNumber;
            const QString caseId = CaseIdentifier(data.caseNumber, id);
            auto write = [&](bool chart) {
                QString name = SheetPdfFileName(int(kind), a.memberNo, caseId, chart, a.archiveDate);
                if (written.contains(name)) name.insert(name.size() - 4, "_" + QString::number(id));
                written.insert(name);
                const bool ok = WriteSheetPdf(outFolder + "/" + name, chart ? SheetKind::Chart : SheetKind::Data, src,
                                              kind, !chart && c.stagePeriodProblem);
                if (!ok) throw Failure{"「" + outFolder + "/" + name + "」に書き込めません。"};
                c.pdfs << name;
            };
            if (ChartSheetPrintable(data.stages)) write(true);
            if (DataSheetPrintable(data.stages)) write(false);
        }
        a.cases << c;
    }
    for (CaseReview& c : a.cases)
        c.duplicateCaseNumber = !c.caseNumber.isEmpty() && caseCount.value(c.caseNumber) > 1;
}

} // namespace

bool ArchiveReview::complete() const {
    for (const CaseReview& c : cases)
        if (!c.complete()) return false;
    return opened();
}

void InstallInterruptCleanup() {
    struct sigaction sa {};
    sa.sa_handler = onInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
}

QDateTime ArchiveDateOf(const QString& archivePath) {
    static const QRegularExpression re(QStringLiteral("_(\\d{8})_(\\d{4})_KVR-DB\\.zip$"),
                                       QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = re.match(QFileInfo(archivePath).fileName());
    if (m.hasMatch()) {
        const QDateTime d = QDateTime::fromString(m.captured(1) + m.captured(2), QStringLiteral("yyyyMMddHHmm"));
        if (d.isValid()) return d;
    }
    return QFileInfo(archivePath).lastModified();
}

ArchiveReview ReviewArchive(const QString& archivePath, const QString& password, const QString& outFolder,
                            bool writeSheets) {
    ArchiveReview a;
    a.archive = archivePath;
    a.archiveDate = ArchiveDateOf(archivePath);
    a.outFolder = outFolder;
    try {
        if (!QFileInfo(archivePath).isFile()) throw Failure{"ファイルがありません。"};
        Extracted x(archivePath, password);
        db::ConnectionPtr conn;
        try {
            conn = db::Connection::openReadOnly(x.path(), kProgramPassword);
        } catch (const RuntimeError&) {
            throw Failure{"会員データベースを開けません（データベースではないか、壊れています）。"};
        }
        try {
            a.integrity = conn->scalar("PRAGMA integrity_check").toString();
            {
                db::Recordset rs(conn, "SELECT * FROM TClinicCode WHERE ID=0");
                if (!rs.eof()) {
                    a.memberNo = rs.value("ClinicCode").toString().trimmed();
                    a.kindLetter = rs.value("ClinicCodeSub").toString().trimmed();
                }
            }
            if (conn->tableExists("TVersion")) {
                db::Recordset rs(conn, "SELECT * FROM TVersion WHERE ID=1");
                if (!rs.eof())
                    a.schemaVersion = rs.value("Major").toInt() * 10000 + rs.value("Minor").toInt() * 1000 +
                                      rs.value("Revision").toInt();
            }
            // The versions this program has written: 0.1.0 up to the 1.0.1 it stamps.
            a.schemaKnown = a.schemaVersion >= 1000 && a.schemaVersion <= 10001;
            loadBandItems(conn);
            if (!QDir().mkpath(outFolder)) throw Failure{"「" + outFolder + "」が作成できません。"};
            readCases(a, conn, outFolder, writeSheets);
        } catch (const RuntimeError& e) {
            throw Failure{"会員データベースを読み込めません。(" + e.description + ")"};
        }
        conn->close();
    } catch (const Failure& f) {
        a.error = f.message;
        a.cases.clear();
    }
    return a;
}

QStringList ArchivesOf(const QStringList& inputs) {
    QStringList out;
    for (const QString& in : inputs) {
        const QFileInfo fi(in);
        if (fi.isDir()) {
            const QStringList names = QDir(in).entryList({"*.zip", "*.ZIP"}, QDir::Files, QDir::Name);
            for (const QString& n : names)
                out << QDir(in).filePath(n);
        } else {
            out << in;
        }
    }
    return out;
}

QString OutFolderOf(const QString& archivePath, const QString& out) {
    const QFileInfo fi(archivePath);
    const QString base = fi.completeBaseName();
    return (out.isEmpty() ? fi.absolutePath() : out) + "/" + base;
}

QString CsvHeading(bool withArchive) {
    QStringList h;
    if (withArchive) h << "圧縮ファイル" << "会員番号" << "区分";
    h << "患者番号" << "症例番号";
    for (const char* stage : {"初診時", "基本治療終了時", "ＳＰＴ移行時", "最新ＳＰＴ時"}) {
        const QString s = QString::fromUtf8(stage);
        for (const char* col : {"検査日", "現在歯数", "BOP", "PCR", "平均PPD", "PISA", "PESA"})
            h << s + QString::fromUtf8(col);
    }
    h << "期間確認" << "初診時4mm以上(%)" << "初診時6mm以上(部位)" << "初診時症例基準" << "完了" << "不足項目"
      << "整合性確認" << "スキーマ版" << "検査日の順序" << "圧縮日以降の検査" << "症例番号の重複";
    return h.join(',');
}

QStringList CsvRows(const ArchiveReview& a, bool withArchive) {
    QStringList rows;
    const QString prefix = withArchive ? csvField(QFileInfo(a.archive).fileName()) + "," + csvField(a.memberNo) +
                                             "," + csvField(a.kindLetter) + ","
                                       : QString();
    if (!a.opened()) {
        if (withArchive) rows << prefix + QString(35, ',') + csvField(a.error) + QString(5, ',');
        return rows;
    }
    for (const CaseReview& c : a.cases) {
        QStringList f;
        f << QString::number(c.patientNo) << csvField(c.caseNumber);
        for (const StageFigures& s : c.stages)
            f << s.date << s.teeth << csvField(s.bop) << s.pcr << s.ppdMean << s.pisa.trimmed() << s.pesa.trimmed();
        f << (c.stagePeriodProblem ? "6か月未満" : "問題なし") << c.initialPct << c.initialCount
          << (c.initialCriterionMet ? "満たす" : "満たさない") << yesNo(c.complete()) << csvField(c.missing.join(" / "))
          << csvField(a.integrity) << (QString::number(a.schemaVersion) + (a.schemaKnown ? "" : "（不明）"))
          << (c.datesInOrder ? "正しい" : "順序違い") << (c.futureStage ? "あり" : "なし")
          << (c.duplicateCaseNumber ? "重複" : "なし");
        rows << prefix + f.join(',');
    }
    return rows;
}

bool WriteCsv(const QString& path, const QStringList& lines) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QByteArray text("\xEF\xBB\xBF");
    for (const QString& l : lines)
        text += (l + "\r\n").toUtf8();
    return f.write(text) == text.size() && f.commit();
}

int Run(const Options& o, const std::function<void(const QString&)>& err) {
    const QStringList archives = ArchivesOf(o.inputs);
    if (archives.isEmpty()) {
        err("kvr-review: 圧縮ファイルがありません。");
        return kNotOpened;
    }
    bool folder = false;
    for (const QString& in : o.inputs)
        folder = folder || QFileInfo(in).isDir();
    QElapsedTimer clock;
    clock.start();
    int status = kAllComplete;
    QStringList combined{CsvHeading(true)};
    for (int k = 0; k < archives.size(); ++k) {
        const QString& path = archives[k];
        if (clock.elapsed() > 1000)
            err(QStringLiteral("kvr-review: %1 / %2: %3").arg(k + 1).arg(archives.size()).arg(path));
        const QString out = OutFolderOf(path, o.out);
        ArchiveReview a = ReviewArchive(path, o.password, out, o.writeSheets);
        if (!a.opened()) {
            err(path + ": " + a.error);
            status = kNotOpened;
        } else {
            QStringList lines{CsvHeading(false)};
            lines << CsvRows(a, false);
            const QString csv = out + "/summary.csv", pdf = out + "/overview.pdf";
            if (!WriteCsv(csv, lines)) {
                err(path + ": 「" + csv + "」に書き込めません。");
                status = kNotOpened;
            }
            if (!WriteOverviewPdf(pdf, a)) {
                err(path + ": 「" + pdf + "」に書き込めません。");
                status = kNotOpened;
            }
            if (!a.complete() && status == kAllComplete) status = kSomeIncomplete;
        }
        combined << CsvRows(a, true);
    }
    if (folder || archives.size() > 1) {
        QString where = o.out;
        if (where.isEmpty()) {
            for (const QString& in : o.inputs)
                if (QFileInfo(in).isDir()) {
                    where = in;
                    break;
                }
            if (where.isEmpty()) where = QFileInfo(archives[0]).absolutePath();
        }
        QDir().mkpath(where);
        if (!WriteCsv(where + "/combined.csv", combined)) {
            err("「" + where + "/combined.csv」に書き込めません。");
            status = kNotOpened;
        }
    }
    return status;
}

} // namespace kvr::review
