// The entry screen's commands around the grid: the file menu and its dialogs, the version
// box, the import offer at start, the closing questions, the unsaved question before an
// examination change, the date button with its calendar, the plaque-scope box, and what
// assistive technology reads (message boxes: e2e_entry_flow reads them by title and text).
#include "entry_screen_fixture.h"
#include "exam/PFrmCalendar.h"
#include "exam/PFrmMsgBoxBui.h"
#include "shell/startup/PFrmSplash.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCalendarWidget>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

using namespace kvr;
using test::EntryScreenTest;
using test::whenOpen;

namespace {

const QString kUnsavedQuestion = QStringLiteral("データが保存されていません。保存しますか？　　");
using Kind = PFrmInput::FileDialogKind;

// A command as the user meets it, with the patient picked (0: none), a value typed or not,
// and the answers given: every box it shows ("text|title") and what holds afterwards.
TEST_F(EntryScreenTest, CommandsShowTheirBoxesAndStopWhereTheAnswersSay) {
    const QString oldDb = memberPath(), copy = t.paths->desktop + "/kopie.mdb",
                  unsaved = kUnsavedQuestion + QStringLiteral("|確認"),
                  unsavedClose =
                      QStringLiteral("データが保存されていません。終了してもよろしいですか？　　|確認"),
                  backup = QStringLiteral("データのバックアップを実行しますか？|バックアップ確認");
    const QString first =
        scalar("SELECT Data1 FROM TExamData WHERE PatientID=99 AND \"Row\"=0 ORDER BY ExamDate").toString();
    int backups = 0, ends = 0;
    PFrmInput::closing = {true, [&](QWidget*) { ++backups; }, [&] { ++ends; }};
    const struct {
        const char* name;
        int patient;
        bool typed;
        QString chosen; // what a file dialog returns
        std::function<void()> act;
        std::vector<MsgResult> answers;
        QStringList boxes;
        std::function<bool()> after = nullptr;
    } cases[] = {
        // clang-format off
        {"version", 0, false, {}, [&] { QTest::mouseClick(screen->LblHead, Qt::LeftButton); }, {},
         {QStringLiteral("Ver.1\r\n\r\n    詳細バージョンは、") + QStringLiteral(KVR_VERSION_STRING) +
          QStringLiteral(" です。|バージョン情報")}},
        {"date without patient", 0, false, {}, [&] { screen->CmdDate->click(); }, {},
         {QStringLiteral("患者番号を指定してください。|患者番号指定")}, [&] { return hasFocusIn(screen->CmbOutNo); }},
        {"save without patient", 0, false, {}, [&] { screen->CmdSave->click(); }, {},
         {QStringLiteral("患者番号を指定してください。|患者番号エラー")}},
        {"delete examination without patient", 0, false, {}, [&] { screen->CmdDelExamData->click(); }, {},
         {QStringLiteral("患者番号が指定されていません。|患者番号エラー")}},
        {"delete patient without patient", 0, false, {}, [&] { screen->CmdDelPatient->click(); }, {},
         {QStringLiteral("患者番号が指定されていません。|患者番号エラー")}},
        {"plaque outside its row", 5, false, {}, [&] { screen->mnuPlaqueAll->trigger(); }, {},
         {QStringLiteral("入力できません。再入力してください。|再入力")}},
        {"close", 5, false, {}, [&] { EXPECT_TRUE(screen->close()); }, {MsgResult::No}, {backup},
         [&] { return !screen->isVisible(); }},
        {"close unsaved, No", 5, true, {}, [&] { EXPECT_FALSE(screen->close()); }, {}, {unsavedClose},
         [&] { // No is the default; the screen still works on its database
             setDate("2024", "8", "1", 1);
             return t.boxes->shown[0].defaultButton == 1 && screen->isVisible() && screen->save(); }},
        {"close unsaved, Yes", 5, true, {}, [&] { EXPECT_TRUE(screen->close()); },
         {MsgResult::Yes, MsgResult::Yes},
         {unsavedClose, backup}, [&] { return backups == 1 && slot(Slot::Member).conn == nullptr; }},
        {"create onto an existing file", 5, true, oldDb, [&] { screen->mnuCreate->trigger(); },
         {MsgResult::No},
         {unsaved, QStringLiteral("ファイルが存在するため、新規作成できません。|新規作成エラー")},
         [&] { return screen->currentPatient() == 5 && t.boxes->shown[1].icon == MsgIcon::Critical; }},
        {"create cancelled", 0, false, {}, [&] { screen->mnuCreate->trigger(); }, {}, {},
         [&] { return memberPath() == oldDb; }},
        {"copy onto itself by another path", 0, false,
         app().MemberFolder + "/./" + QFileInfo(oldDb).fileName(),
         [&] { screen->mnuSave->trigger(); }, {},
         {QStringLiteral("コピー元とコピー先が同じです。処理を中止します。|指定エラー")}},
        {"copy", 0, false, copy, [&] { screen->mnuSave->trigger(); }, {},
         {QStringLiteral("コピーが作成されました。使用中ファイルは、そのままです。|コピー作成")},
         [&] { return hashOf(copy) == hashOf(oldDb) && memberPath() == oldDb; }},
        {"examination change, No", 99, true, {}, [&] { EXPECT_TRUE(screen->selectExamination(1)); },
         {MsgResult::No}, {unsaved}, [&] {
             return screen->CmbEntry->currentIndex() == 1 && !screen->unsaved() &&
                    scalar("SELECT Data1 FROM TExamData WHERE PatientID=99 AND \"Row\"=0 ORDER BY ExamDate")
                            .toString() == first; }},
        {"examination change, Yes without stage", 99, true, {},
         [&] { screen->CmbStage->setCurrentIndex(-1); EXPECT_FALSE(screen->selectExamination(2)); },
         {MsgResult::Yes}, {unsaved, QStringLiteral("治療ステージを指定してください。|治療ステージエラー")},
         [&] { return screen->CmbEntry->currentIndex() != 2 && screen->unsaved() &&
                      hasFocusIn(screen->CmbStage); }},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        newScreen();
        screen->fileDialog = [&c](QWidget*, Kind, const QString&, const QString&) { return c.chosen; };
        showActive();
        if (c.patient) pickPatient(c.patient);
        if (c.typed) typeValue(3);
        screen->CmdSave->setFocus();
        reply(c.answers);
        c.act();
        EXPECT_EQ(boxTexts(true), c.boxes);
        EXPECT_TRUE(!c.after || c.after());
    }
    PFrmInput::closing = {};
    EXPECT_EQ(std::pair(backups, ends), std::pair(1, 2)); // the program ends after either close
}

// The file dialogs' titles; an opened foreign file is refused, a created one is a copy of
// the template the screen then works on, and opening goes back to the first.
TEST_F(EntryScreenTest, FileMenuSwitchesToACreatedOrOpenedDatabaseAndRefusesAForeignFile) {
    const QString oldDb = memberPath(), created = t.paths->desktop + "/neu.mdb",
                  bad = t.paths->desktop + "/bad.mdb";
    test::writeText(bad, "not a database, just text\n");
    QStringList dialogs;
    QString chosen;
    screen->fileDialog = [&](QWidget*, Kind kind, const QString& title, const QString& filter) {
        EXPECT_EQ(filter, QStringLiteral("データベース (*.mdb)|*.mdb"));
        dialogs << QString("%1 %2").arg(int(kind)).arg(title);
        return chosen;
    };
    auto pathLabel = [](const QString& path) {
        return QStringLiteral("使用中ファイル ： ") + QDir::toNativeSeparators(path);
    };
    chosen = bad;
    screen->mnuOpen->trigger();
    ASSERT_EQ(boxTexts(true).size(), 1);
    EXPECT_TRUE(boxTexts(true)[0].startsWith(QStringLiteral("ファイルを開く\r\n\r\n[Error:")));
    EXPECT_TRUE(boxTexts(true)[0].endsWith(QStringLiteral("|エラー")));
    EXPECT_EQ(screen->LblPath->text(), pathLabel(oldDb));
    chosen = created;
    screen->mnuCreate->trigger();
    EXPECT_EQ(screen->LblPath->text(), pathLabel(created));
    pickPatient(5);
    typeValue(4);
    setDate("2024", "8", "1", 1);
    ASSERT_TRUE(screen->save());
    const QString count = "SELECT count(*) FROM TExamData WHERE PatientID=5";
    EXPECT_EQ(db::Connection::open(created, kProgramPassword)->scalar(count).toInt(), 6);
    EXPECT_EQ(db::Connection::open(oldDb, kProgramPassword)->scalar(count).toInt(), 0);
    chosen = oldDb;
    screen->mnuOpen->trigger();
    EXPECT_EQ(screen->LblPath->text(), pathLabel(oldDb));
    screen->mnuSave->trigger();
    EXPECT_EQ(
        dialogs,
        (QStringList{QString("%1 開くファイルを選択して下さい").arg(int(Kind::Open)),
                     QString("%1 新規に作成するファイルを指定して保存して下さい").arg(int(Kind::Create)),
                     QString("%1 開くファイルを選択して下さい").arg(int(Kind::Open)),
                     QString("%1 コピーを作成").arg(int(Kind::Copy))}));
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
    screen->CmdImport->click(); // the button: the tools screen on its default tab
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
        expectOneBox(question + QStringLiteral("|インポート確認"), MsgIcon::Information);
        EXPECT_EQ(TheClinicCode().ClinicName, QString::fromUtf8(marker));
    }
    EXPECT_EQ(toolTabs, (QList<int>{-1, 2, 2, 2}));
    // No: the marker "1" is stored in the clinic-code row; the next start does not ask.
    ASSERT_EQ(tick("", MsgResult::No), 1);
    EXPECT_EQ(toolTabs.size(), 4);
    EXPECT_EQ(scalar("SELECT ClinicName FROM TClinicCode WHERE ID=0").toString(), "1");
    t.boxes->clear();
    screen = std::make_unique<PFrmInput>();
    EXPECT_TRUE(test::waitUntil([&] { return !screen->TimerLoad->isActive(); }));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
}

// ------------------------------------------------------------------ date and scope dialogs

TEST_F(EntryScreenTest, DateButtonWritesTheCalendarDateIntoTheBoxesAndWarnsOfAShortStage) {
    screen->CmdDate->click(); // no patient: a box
    EXPECT_EQ(sounds(), QStringList{"click1.wav"});

    // Patient 99 as stage 4: the stage-3 examination (2024/01/29) was less than six months
    // before 2024/07/01 (warning), not before 2024/08/14. The calendar opens on the boxes'
    // date; cancelled it gives that back.
    pickPatient(99);
    setDate("2024", "8", "1", 4);
    QDate shown;
    auto pick = [&](QDate day) { // an invalid day cancels
        whenOpen([day, &shown](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), QStringLiteral("日付入力"));
            auto* calendar = w->findChild<QCalendarWidget*>("MonthView");
            shown = calendar->selectedDate();
            if (day.isValid()) calendar->setSelectedDate(day);
            w->findChild<QPushButton*>(day.isValid() ? "BtnOK" : "BtnCancel")->click();
        });
        screen->CmdDate->click();
        return QStringList{screen->TxtY->text(), screen->TxtM->text(), screen->TxtD->text()};
    };
    EXPECT_EQ(pick(QDate()), (QStringList{"2024", "08", "01"}));
    EXPECT_EQ(shown, QDate(2024, 8, 1));
    EXPECT_EQ(pick(QDate(2024, 7, 1)), (QStringList{"2024", "07", "01"}));
    EXPECT_TRUE(screen->dateWarning());
    EXPECT_EQ(pick(QDate(2024, 8, 14)), (QStringList{"2024", "08", "14"}));
    EXPECT_FALSE(screen->dateWarning());
    // The no-examination date opens on today (the boxes are read as saving reads them).
    EXPECT_EQ(calendarStartDate({"100", "01", "01"}, QDate(2024, 8, 14)), QDate(2024, 8, 14));
}

TEST_F(EntryScreenTest, CalendarClickFocusesOkAndDoubleClickTakesTheDay) {
    calendarDate() = QDate(2024, 3, 15);
    PFrmCalendar dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    auto* view = dialog.MonthView->findChild<QTableView*>();
    // The centre of the cell of a day of the shown month (days before the first "1"
    // belong to the previous month).
    auto cellOf = [view](int day) {
        bool inMonth = false;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            for (int c = 0; c < view->model()->columnCount(); ++c) {
                const QModelIndex i = view->model()->index(r, c);
                inMonth |= i.data().toInt() == 1;
                if (inMonth && i.data().toInt() == day) return view->visualRect(i).center();
            }
        return QPoint();
    };
    dialog.BtnCancel->setFocus();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellOf(21));
    EXPECT_TRUE(dialog.BtnOK->hasFocus());
    EXPECT_TRUE(dialog.isVisible()); // a single click only readies OK
    EXPECT_EQ(calendarDate(), QDate(2024, 3, 15));
    // A double click arrives as a click followed by the double-click event.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellOf(8));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cellOf(8));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(calendarDate(), QDate(2024, 3, 8));
    EXPECT_EQ(sounds(), QStringList{"click1.wav"});
}

TEST_F(EntryScreenTest, ScopeBoxAnswersWithTheButtonPressedAndCancelsWhenClosed) {
    const std::tuple<const char*, const char*, int> choices[] = {{"CmdNonExam", "未検査部位のみ", 200},
                                                                 {"CmdAllExam", "すべての部位", 201},
                                                                 {"CmdCancel", "キャンセル", -999},
                                                                 {nullptr, nullptr, -999}}; // the close box
    for (auto [button, caption, choice] : choices) {
        whenOpen([button, caption](QWidget* w) {
            EXPECT_EQ(w->windowTitle() + "|" + w->findChild<QLabel*>("LblMessage")->text(),
                      "部位指定|入力する部位を指定してください。");
            if (!button) return void(w->close());
            auto* b = w->findChild<QPushButton*>(button);
            EXPECT_EQ(b->text(), QString::fromUtf8(caption));
            b->click();
        });
        EXPECT_EQ(AskPlaqueScope(nullptr), choice) << choice;
    }
}

// ------------------------------------------------------------------ assistive technology

QString accessibleName(QObject* o) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    return i ? i->text(QAccessible::Name) : QStringLiteral("<none>");
}

// The name a screen reader gives a control: lists on this desktop read their current
// entry as name and are named by the label they are labelled by.
QString readName(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    if (!i || !qobject_cast<QComboBox*>(w)) return accessibleName(w);
    const auto labels = i->relations(QAccessible::Label);
    return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
}

// Every control a user operates in a window without a name, or whose description is not
// its design name (the parts Qt builds inside its own controls aside).
QStringList unnamedControls(QWidget* window) {
    QStringList bad;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QCalendarWidget*>(w) ||
                             qobject_cast<ToothButton*>(w) || w->focusPolicy() == Qt::StrongFocus;
        QWidget* p = w->parentWidget();
        if (!control || w->window() != window || w->objectName().startsWith(QLatin1String("qt_")) ||
            (p && !p->objectName().isEmpty() &&
             (qobject_cast<QCalendarWidget*>(p->parentWidget()) || qobject_cast<QCalendarWidget*>(p) ||
              qobject_cast<QComboBox*>(p))))
            continue;
        if (w->objectName().isEmpty() || w->accessibleDescription() != w->objectName() ||
            readName(w).isEmpty())
            bad << (w->objectName().isEmpty() ? QString::fromUtf8(w->metaObject()->className())
                                              : w->objectName());
    }
    return bad;
}

TEST_F(EntryScreenTest, EveryControlHasANameAndItsDesignNameAsDescription) {
    pickPatient(99);
    PFrmSplash splash;
    PFrmCalendar calendar;
    PFrmMsgBoxBui scope;
    for (QWidget* window : std::initializer_list<QWidget*>{screen.get(), &splash, &calendar, &scope})
        EXPECT_EQ(unnamedControls(window), QStringList()) << window->objectName().toStdString();
    // Inputs read as their labels, buttons as their captions (which may change).
    screen->CmdBloodMode->click();
    const std::pair<QWidget*, const char*> names[] = {
        {screen->CmbOutNo, "患者番号"},         {screen->TxtInNo, "院内番号"},
        {screen->CmbEntry, "検査一覧"},         {screen->TxtY, "検査日 年"},
        {screen->CmdBloodMode, " 一括 選択中"}, {calendar.BtnCancel, "キャンセル"}};
    for (const auto& [w, name] : names)
        EXPECT_EQ(readName(w), QString::fromUtf8(name)) << w->objectName().toStdString();
}

// A cell reads its tooth, the cursor's site or every site, and values with their marks
// (bleeding is read in e2e_entry_flow); one value per tooth, a flagged tooth, plaque by surface.
TEST_F(EntryScreenTest, ToothCellsReadTheirToothSiteAndValue) {
    pickPatient(5);
    clickSite(0, 2, 1); // tooth 16 (index 2), site BC: 3 mm with pus
    typeValue(3);
    clickSite(0, 2, 1);
    key(Qt::Key_Asterisk);
    key(Qt::Key_Plus);
    ToothButton* cell = screen->cell(0, 2);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(cell);
    EXPECT_EQ(a->text(QAccessible::Name) + "|" + a->text(QAccessible::Description),
              QStringLiteral("16 BC 3 排膿|Th2"));
    EXPECT_EQ(a->role(), QAccessible::Button);
    clickSite(0, 3, 0); // the cursor leaves: every site is read
    EXPECT_EQ(accessibleName(cell),
              QStringLiteral("16 BD 未入力、BC 3 排膿、BM 未入力、LD 未入力、LC 未入力、LM 未入力"));
    screen->setCurrentRow(1);
    clickSite(1, 2, 0);
    key(Qt::Key_2);
    EXPECT_EQ(accessibleName(screen->cell(1, 2)), QStringLiteral("16 2"));
    reply({MsgResult::Yes});
    clickSite(1, 3, 0);
    screen->CmdMT->click();
    EXPECT_EQ(accessibleName(screen->cell(1, 3)), QStringLiteral("15 欠損 未入力"));
    screen->setCurrentRow(3);
    clickSite(3, 2, 0); // buccal surface: plaque
    EXPECT_EQ(accessibleName(screen->cell(3, 2)), QStringLiteral("16 頬側 あり、近心 未入力"));
}

} // namespace
