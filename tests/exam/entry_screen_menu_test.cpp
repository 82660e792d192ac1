// The entry screen's commands around the grid: the file menu, the version box, the
// import offer at start, the unsaved-changes and closing questions, the date button,
// tooth-label clicks and the commands that need a patient.
#include "entry_screen_fixture.h"

#include <QCalendarWidget>
#include <QFileDialog>
#include <QPushButton>

using namespace kvr;
using test::EntryScreenTest;
using test::whenOpen;

namespace {

const QDate k99Stage1(2023, 5, 15); // patient 99's first examination in the template
const QString kUnsavedQuestion = QStringLiteral("データが保存されていません。保存しますか？　　");
const QString kDbFilter = QStringLiteral("データベース (*.mdb)|*.mdb");
using Kind = PFrmInput::FileDialogKind;

class FileMenuTest : public EntryScreenTest {
protected:
    void SetUp() override {
        EntryScreenTest::SetUp();
        screen->fileDialog = [this](QWidget*, Kind kind, const QString& title, const QString& filter) {
            EXPECT_EQ(filter, kDbFilter);
            dialogs << QString("%1 %2").arg(int(kind)).arg(title);
            return chosen;
        };
    }
    QString pathLabel(const QString& path) const {
        return QStringLiteral("使用中ファイル ： ") + QDir::toNativeSeparators(path);
    }

    QStringList dialogs; // kind and title of every file dialog
    QString chosen;      // what the file dialog returns
};

TEST_F(EntryScreenTest, ClosingAsksAboutTheBackupAndShowsTheBackupWindowOnlyOnYes) {
    int backups = 0, ends = 0;
    PFrmInput::closing = {true, [&](QWidget*) { ++backups; }, [&] { ++ends; }};
    for (MsgResult answer : {MsgResult::No, MsgResult::Yes}) {
        newScreen();
        screen->show();
        t.boxes->clear();
        t.boxes->answer(answer);
        EXPECT_TRUE(screen->close());
        expectOneBox(QStringLiteral("データのバックアップを実行しますか？"), QStringLiteral("バックアップ確認"),
                     MsgIcon::Exclamation);
        EXPECT_EQ(t.boxes->shown[0].buttons, MsgButtons::YesNo);
    }
    PFrmInput::closing = {};
    EXPECT_EQ(backups, 1);
    EXPECT_EQ(ends, 2); // the program ends (compaction window) either way
}

} // namespace

TEST_F(FileMenuTest, CreateAsksFirstRefusesAnExistingFileAndOpensACopyOfTheTemplate) {
    const QString oldDb = memberPath(), created = t.paths->desktop + "/neu.mdb";
    pickPatient(5);
    typeValue(3);
    t.boxes->answer(MsgResult::No); // the unsaved-changes question first
    chosen = oldDb;
    screen->mnuCreate->trigger();
    EXPECT_EQ(
        dialogs,
        QStringList{QString("%1 新規に作成するファイルを指定して保存して下さい").arg(int(Kind::Create))});
    EXPECT_EQ(boxTexts(), (QStringList{kUnsavedQuestion,
                                       QStringLiteral("ファイルが存在するため、新規作成できません。")}));
    EXPECT_EQ(t.boxes->shown[1].title, QStringLiteral("新規作成エラー"));
    EXPECT_EQ(t.boxes->shown[1].icon, MsgIcon::Critical);
    EXPECT_EQ(screen->currentPatient(), 5);

    t.boxes->clear();
    chosen.clear(); // a cancelled dialog does nothing
    screen->mnuCreate->trigger();
    EXPECT_EQ(memberPath(), oldDb);
    chosen = created;
    screen->mnuCreate->trigger();
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_EQ(memberPath(), created);
    EXPECT_EQ(screen->LblPath->text(), pathLabel(created));
    EXPECT_EQ(screen->currentPatient(), 0);
    pickPatient(5);
    typeValue(4);
    setDate("2024", "8", "1", 1);
    ASSERT_TRUE(screen->save());
    const QString count = "SELECT count(*) FROM TExamData WHERE PatientID=5";
    EXPECT_EQ(db::Connection::open(created, kProgramPassword)->scalar(count).toInt(), 6);
    EXPECT_EQ(db::Connection::open(oldDb, kProgramPassword)->scalar(count).toInt(), 0);
}

TEST_F(FileMenuTest, OpenSwitchesToTheChosenDatabaseAndRefusesAForeignFile) {
    const QString oldDb = memberPath(), copy = t.paths->desktop + "/copy.MDB",
                  bad = t.paths->desktop + "/bad.mdb";
    ASSERT_TRUE(QFile::copy(oldDb, copy));
    db::Connection::open(copy, kProgramPassword)->execute("DELETE FROM TExamData WHERE PatientID=99");
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database, just text\n");
    f.close();

    chosen = bad;
    screen->mnuOpen->trigger();
    EXPECT_EQ(dialogs, QStringList{QString("%1 開くファイルを選択して下さい").arg(int(Kind::Open))});
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith(QStringLiteral("ファイルを開く\r\n\r\n[Error:")));
    EXPECT_EQ(screen->LblPath->text(), pathLabel(oldDb));

    pickPatient(99);
    typeValue(2);
    reply({MsgResult::No});
    chosen = copy;
    screen->mnuOpen->trigger();
    EXPECT_EQ(boxTexts(), QStringList{kUnsavedQuestion});
    EXPECT_EQ(screen->LblPath->text(), pathLabel(copy));
    EXPECT_FALSE(screen->unsaved());
    pickPatient(99);
    EXPECT_EQ(screen->CmbEntry->count(), 0);
}

TEST_F(FileMenuTest, SaveCopiesTheDatabaseInUseButNeverOntoItself) {
    const QString db = memberPath();
    for (const QString& same : {db, app().MemberFolder + "/./" + QFileInfo(db).fileName()}) {
        t.boxes->clear();
        chosen = same;
        screen->mnuSave->trigger();
        expectOneBox(QStringLiteral("コピー元とコピー先が同じです。処理を中止します。"),
                     QStringLiteral("指定エラー"), MsgIcon::Critical);
    }
    EXPECT_EQ(dialogs.last(), QString("%1 コピーを作成").arg(int(Kind::Copy)));
    t.boxes->clear();
    chosen = t.paths->desktop + "/kopie.mdb";
    screen->mnuSave->trigger();
    expectOneBox(QStringLiteral("コピーが作成されました。使用中ファイルは、そのままです。"),
                 QStringLiteral("コピー作成"), MsgIcon::Information);
    EXPECT_EQ(hashOf(chosen), hashOf(db));
    EXPECT_EQ(screen->LblPath->text(), pathLabel(db));
}

TEST_F(EntryScreenTest, FileDialogsShowTheDatabaseFilterAndOnlyTheCopyPromptsBeforeOverwriting) {
    for (Kind kind : {Kind::Create, Kind::Open, Kind::Copy}) {
        whenOpen([kind](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            ASSERT_NE(d, nullptr);
            EXPECT_EQ(d->nameFilters(), QStringList{QStringLiteral("データベース (*.mdb)")});
            EXPECT_EQ(d->acceptMode(),
                      kind == Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
            EXPECT_EQ(d->fileMode(), kind == Kind::Open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
            EXPECT_EQ(d->testOption(QFileDialog::DontConfirmOverwrite), kind == Kind::Create);
            d->reject();
        });
        EXPECT_EQ(screen->fileDialog(screen.get(), kind, "title", PFrmInput::kDbFileFilter), QString());
    }
}

TEST_F(EntryScreenTest, HeadingClickShowsTheVersionAndClosingAsksOnlyWithUnsavedData) {
    QTest::mouseClick(screen->LblHead, Qt::LeftButton);
    expectOneBox(QStringLiteral("Ver.1\r\n\r\n    詳細バージョンは、") + QStringLiteral(KVR_VERSION_STRING) +
                     QStringLiteral(" です。"),
                 QStringLiteral("バージョン情報"), MsgIcon::Information);
    t.boxes->clear();
    screen->show();
    EXPECT_TRUE(screen->close());
    EXPECT_TRUE(t.boxes->shown.isEmpty());

    newScreen();
    screen->show();
    pickPatient(5);
    typeValue(5);
    t.boxes->answer(MsgResult::No);
    EXPECT_FALSE(screen->close());
    expectOneBox(QStringLiteral("データが保存されていません。終了してもよろしいですか？　　"),
                 QStringLiteral("確認"), MsgIcon::Exclamation);
    EXPECT_EQ(t.boxes->shown[0].defaultButton, 1); // No
    EXPECT_TRUE(screen->isVisible());
    setDate("2024", "8", "1", 1); // the screen still works on its database
    ASSERT_TRUE(screen->save());
    typeValue(6);
    t.boxes->answer(MsgResult::Yes);
    EXPECT_TRUE(screen->close());
    EXPECT_FALSE(screen->isVisible());
    EXPECT_EQ(slot(Slot::Member).conn, nullptr); // the held connection is let go
}

TEST_F(EntryScreenTest, ImportOfferComesOnlyWhileTheMarkerIsZeroAndNoStoresOne) {
    const QString question =
        QStringLiteral("<追加情報／ツール>の<旧版KVR-Chartインポート>を表示しますか？\r\n\r\n"
                       "■表示／実行する必要がある場合\r\n"
                       "　　・「旧版KVR-Chart Ver.4」のデータを継続使用する場合\r\n\r\n"
                       "■表示／実行する必要がない場合\r\n"
                       "　　・ 新規利用のため継続するデータがない場合\r\n"
                       "　　・「旧版KVR-Chart Ver.4」のデータを継続使用しない場合\r\n"
                       "　　・「KVR-DB Ver.1」を使用している場合（自動継続）\r\n\r\n"
                       "「旧版KVR-Chartインポート」を表示し、実行しますか？");
    QList<int> toolTabs;
    screen->showTools = [&](QWidget*, int tab) { toolTabs << tab; };
    auto tick = [&](const QString& marker, MsgResult answer) {
        reply({answer});
        TheClinicCode().ClinicName = marker;
        screen->TimerLoad->start(0);
        EXPECT_TRUE(test::waitUntil([&] { return !screen->TimerLoad->isActive(); }));
        return t.boxes->shown.size();
    };
    for (const char* marker : {"1", "2", " 1", "1x"})
        EXPECT_EQ(tick(marker, MsgResult::Yes), 0) << marker;
    // Yes: the tools screen on its import tab; the marker stays.
    for (const char* marker : {"", "0", "abc"}) { // read as the number 0
        tick(marker, MsgResult::Yes);
        expectOneBox(question, QStringLiteral("インポート確認"), MsgIcon::Information);
        EXPECT_EQ(TheClinicCode().ClinicName, QString::fromUtf8(marker));
    }
    EXPECT_EQ(toolTabs, QList<int>(3, 2));
    // No: the marker "1" is stored in the clinic-code row; the next start does not ask.
    ASSERT_EQ(tick("", MsgResult::No), 1);
    EXPECT_EQ(toolTabs.size(), 3);
    EXPECT_EQ(scalar("SELECT ClinicName FROM TClinicCode WHERE ID=0").toString(), "1");
    t.boxes->clear();
    screen = std::make_unique<PFrmInput>();
    EXPECT_TRUE(test::waitUntil([&] { return !screen->TimerLoad->isActive(); }));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

TEST_F(EntryScreenTest, UnsavedChangesAreAskedBeforeAPatientOrExaminationChange) {
    showActive();
    pickPatient(5);
    typeValue(7);
    // Yes and a save that fails (no date): the patient, the value and the flag stay, also
    // when the change comes through the patient list (which shows patient 5 again).
    t.boxes->answer(MsgResult::Yes);
    EXPECT_FALSE(screen->selectPatient(7));
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[0].text, kUnsavedQuestion);
    EXPECT_EQ(t.boxes->shown[0].title, QStringLiteral("確認"));
    EXPECT_TRUE(hasFocusIn(screen->TxtY));
    t.boxes->answer(MsgResult::Yes);
    const int index7 = screen->CmbOutNo->findData(7);
    screen->CmbOutNo->setCurrentIndex(index7);
    emit screen->CmbOutNo->activated(index7);
    EXPECT_EQ(screen->CmbOutNo->currentText(), "5");
    EXPECT_TRUE(screen->unsaved());
    EXPECT_EQ(screen->cell(0, 0)->value(0, 0), 7);

    // (Yes with a date saves first, No discards: the patient-list cases below.)
    reply({MsgResult::No});
    EXPECT_TRUE(screen->selectPatient(99));
    // Examinations: No loads the chosen one, the database as it was; Yes with a failing
    // save (no stage) stays on the examination on screen.
    const QString sql = "SELECT Data1 FROM TExamData WHERE PatientID=99 AND ExamDate=? AND \"Row\"=0";
    const QString before = scalar(sql, {k99Stage1}).toString();
    typeValue(9);
    reply({MsgResult::No});
    EXPECT_TRUE(screen->selectExamination(1));
    EXPECT_EQ(screen->CmbEntry->currentIndex(), 1);
    EXPECT_FALSE(screen->unsaved());
    EXPECT_EQ(scalar(sql, {k99Stage1}).toString(), before);
    typeValue(9);
    screen->CmbStage->setCurrentIndex(-1);
    reply({MsgResult::Yes});
    EXPECT_FALSE(screen->selectExamination(2));
    EXPECT_EQ(t.boxes->shown.value(1).text, QStringLiteral("治療ステージを指定してください。"));
    EXPECT_EQ(screen->CmbEntry->currentIndex(), 1);
    EXPECT_TRUE(screen->unsaved());
    EXPECT_TRUE(hasFocusIn(screen->CmbStage));
}

TEST_F(EntryScreenTest, ANumberTypedIntoThePatientListAsksOnceAboutThePatientOnScreen) {
    showActive();
    pickPatient(5);
    setDate("2024", "8", "1", 1);
    // A real box runs its own event loop: whatever is queued runs while it is open.
    t.boxes->onShow = [](const MsgBoxRequest&) { QCoreApplication::processEvents(); };
    // Return and Yes saves patient 5; Tab and No discards.
    const struct {
        const char* typed;
        int leaveKey, patient, rows5;
        MsgResult answer;
    } cases[] = {{"7", Qt::Key_Return, 7, 6, MsgResult::Yes}, {"98", Qt::Key_Tab, 98, 6, MsgResult::No}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        typeValue(3);
        reply({c.answer});
        screen->CmbOutNo->setFocus();
        screen->CmbOutNo->setEditText(QString());
        QTest::keyClicks(screen->CmbOutNo, c.typed);
        QTest::keyClick(screen->CmbOutNo, Qt::Key(c.leaveKey));
        ASSERT_TRUE(test::waitUntil([&] { return screen->currentPatient() == c.patient; }));
        QTest::qWait(50);
        EXPECT_EQ(boxTexts().count(kUnsavedQuestion), 1);
        EXPECT_EQ(boxTitles().last(),
                  c.answer == MsgResult::Yes ? QStringLiteral("正常終了") : QStringLiteral("確認"));
        EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=5").toInt(), c.rows5);
        EXPECT_EQ(scalar("SELECT count(*) FROM TExamData WHERE PatientID=7").toInt(), 0);
        EXPECT_FALSE(screen->unsaved());
    }
    t.boxes->onShow = nullptr;
}

TEST_F(EntryScreenTest, DateButtonNeedsAPatientAndWritesTheCalendarDateIntoTheBoxes) {
    showActive();
    screen->CmdSave->setFocus();
    screen->CmdDate->click();
    expectOneBox(QStringLiteral("患者番号を指定してください。"), QStringLiteral("患者番号指定"),
                 MsgIcon::Exclamation);
    EXPECT_TRUE(hasFocusIn(screen->CmbOutNo));
    EXPECT_EQ(sounds(), QStringList{"click1.wav"});

    // Patient 99 as stage 4: the stage-3 examination (2024/01/29) was less than six months
    // before 2024/07/01 (warning), not before 2024/08/14.
    pickPatient(99);
    setDate("2024", "8", "1", 4);
    auto pick = [&](QDate day) { // an invalid day cancels
        whenOpen([day](QWidget* w) {
            if (day.isValid()) w->findChild<QCalendarWidget*>("MonthView")->setSelectedDate(day);
            w->findChild<QPushButton*>(day.isValid() ? "BtnOK" : "BtnCancel")->click();
        });
        screen->CmdDate->click();
        return QStringList{screen->TxtY->text(), screen->TxtM->text(), screen->TxtD->text()};
    };
    EXPECT_EQ(pick(QDate()), (QStringList{"2024", "08", "01"}));
    EXPECT_EQ(pick(QDate(2024, 7, 1)), (QStringList{"2024", "07", "01"}));
    EXPECT_TRUE(screen->dateWarning());
    EXPECT_EQ(pick(QDate(2024, 8, 14)), (QStringList{"2024", "08", "14"}));
    EXPECT_FALSE(screen->dateWarning());
}

TEST_F(EntryScreenTest, ToothLabelsRemoveTheFirstFlagPresentOrActAsACellClick) {
    // Patient 99's first examination with tooth 3 missing and an implant, tooth 4 an
    // implant and a pontic, tooth 5 a pontic.
    QString bui =
        scalar("SELECT Bui FROM TExamData WHERE PatientID=99 AND ExamDate=?", {k99Stage1}).toString();
    for (auto [tooth, word] : {std::pair{3, kMissingTooth | kImplant}, {4, kImplant | kPontic}, {5, kPontic}})
        bui.replace(tooth * 6, 6, QString::number(std::int16_t(word)).rightJustified(6, ' '));
    direct()->execute("UPDATE TExamData SET Bui=? WHERE PatientID=99 AND ExamDate=?", {bui, k99Stage1});
    pickPatient(99);

    // No keeps the flags; Yes removes the first flag present, in every slot, with a click.
    const struct {
        int tooth;
        MsgResult answer;
        const char* question;
        std::uint16_t after;
    } removals[] = {{3, MsgResult::No, "ＭＴ（欠損）を解除しますか。", kMissingTooth | kImplant},
                    {3, MsgResult::Yes, "ＭＴ（欠損）を解除しますか。", kImplant},
                    {4, MsgResult::Yes, "インプラントを解除しますか。", kPontic},
                    {5, MsgResult::Yes, "ポンティックを解除しますか。", 0}};
    for (const auto& r : removals) {
        SCOPED_TRACE(r.question);
        reply({r.answer});
        QTest::mouseClick(screen->LblTh[r.tooth], Qt::LeftButton);
        expectOneBox(QString::fromUtf8(r.question), QStringLiteral("確認"), MsgIcon::Exclamation);
        EXPECT_EQ(screen->toothStatus()[r.tooth], r.after);
        for (int s = 0; s < kExamSlots && r.answer == MsgResult::Yes; ++s)
            EXPECT_EQ(ExamSlots()[s].nBui(r.tooth), r.after) << s;
        EXPECT_EQ(screen->unsaved(), r.answer == MsgResult::Yes);
        EXPECT_EQ(sounds(), r.answer == MsgResult::Yes ? QStringList{"click1.wav"} : QStringList{});
    }
    EXPECT_EQ(screen->LblTh[5]->text(), QStringLiteral("3")); // a plain tooth again

    // Other teeth (the deciduous flag is no removable flag): the row's cursor goes there.
    t.boxes->clear();
    screen->setCurrentRow(1);
    QTest::mouseClick(screen->LblTh[12], Qt::LeftButton);
    EXPECT_EQ(screen->cursorTooth(), 12);
    EXPECT_EQ(screen->toothStatus()[12], kDeciduous);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

TEST_F(EntryScreenTest, CommandsOnTheExaminationNeedAPatient) {
    showActive();
    const std::tuple<const char*, int, std::function<void()>> needPatient[] = {
        {"value button", 0, [&] { screen->CmdVal[0]->click(); }},
        {"key 3", 0, [&] { key(Qt::Key_3); }},
        {"key .", 0, [&] { key(Qt::Key_Period); }},
        {"key +", 0, [&] { key(Qt::Key_Plus); }},
        {"CmdNot", 0, [&] { screen->CmdNot->click(); }},
        {"CmdBlood", 0, [&] { screen->CmdBlood->click(); }},
        {"CmdHainou", 0, [&] { screen->CmdHainou->click(); }},
        {"CmdImplant", 0, [&] { screen->CmdImplant->click(); }},
        {"CmdPontic", 0, [&] { screen->CmdPontic->click(); }},
        {"CmdMT", 1, [&] { screen->CmdMT->click(); }},
        {"CmdAdd", 0, [&] { screen->CmdAdd->click(); }},
        {"CmdFurcationNone", 2, [&] { screen->CmdFurcationNone->click(); }},
        {"CmdPL", 3, [&] { screen->mnuPlaqueAll->trigger(); }},
    };
    for (const auto& [name, row, run] : needPatient) {
        SCOPED_TRACE(name);
        screen->setCurrentRow(row);
        screen->CmdSave->setFocus();
        t.boxes->clear();
        run();
        expectOneBox(QStringLiteral("患者番号が選択されていません。"), QStringLiteral("患者番号選択"),
                     MsgIcon::Exclamation);
        EXPECT_TRUE(hasFocusIn(screen->CmbOutNo));
        EXPECT_FALSE(screen->unsaved());
    }
    EXPECT_TRUE(sounds().isEmpty());

    // Save and the two deletions have their own patient messages.
    const std::pair<QPushButton*, const char*> own[] = {
        {screen->CmdSave, "患者番号を指定してください。"},
        {screen->CmdDelExamData, "患者番号が指定されていません。"},
        {screen->CmdDelPatient, "患者番号が指定されていません。"}};
    for (const auto& [button, text] : own) {
        t.boxes->clear();
        button->click();
        expectOneBox(QString::fromUtf8(text), QStringLiteral("患者番号エラー"), MsgIcon::Critical);
    }
}
