// The submission tab: the completeness rules and their report, the refusals, the archive
// and its interoperability with 7-Zip and the sqlcipher command line, the upload log.
#include "case_records.h"
#include "data/MemberDbSwap.h"
#include "tools/EncryptedZip.h"
#include "tools/Submission.h"
#include "tools/TabSubmission.h"
#include "tools_fixture.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace kvr;

namespace {

TEST(SubmissionRules, EachRuleReportsItsOwnLineInOrder) {
    const QString wrongBirth = "  生年月が間違っています。", noComplaint = "  主訴が選択されていません。";
    const QString noHistory = "  既往歴が選択されていません。";
    const QString history = "  既往歴の回答と病名チェックに矛盾があります。";
    const QString medicine = "  服薬の回答と薬名チェックに矛盾があります。";
    using R = CPatientAdd;
    const struct {
        const char* name;
        std::function<void(R&)> change;
        QStringList findings;
    } cases[] = {
        {"complete (a diagnosis without details)", [](R&) {}, {}},
        {"birth month not a date", [](R& r) { r.BirthDay = "1970/13/01"; }, {wrongBirth}},
        {"birth month a date of another length", [](R& r) { r.BirthDay = "1970/5/1"; }, {wrongBirth}},
        {"birth month written with hyphens", [](R& r) { r.BirthDay = "1970-05-01"; }, {}},
        {"chief complaints of another length", [](R& r) { r.ChiefComplaint2 = "01000000000"; }, {noComplaint}},
        {"no complaint ticked", [](R& r) { r.ChiefComplaint2 = "0000000000"; }, {noComplaint}},
        {"medical history 2", [](R& r) { r.MedicalHistory = 2; }, {noHistory}},
        {"smoking 4", [](R& r) { r.SmokingHistory = 4; }, {"  喫煙歴が選択されていません。"}},
        {"history none, the 22nd disease ticked", [](R& r) { r.DiseaseName = QString(21, '0') + "1"; }, {history}},
        {"a tick beyond the 22 diseases", [](R& r) { r.DiseaseName = QString(22, '0') + "1"; }, {}},
        {"history present without a disease", [](R& r) { r.MedicalHistory = 1; }, {history}},
        {"history unanswered, a disease ticked", [](R& r) { r.MedicalHistory = -9, r.DiseaseName = "1"; }, {noHistory}},
        {"medication none, a medicine ticked", [](R& r) { r.MedicineName = "001000000000"; }, {medicine}},
        {"medication present without a medicine", [](R& r) { r.Ingestion = 1; }, {medicine}},
        {"medication present, the 12th ticked", [](R& r) { r.Ingestion = 1, r.MedicineName = "000000000001"; }, {}},
        {"cleared record",
         [](R& r) { r.ClearBuffer(); },
         {"  生年月が入されていません。", "  性別が選択されていません。", noComplaint, "  喫煙歴が選択されていません。",
          noHistory, "  喪失歯数（智歯を除く) が入力されていません。", "  診断が選択されていません。",
          "  歯周外科治療が選択されていません。"}},
    };
    for (const auto& c : cases) {
        R r = test::MinimalCompleteRecord(1);
        c.change(r);
        EXPECT_EQ(SubmissionFindings(r), c.findings) << c.name;
    }
    // The first diagnosis entry asks for its four details, each within its range.
    const QString lw = "  KVR診断名 限局/広汎が選択されていません。", ca = "  KVR診断名 慢性/侵襲が選択されていません。";
    const QString stage = "  新分類診断名 ステージが選択されていません。", grade = "  新分類診断名 グレードが選択されていません。";
    const struct {
        qint16 lw, ca, stage, grade;
        QStringList findings;
    } details[] = {{1, 2, 4, 3, {}}, {2, 1, 1, 1, {}}, {0, 3, 0, 4, {lw, ca, stage, grade}},
                   {3, 0, 5, 0, {lw, ca, stage, grade}}, {1, -9, 2, -9, {ca, grade}}};
    for (const auto& d : details) {
        R r = test::MinimalCompleteRecord(1);
        r.KvrDiagnosis = 1;
        std::tie(r.KvrDiagnosisLW, r.KvrDiagnosisCA, r.NewDiagnosisStage, r.NewDiagnosisGrade) =
            std::tuple(d.lw, d.ca, d.stage, d.grade);
        EXPECT_EQ(SubmissionFindings(r), d.findings) << d.lw << d.ca << d.stage << d.grade;
    }
}

class SubmissionTabTest : public test::ToolsTest {
protected:
    void SetUp() override {
        ToolsTest::SetUp();
        t.clock->current = QDateTime(QDate(2023, 4, 1), QTime(9, 30, 12));
        TheClinicCode().ClinicCode = "123456";
        tab = std::make_unique<SubmissionTab>();
        tab->onSelected();
    }
    QString reportText() {
        QFile f(SubmissionReportPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : "<none>";
    }
    QStringList saveFolderFiles() { return QDir(app().SaveFolder).entryList(QDir::Files, QDir::Name); }

    std::unique_ptr<SubmissionTab> tab;
};

TEST_F(SubmissionTabTest, ReportListsEveryFindingInOrderAndIsOpenedInsteadOfTheArchiveForEachKind) {
    // 1: no row. 2: two findings, in the order of the rules. 3: complete. 30: the last case
    // patient. 31: no case patient.
    CPatientAdd records[] = {test::MinimalCompleteRecord(2), test::MinimalCompleteRecord(3),
                             test::MinimalCompleteRecord(30), test::MinimalCompleteRecord(31)};
    records[0].Sex = 2;
    records[0].MedicineName = "001000000000";
    records[2].KvrDiagnosis = 4;
    records[3].Sex = -9;
    for (int id : {1, 2, 3, 30, 31})
        addPatient(id);
    for (const CPatientAdd& r : records)
        test::storePatientAdd(r);
    const QString expected = "患者番号:1  追加情報が入力されていません。\r\n患者番号:2  性別が選択されていません。\r\n"
                             "患者番号:2  服薬の回答と薬名チェックに矛盾があります。\r\n"
                             "患者番号:30  診断が選択されていません。\r\n";
    for (int kind = 0; kind < 3; ++kind) {
        test::writeFile(SubmissionReportPath(), "an older report that must go\r\n");
        shell->opened.clear();
        tab->OptSyubetu[kind]->click();
        tab->CmdUploadKVRDB->click();
        EXPECT_TRUE(t.boxes->shown.isEmpty()) << kind;
        EXPECT_EQ(reportText(), expected) << kind;
        EXPECT_EQ(shell->opened, QStringList{SubmissionReportPath()}) << kind;
        EXPECT_TRUE(saveFolderFiles().isEmpty()) << kind;
        EXPECT_TRUE(tab->CmdUploadKVRDB->isEnabled());
        EXPECT_EQ(slot(Slot::Member).conn, nullptr); // the check let go of the database
    }
    // Everything filled in: the report is written empty and not opened.
    for (int id : {1, 2, 30})
        test::storePatientAdd(test::MinimalCompleteRecord(id));
    shell->opened.clear();
    EXPECT_TRUE(CheckSubmissionData());
    EXPECT_EQ(reportText(), QString());
    EXPECT_TRUE(shell->opened.isEmpty());
}

TEST_F(SubmissionTabTest, KindIsStoredHoweverItIsChosenAndNamesTheArchive) {
    EXPECT_EQ(tab->LblUploadKVRDBName->text(), app().SaveFolder + "/_123456_20230401_0930_KVR-DB.zip");
    // A screen reader checks a radio button with its toggle action, without a click.
    QAccessibleInterface* option = QAccessible::queryAccessibleInterface(tab->OptSyubetu[2]);
    ASSERT_TRUE(option && option->actionInterface());
    option->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(tab->OptSyubetu[2]->isChecked());
    EXPECT_EQ(scalar("SELECT ClinicCodeSub || ClinicCode FROM TClinicCode WHERE ID=0").toString(), "H123456");
    EXPECT_TRUE(SubmissionTab().OptSyubetu[2]->isChecked()); // a new tab shows the stored kind
    // The name shown is formed again when the tab is selected (and when the archive is made).
    tab->onSelected();
    EXPECT_EQ(tab->LblUploadKVRDBName->text(), app().SaveFolder + "/H_123456_20230401_0930_KVR-DB.zip");
    // The paths shown are heard after their captions.
    EXPECT_EQ(tab->LblUploadKVRDBName->accessibleName(),
              "実際に提出するZIPファイル名 （圧縮ファイル）：" + tab->LblUploadKVRDBName->text());
    EXPECT_EQ(tab->LblUploadKVRDB->accessibleName(), "提出用ファイルの元となるファイル （KVR-DBのDBファイル）：" + memberPath());
}

TEST_F(SubmissionTabTest, ArchiveOpensWith7ZipAndItsDatabaseWithTheSqlcipherCommandLine) {
    // No case patient (only the samples 98 and 99): an archive without a report.
    tab->TxtClinicCode->setText(" 123456 ");
    tab->OptSyubetu[1]->click();
    tab->CmdUploadKVRDB->click();
    test::expectBox(t, "ファイル作成が完了しました。", "完了", MsgIcon::Information);
    EXPECT_EQ(tab->TxtClinicCode->text(), "123456");
    EXPECT_FALSE(QFileInfo::exists(SubmissionReportPath()));
    const QString name = "N_123456_20230401_0930_KVR-DB";
    EXPECT_EQ(saveFolderFiles(), QStringList({name + ".MDB", name + ".zip"}));
    EXPECT_TRUE(tab->CmdUploadKVRDB->isEnabled());
    EXPECT_TRUE(tab->CmdLogKVRDB->isEnabled());

    const QString zip = app().SaveFolder + "/" + name + ".zip";
    QByteArray out;
    ASSERT_EQ(run("7z", {"l", "-slt", zip}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("Path = " + name.toUtf8() + ".MDB")) << out.toStdString();
    EXPECT_TRUE(out.contains("Method = AES-256 Store")) << out.toStdString();
    QTemporaryDir x;
    const QString extracted = x.path() + "/" + name + ".MDB";
    EXPECT_NE(run("7z", {"x", "-y", "-pWRONGPASS", "-o" + x.path(), zip}, &out), 0);
    EXPECT_FALSE(IsProgramDatabase(extracted));
    ASSERT_EQ(run("7z", {"x", "-y", QString("-p") + kSubmissionArchivePassword, "-o" + x.path(), zip}, &out), 0)
        << out.toStdString();
    EXPECT_TRUE(IsProgramDatabase(extracted));
    const QString count = "SELECT COUNT(*) || '/' || SUM(ID) FROM TExamData";
    const QString sql = QString("PRAGMA key='%1'; PRAGMA cipher_page_size=4096; %2;").arg(kProgramPassword, count);
    ASSERT_EQ(run("sqlcipher", {extracted, sql}, &out), 0) << out.toStdString();
    EXPECT_EQ(out.trimmed().split('\n').last(), scalar(count).toString().toUtf8());
}

TEST_F(SubmissionTabTest, RefusalsAndFailuresShowTheirBoxesAndWriteNoArchive) {
    const struct {
        const char* what;
        std::function<void()> setUp;
        QString box; // "title: text", or its start
        MsgIcon icon;
    } cases[] = {
        {"no kind", [] {}, "未指定: 区分が指定されていません。", MsgIcon::Critical},
        {"no member number (the name shown stays)",
         [this] {
             const QString before = tab->LblUploadKVRDBName->text();
             tab->TxtClinicCode->setText("  ");
             tab->UpdateArchiveName();
             EXPECT_EQ(tab->LblUploadKVRDBName->text(), before);
         },
         "未入力: ファイル作成はできません。\r\n会員番号が指定されていません。", MsgIcon::Critical},
        {"no source database", [this] { tab->LblUploadKVRDB->clear(); },
         "未指定: ファイル作成はできません。\r\n提出用ファイルの元となるＤＢファイル名が指定されていません。",
         MsgIcon::Critical},
        {"the desktop folder is gone", [] { QDir(app().SaveFolder).removeRecursively(); },
         "エラー: ファイル作成ができませんでした。", MsgIcon::Information},
        {"the report cannot be written",
         [this] {
             addPatient(4);
             QDir().mkpath(SubmissionReportPath());
         },
         "エラー: アップロード実行でエラーが発生しました。\r\n\r\n[Error:", MsgIcon::Critical},
    };
    for (const auto& c : cases) {
        tab = std::make_unique<SubmissionTab>();
        tab->onSelected();
        if (&c != cases) tab->OptSyubetu[0]->click(); // a kind, but for the first case
        c.setUp();
        t.boxes->clear();
        tab->CmdUploadKVRDB->click();
        ASSERT_FALSE(t.boxes->shown.isEmpty()) << c.what;
        EXPECT_TRUE(boxTexts().last().startsWith(c.box)) << c.what << ": " << boxTexts().last().toStdString();
        EXPECT_EQ(t.boxes->shown.last().icon, c.icon) << c.what;
        EXPECT_TRUE(tab->CmdUploadKVRDB->isEnabled()) << c.what;
        EXPECT_TRUE(tab->CmdLogKVRDB->isEnabled()) << c.what;
        EXPECT_TRUE(saveFolderFiles().isEmpty()) << c.what;
        QDir().mkpath(app().SaveFolder);
    }
}

TEST_F(SubmissionTabTest, UploadLogIsOpenedOrReportedMissing) {
    const QString log = appFolder() + "/Log_KVRDB_Upload.txt";
    tab->CmdLogKVRDB->click();
    test::expectBox(t, "ログファイルが見つかりません。\r\n\r\n" + log, "ファイルなし", MsgIcon::Exclamation);
    test::writeFile(log, "");
    tab->CmdLogKVRDB->click();
    EXPECT_EQ(shell->opened, QStringList{log});
}

} // namespace
