#include "Submission.h"

#include "CPatientAdd.h"
#include "EncryptedZip.h"
#include "data/ADODBMain.h"
#include "platform/desktop_shell.h"
#include "platform/services.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QDate>
#include <QFile>
#include <QSaveFile>

namespace kvr {

namespace {

bool between(int v, int low, int high) {
    return v >= low && v <= high;
}

// The answer "present" (1) needs at least one ticked entry, "none" (0) none.
bool contradicts(int answer, const QString& flags, int entries) {
    const int ticked = int(flags.left(entries).count('1'));
    return (answer == 0 && ticked >= 1) || (answer == 1 && ticked == 0);
}

} // namespace

QString SubmissionArchiveName(const QString& letter, const QString& memberNo, const QDateTime& at) {
    return letter + "_" + memberNo.trimmed() + "_" + at.toString("yyyyMMdd_HHmm_") + "KVR-DB" + ".zip";
}

QString SubmissionCopyPath(const QString& archivePath) {
    return archivePath.left(archivePath.size() - 3) + "MDB";
}

QString SubmissionReportPath() {
    return app().MemberFolder + "/Log_Error.txt";
}

QStringList SubmissionFindings(const CPatientAdd& r) {
    QStringList f;
    if (r.BirthDay.isEmpty())
        f << "  生年月が入されていません。";
    else if (r.BirthDay.size() != 10 || !DateOfText(r.BirthDay).isValid())
        f << "  生年月が間違っています。";
    if (!between(r.Sex, 0, 1)) f << "  性別が選択されていません。";
    if (r.ChiefComplaint2.size() != CPatientAdd::kChiefComplaints ||
        r.ChiefComplaint2 == QString(CPatientAdd::kChiefComplaints, '0'))
        f << "  主訴が選択されていません。";
    if (!between(r.SmokingHistory, 0, 3)) f << "  喫煙歴が選択されていません。";
    if (!between(r.MedicalHistory, 0, 1)) f << "  既往歴が選択されていません。";
    if (r.MissingToothNum < 0) f << "  喪失歯数（智歯を除く) が入力されていません。";
    if (!between(r.KvrDiagnosis, 1, 3)) f << "  診断が選択されていません。";
    if (r.KvrDiagnosis == 1) {
        if (!between(r.KvrDiagnosisLW, 1, 2)) f << "  KVR診断名 限局/広汎が選択されていません。";
        if (!between(r.KvrDiagnosisCA, 1, 2)) f << "  KVR診断名 慢性/侵襲が選択されていません。";
        if (!between(r.NewDiagnosisStage, 1, 4)) f << "  新分類診断名 ステージが選択されていません。";
        if (!between(r.NewDiagnosisGrade, 1, 3)) f << "  新分類診断名 グレードが選択されていません。";
    }
    if (!between(r.PerioSurgeryTreatment, 0, 1)) f << "  歯周外科治療が選択されていません。";
    if (contradicts(r.MedicalHistory, r.DiseaseName, CPatientAdd::kDiseases))
        f << "  既往歴の回答と病名チェックに矛盾があります。";
    if (contradicts(r.Ingestion, r.MedicineName, CPatientAdd::kMedicines))
        f << "  服薬の回答と薬名チェックに矛盾があります。";
    return f;
}

QStringList SubmissionReportLines(const db::ConnectionPtr& conn) {
    QList<int> patients;
    {
        db::Recordset rs(conn, "SELECT * FROM TPatient WHERE ID<=30 ORDER BY ID");
        for (; !rs.eof(); rs.moveNext())
            patients << rs.value("ID").toInt();
    }
    QStringList lines;
    for (int id : patients) {
        db::Recordset rs(conn, "SELECT * FROM TPatientAdd WHERE ID=?", {id});
        const QString head = "患者番号:" + QString::number(id);
        if (rs.eof()) {
            lines << head + "  追加情報が入力されていません。";
            continue;
        }
        CPatientAdd record;
        record.RecSetGet(rs);
        for (const QString& finding : SubmissionFindings(record))
            lines << head + finding;
    }
    return lines;
}

bool CheckSubmissionData() {
    if (!OpenMemberDb()) return false;
    struct Release {
        ~Release() { CloseMemberDb(); }
    } release;
    if (!memberConn()->scalar("SELECT COUNT(*) FROM TPatient WHERE ID<=30").toInt()) return true;
    const QStringList lines = SubmissionReportLines(memberConn());
    QSaveFile report(SubmissionReportPath());
    QByteArray text;
    for (const QString& l : lines)
        text += (l + "\r\n").toUtf8();
    if (!report.open(QIODevice::WriteOnly) || report.write(text) != text.size() || !report.commit())
        throw RuntimeError(report.error(), "チェック結果のファイルを書き込めません。" + SubmissionReportPath() +
                                               " (" + report.errorString() + ")");
    if (lines.isEmpty()) return true;
    desktopShell().openDocument(SubmissionReportPath());
    return false;
}

bool WriteSubmissionArchive(const QString& sourceDb, const QString& archivePath) {
    const QString copy = SubmissionCopyPath(archivePath);
    DeleteFile(copy);
    if (CopyFile(sourceDb, copy)) {
        ZipOptions o;
        o.progress = [] { doEvents(); };
        WriteEncryptedZip(archivePath, copy, FileNameOf(copy), kSubmissionArchivePassword, o);
    }
    return CheckFile(archivePath);
}

} // namespace kvr
