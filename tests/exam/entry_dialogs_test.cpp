// The date picker and the plaque-scope choice box.
#include "entry_screen_fixture.h"
#include "exam/PFrmCalendar.h"
#include "exam/PFrmMsgBoxBui.h"

#include <QCalendarWidget>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

using namespace kvr;
using test::whenOpen;

namespace {

class EntryDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::installTestServices();
        resetAppState();
        resetPlayWave();
        test::playedSounds().clear();
        setSoundOutputFactory([] { return std::make_unique<test::RecordingOutput>(); });
    }
    void TearDown() override {
        resetPlayWave();
        setSoundOutputFactory(nullptr);
    }
    // The sounds played, once there are n of them.
    static QStringList sounds(int n) {
        test::waitUntil([&] { return test::playedSounds().size() >= n; });
        return test::playedSounds();
    }
};

} // namespace

TEST_F(EntryDialogsTest, CalendarOkTakesThePickedDayCancelGivesBackTheBoxesDate) {
    QDate shown;
    auto pickThen = [&shown](const char* button) {
        whenOpen([&shown, button](QWidget* w) {
            EXPECT_EQ(w->windowTitle(), "日付入力");
            auto* calendar = w->findChild<QCalendarWidget*>("MonthView");
            shown = calendar->selectedDate();
            calendar->setSelectedDate(QDate(2024, 7, 1));
            w->findChild<QPushButton*>(button)->click();
        });
    };
    pickThen("BtnCancel");
    EXPECT_EQ(PickDateWithCalendar(nullptr, {"2023", "5", "7"}), (DateBoxes{"2023", "05", "07"}));
    EXPECT_EQ(shown, QDate(2023, 5, 7));
    pickThen("BtnOK");
    EXPECT_EQ(PickDateWithCalendar(nullptr, {"", "", ""}), (DateBoxes{"2024", "07", "01"}));
    EXPECT_EQ(shown, QDate(2024, 8, 14)); // empty boxes open on today (the test clock)
    EXPECT_EQ(sounds(2), (QStringList{"click1.wav", "click1.wav"}));

    // Boxes read as saving reads them; no date, or the no-examination date, is today.
    const QDate today(2024, 8, 14);
    EXPECT_EQ(calendarStartDate({"２０２３", "０５", "７"}, today), QDate(2023, 5, 7));
    for (const DateBoxes& none : {DateBoxes{"2023", "2", "30"}, {"2023", "1x", "3"}, {"100", "01", "01"}})
        EXPECT_EQ(calendarStartDate(none, today), today) << none.year.toStdString();
}

TEST_F(EntryDialogsTest, CalendarClickFocusesOkAndDoubleClickTakesTheDay) {
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
    EXPECT_EQ(sounds(1), QStringList{"click1.wav"});
}

TEST_F(EntryDialogsTest, ScopeBoxButtonsSetTheirChoiceAndTheCloseBoxLeavesCancelled) {
    PFrmMsgBoxBui box;
    EXPECT_EQ(box.windowTitle() + "|" + box.LblMessage->text(), "部位指定|入力する部位を指定してください。");
    EXPECT_EQ(box.CmdNonExam->text() + "|" + box.CmdAllExam->text() + "|" + box.CmdCancel->text(),
              "未検査部位のみ|すべての部位|キャンセル");
    const std::pair<QPushButton*, int> choices[] = {
        {box.CmdNonExam, 200}, {box.CmdAllExam, 201}, {box.CmdCancel, -999}};
    for (const auto& [button, choice] : choices) {
        msgBoxBuiResult() = 12345;
        box.show();
        EXPECT_EQ(msgBoxBuiResult(), -999); // opening sets "cancelled"
        button->click();
        EXPECT_EQ(msgBoxBuiResult(), choice) << choice;
        EXPECT_FALSE(box.isVisible());
    }
    whenOpen([](QWidget* w) { w->close(); });
    EXPECT_EQ(AskPlaqueScope(nullptr), -999);
    whenOpen([](QWidget* w) { w->findChild<QPushButton*>("CmdNonExam")->click(); });
    EXPECT_EQ(AskPlaqueScope(nullptr), 200);
}
