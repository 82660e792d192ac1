// The submission tab: the completeness check and its report, the archive and its
// interoperability with 7-Zip and the sqlcipher command line, the upload log.
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
#include <QTest>

using namespace kvr;

namespace {

class SubmissionTest : public test::ToolsTest {
protected:
    QString reportText() {
        QFile f(SubmissionReportPath());
        if (!f.open(QIODevice::ReadOnly)) return "<none>";
        return QString::fromUtf8(f.readAll());
    }
    // A record that passes every rule.
    static CPatientAdd complete(int id) {
        CPatientAdd r;
        r.ClearBuffer();
        r.ID = id;
        r.BirthDay = "1970/05/01";
        r.Sex = 1;
        r.ChiefComplaint2 = "0100000000";
        r.SmokingHistory = 0;
        r.MedicalHistory = 0;
        r.Ingestion = 1;
        r.MedicineName = "001000000000";
        r.MissingToothNum = 2;
        r.KvrDiagnosis = 1;
        r.KvrDiagnosisLW = 2;
        r.KvrDiagnosisCA = 1;
        r.NewDiagnosisStage = 3;
        r.NewDiagnosisGrade = 2;
        r.PerioSurgeryTreatment = 0;
        return r;
    }
    QStringList saveFolderFiles() { return QDir(app().SaveFolder).entryList(QDir::Files, QDir::Name); }
};

TEST_F(SubmissionTest, EachRuleReportsItsOwnLineInOrder) {
    using Change = std::function<void(CPatientAdd&)>;
    struct Case {
        const char* name;
        Change change;
        QStringList findings;
    };
    const Case cases[] = {
        {"complete", [](CPatientAdd&) {}, {}},
        {"birth month empty", [](CPatientAdd& r) { r.BirthDay = ""; }, {"  生年月が入されていません。"}},
        {"birth month not a date", [](CPatientAdd& r) { r.BirthDay = "1970/13/01"; }, {"  生年月が間違っています。"}},
        {"birth month a date of another length", [](CPatientAdd& r) { r.BirthDay = "1970/5/1"; },
         {"  生年月が間違っています。"}},
        {"birth month a date of ten characters written with hyphens", [](CPatientAdd& r) { r.BirthDay = "1970-05-01"; },
         {}},
        {"chief complaints of another length", [](CPatientAdd& r) { r.ChiefComplaint2 = "01000000000"; },
         {"  主訴が選択されていません。"}},
        {"medical history 2", [](CPatientAdd& r) { r.MedicalHistory = 2; }, {"  既往歴が選択されていません。"}},
        {"medication none but a medicine ticked", [](CPatientAdd& r) { r.Ingestion = 0; },
         {"  服薬の回答と薬名チェックに矛盾があります。"}},
        {"sex", [](CPatientAdd& r) { r.Sex = -9; }, {"  性別が選択されていません。"}},
        {"no complaint ticked", [](CPatientAdd& r) { r.ChiefComplaint2 = "0000000000"; }, {"  主訴が選択されていません。"}},
        {"smoking 4", [](CPatientAdd& r) { r.SmokingHistory = 4; }, {"  喫煙歴が選択されていません。"}},
        {"missing teeth not entered", [](CPatientAdd& r) { r.MissingToothNum = -9; },
         {"  喪失歯数（智歯を除く) が入力されていません。"}},
        {"no diagnosis", [](CPatientAdd& r) { r.KvrDiagnosis = -9; }, {"  診断が選択されていません。"}},
        {"diagnosis 2 without its details",
         [](CPatientAdd& r) {
             r.KvrDiagnosis = 2;
             r.KvrDiagnosisLW = r.KvrDiagnosisCA = r.NewDiagnosisStage = r.NewDiagnosisGrade = -9;
         },
         {}},
        {"diagnosis 1 without its details",
         [](CPatientAdd& r) { r.KvrDiagnosisLW = r.KvrDiagnosisCA = r.NewDiagnosisStage = r.NewDiagnosisGrade = -9; },
         {"  KVR診断名 限局/広汎が選択されていません。", "  KVR診断名 慢性/侵襲が選択されていません。",
          "  新分類診断名 ステージが選択されていません。", "  新分類診断名 グレードが選択されていません。"}},
        {"stage 5, grade 4", [](CPatientAdd& r) { r.NewDiagnosisStage = 5; r.NewDiagnosisGrade = 4; },
         {"  新分類診断名 ステージが選択されていません。", "  新分類診断名 グレードが選択されていません。"}},
        {"surgery", [](CPatientAdd& r) { r.PerioSurgeryTreatment = 2; }, {"  歯周外科治療が選択されていません。"}},
        {"history none but a disease ticked", [](CPatientAdd& r) { r.DiseaseName = QString(21, '0') + "1"; },
         {"  既往歴の回答と病名チェックに矛盾があります。"}},
        {"a tick beyond the 22 diseases does not count", [](CPatientAdd& r) { r.DiseaseName = QString(22, '0') + "1"; },
         {}},
        {"history present without a disease", [](CPatientAdd& r) { r.MedicalHistory = 1; },
         {"  既往歴の回答と病名チェックに矛盾があります。"}},
        {"medication present without a medicine", [](CPatientAdd& r) { r.MedicineName = QString(12, '0'); },
         {"  服薬の回答と薬名チェックに矛盾があります。"}},
        {"medical history unanswered also contradicts nothing",
         [](CPatientAdd& r) { r.MedicalHistory = -9; }, {"  既往歴が選択されていません。"}},
        {"cleared record",
         [](CPatientAdd& r) {
             const int id = r.ID;
             r.ClearBuffer();
             r.ID = id;
         },
         {"  生年月が入されていません。", "  性別が選択されていません。", "  主訴が選択されていません。",
          "  喫煙歴が選択されていません。", "  既往歴が選択されていません。",
          "  喪失歯数（智歯を除く) が入力されていません。", "  診断が選択されていません。",
          "  歯周外科治療が選択されていません。"}},
    };
    for (const Case& c : cases) {
        CPatientAdd r = complete(1);
        c.change(r);
        EXPECT_EQ(SubmissionFindings(r), c.findings) << c.name;
    }
}

TEST_F(SubmissionTest, ReportHasOneLinePerFindingAndIsOpenedInsteadOfTheArchive) {
    for (int id : {3, 5, 12, 31})
        addPatient(id);
    test::storePatientAdd(complete(3));
    CPatientAdd twelve = complete(12);
    twelve.Sex = -9;
    twelve.SmokingHistory = 7;
    test::storePatientAdd(twelve);
    test::writeFile(SubmissionReportPath(), "an older report that must go\r\n");

    EXPECT_FALSE(CheckSubmissionData());
    EXPECT_EQ(reportText(), QStringLiteral("患者番号:5  追加情報が入力されていません。\r\n"
                                           "患者番号:12  性別が選択されていません。\r\n"
                                           "患者番号:12  喫煙歴が選択されていません。\r\n"));
    EXPECT_EQ(shell->opened, QStringList{SubmissionReportPath()});

    // Everything filled in: the report is written empty and not opened.
    test::storePatientAdd(complete(5));
    test::storePatientAdd(complete(12));
    shell->opened.clear();
    EXPECT_TRUE(CheckSubmissionData());
    EXPECT_EQ(reportText(), QString());
    EXPECT_TRUE(shell->opened.isEmpty());
    EXPECT_EQ(slot(Slot::Member).conn, nullptr); // the check let go of the database
}

class SubmissionTabTest : public SubmissionTest {
protected:
    void SetUp() override {
        SubmissionTest::SetUp();
        t.clock->current = QDateTime(QDate(2023, 4, 1), QTime(9, 30, 12));
        TheClinicCode().ClinicCode = "123456";
        tab = std::make_unique<SubmissionTab>();
        tab->onSelected();
    }
    std::unique_ptr<SubmissionTab> tab;
};

TEST_F(SubmissionTabTest, NoKindExaminesNothingAndWritesNothing) {
    addPatient(5);
    EXPECT_EQ(tab->LblUploadKVRDB->text(), memberPath());
    EXPECT_EQ(tab->LblUploadKVRDBName->text(), app().SaveFolder + "/_123456_20230401_0930_KVR-DB.zip");
    tab->CmdUploadKVRDB->click();
    test::expectBox(t, "区分が指定されていません。", "未指定", MsgIcon::Critical);
    EXPECT_FALSE(QFileInfo::exists(SubmissionReportPath()));
    EXPECT_TRUE(saveFolderFiles().isEmpty());
}

TEST_F(SubmissionTabTest, KindIsSavedAndPatientWithoutInformationStopsTheArchive) {
    addPatient(5);
    tab->OptSyubetu[1]->click();
    EXPECT_EQ(scalar("SELECT ClinicCodeSub FROM TClinicCode WHERE ID=0").toString(), "N");
    EXPECT_EQ(scalar("SELECT ClinicCode FROM TClinicCode WHERE ID=0").toString(), "123456");
    EXPECT_EQ(SubmissionTab().OptSyubetu[1]->isChecked(), true); // a new tab shows the stored kind

    tab->CmdUploadKVRDB->click();
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(reportText(), QStringLiteral("患者番号:5  追加情報が入力されていません。\r\n"));
    EXPECT_EQ(shell->opened, QStringList{SubmissionReportPath()});
    EXPECT_TRUE(saveFolderFiles().isEmpty());
}

TEST_F(SubmissionTabTest, KindChosenByAnAssistiveTechnologyIsSavedToo) {
    // A screen reader checks a radio button with its toggle action, without a click.
    QAccessibleInterface* option = QAccessible::queryAccessibleInterface(tab->OptSyubetu[2]);
    ASSERT_TRUE(option && option->actionInterface());
    option->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_TRUE(tab->OptSyubetu[2]->isChecked());
    EXPECT_EQ(scalar("SELECT ClinicCodeSub FROM TClinicCode WHERE ID=0").toString(), "H");
    // The name shown is formed again when the tab is selected (and when the archive is made).
    EXPECT_TRUE(tab->LblUploadKVRDBName->text().endsWith("/_123456_20230401_0930_KVR-DB.zip"));
    tab->onSelected();
    EXPECT_TRUE(tab->LblUploadKVRDBName->text().endsWith("/H_123456_20230401_0930_KVR-DB.zip"));
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
    EXPECT_NE(run("7z", {"x", "-y", "-pWRONGPASS", "-o" + x.path(), zip}, &out), 0);
    EXPECT_FALSE(IsProgramDatabase(x.path() + "/" + name + ".MDB"));
    ASSERT_EQ(run("7z", {"x", "-y", QString("-p") + kSubmissionArchivePassword, "-o" + x.path(), zip}, &out), 0)
        << out.toStdString();
    const QString extracted = x.path() + "/" + name + ".MDB";
    EXPECT_TRUE(IsProgramDatabase(extracted));
    const QString sql = QString("PRAGMA key='%1'; PRAGMA cipher_page_size=4096; SELECT COUNT(*) || '/' || SUM(ID) FROM TExamData;").arg(kProgramPassword);
    ASSERT_EQ(run("sqlcipher", {extracted, sql}, &out), 0) << out.toStdString();
    EXPECT_EQ(out.trimmed().split('\n').last(),
              scalar("SELECT COUNT(*) || '/' || SUM(ID) FROM TExamData").toString().toUtf8());
}

TEST_F(SubmissionTabTest, UploadLogIsOpenedOrReportedMissing) {
    const QString log = appFolder() + "/Log_KVRDB_Upload.txt";
    tab->CmdLogKVRDB->click();
    test::expectBox(t, "ログファイルが見つかりません。\r\n\r\n" + log, "ファイルなし", MsgIcon::Exclamation);
    test::writeFile(log, "");
    tab->CmdLogKVRDB->click();
    EXPECT_EQ(shell->opened, QStringList{log});
}

TEST_F(SubmissionTabTest, MissingMemberNumberKeepsTheNameAndRefusesTheArchive) {
    tab->OptSyubetu[0]->click();
    const QString before = tab->LblUploadKVRDBName->text();
    tab->TxtClinicCode->setText("  ");
    tab->UpdateArchiveName();
    EXPECT_EQ(tab->LblUploadKVRDBName->text(), before);
    tab->CmdUploadKVRDB->click();
    test::expectBox(t, "ファイル作成はできません。\r\n会員番号が指定されていません。", "未入力", MsgIcon::Critical);
    EXPECT_TRUE(saveFolderFiles().isEmpty());
}

TEST_F(SubmissionTabTest, EveryLineTheReportCanHoldComesInOrderForEachKind) {
    for (int id : {1, 2, 3, 31})
        addPatient(id);
    // 1: no row. 2: every rule that can fail together with a first-entry diagnosis.
    // 3: the birth month missing, no diagnosis and history present without a disease.
    CPatientAdd two = complete(2);
    two.BirthDay = "1970/5/1";
    two.Sex = 2;
    two.ChiefComplaint2 = "0000000000";
    two.SmokingHistory = -9;
    two.MedicalHistory = 2;
    two.DiseaseName = QString(22, '1');
    two.MissingToothNum = -9;
    two.KvrDiagnosisLW = 0;
    two.KvrDiagnosisCA = 3;
    two.NewDiagnosisStage = 0;
    two.NewDiagnosisGrade = 4;
    two.PerioSurgeryTreatment = -9;
    two.Ingestion = 0;
    test::storePatientAdd(two);
    CPatientAdd three = complete(3);
    three.BirthDay = "";
    three.KvrDiagnosis = 4;
    three.MedicalHistory = 1;
    test::storePatientAdd(three);
    CPatientAdd outside = complete(31);
    outside.Sex = -9;
    test::storePatientAdd(outside);
    const QString expected = QStringLiteral(
        "患者番号:1  追加情報が入力されていません。\r\n"
        "患者番号:2  生年月が間違っています。\r\n"
        "患者番号:2  性別が選択されていません。\r\n"
        "患者番号:2  主訴が選択されていません。\r\n"
        "患者番号:2  喫煙歴が選択されていません。\r\n"
        "患者番号:2  既往歴が選択されていません。\r\n"
        "患者番号:2  喪失歯数（智歯を除く) が入力されていません。\r\n"
        "患者番号:2  KVR診断名 限局/広汎が選択されていません。\r\n"
        "患者番号:2  KVR診断名 慢性/侵襲が選択されていません。\r\n"
        "患者番号:2  新分類診断名 ステージが選択されていません。\r\n"
        "患者番号:2  新分類診断名 グレードが選択されていません。\r\n"
        "患者番号:2  歯周外科治療が選択されていません。\r\n"
        "患者番号:2  服薬の回答と薬名チェックに矛盾があります。\r\n"
        "患者番号:3  生年月が入されていません。\r\n"
        "患者番号:3  診断が選択されていません。\r\n"
        "患者番号:3  既往歴の回答と病名チェックに矛盾があります。\r\n");
    for (int kind = 0; kind < 3; ++kind) {
        QFile::remove(SubmissionReportPath());
        shell->opened.clear();
        tab->OptSyubetu[kind]->click();
        tab->CmdUploadKVRDB->click();
        EXPECT_TRUE(t.boxes->shown.isEmpty()) << kind;
        EXPECT_EQ(reportText(), expected) << kind;
        // The report is opened instead of making the archive.
        EXPECT_EQ(shell->opened, QStringList{SubmissionReportPath()}) << kind;
        EXPECT_TRUE(saveFolderFiles().isEmpty()) << kind;
        EXPECT_TRUE(tab->CmdUploadKVRDB->isEnabled());
    }
}

TEST_F(SubmissionTabTest, RefusalsAndFailuresOfTheArchiveShowTheirBoxes) {
    tab->OptSyubetu[0]->click();
    // No source database named.
    tab->LblUploadKVRDB->clear();
    tab->CmdUploadKVRDB->click();
    test::expectBox(t, "ファイル作成はできません。\r\n提出用ファイルの元となるＤＢファイル名が指定されていません。", "未指定",
                    MsgIcon::Critical);
    t.boxes->clear();

    // The archive cannot be written: the desktop folder is gone.
    tab->LblUploadKVRDB->setText(memberPath());
    QDir(app().SaveFolder).removeRecursively();
    tab->CmdUploadKVRDB->click();
    ASSERT_FALSE(t.boxes->shown.isEmpty());
    EXPECT_EQ(t.boxes->shown.last().title + ": " + t.boxes->shown.last().text, "エラー: ファイル作成ができませんでした。");
    EXPECT_EQ(t.boxes->shown.last().icon, MsgIcon::Information);
    EXPECT_TRUE(tab->CmdUploadKVRDB->isEnabled());
    t.boxes->clear();

    // An error on the way: the report cannot be written.
    QDir().mkpath(app().SaveFolder);
    addPatient(4);
    QDir().mkpath(SubmissionReportPath());
    tab->CmdUploadKVRDB->click();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title, "エラー");
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("アップロード実行でエラーが発生しました。\r\n\r\n[Error:"))
        << t.boxes->shown[0].text.toStdString();
    EXPECT_TRUE(tab->CmdUploadKVRDB->isEnabled());
    EXPECT_TRUE(tab->CmdLogKVRDB->isEnabled());
    EXPECT_TRUE(saveFolderFiles().isEmpty());
}

} // namespace
