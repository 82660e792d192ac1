// The date picker and the plaque-scope choice box.
#include "entry_screen_fixture.h"
#include "exam/PFrmCalendar.h"
#include "exam/PFrmMsgBoxBui.h"

#include <QAbstractItemModel>
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
    // The centre of the calendar cell showing the given day of the shown month.
    static QPoint cellOf(QCalendarWidget* calendar, int day) {
        auto* view = calendar->findChild<QTableView*>();
        QAbstractItemModel* model = view->model();
        bool inMonth = false;
        for (int row = 0; row < model->rowCount(); ++row)
            for (int col = 0; col < model->columnCount(); ++col) {
                const int shown = model->data(model->index(row, col)).toInt();
                if (shown == 1) inMonth = true; // days before the first 1 belong to the previous month
                if (inMonth && shown == day) return view->visualRect(model->index(row, col)).center();
            }
        return {};
    }
};

} // namespace

TEST_F(EntryDialogsTest, CalendarOkTakesThePickedDayCancelGivesBackTheBoxesDate) {
    whenOpen([](QWidget* w) {
        auto* d = dynamic_cast<PFrmCalendar*>(w);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->windowTitle(), "日付入力");
        EXPECT_EQ(d->BtnCancel->text(), "キャンセル");
        EXPECT_EQ(d->MonthView->selectedDate(), QDate(2023, 5, 7));
        d->MonthView->setSelectedDate(QDate(2023, 6, 2));
        d->BtnCancel->click();
    });
    EXPECT_EQ(PickDateWithCalendar(nullptr, {"2023", "5", "7"}), (DateBoxes{"2023", "05", "07"}));
    EXPECT_EQ(calendarDate(), QDate(2023, 5, 7));

    // Empty boxes open on today (the fixed test clock: 2024-08-14).
    QDate shown;
    whenOpen([&shown](QWidget* w) {
        auto* calendar = w->findChild<QCalendarWidget*>("MonthView");
        shown = calendar->selectedDate();
        calendar->setSelectedDate(QDate(2024, 7, 1));
        w->findChild<QPushButton*>("BtnOK")->click();
    });
    EXPECT_EQ(PickDateWithCalendar(nullptr, {"", "", ""}), (DateBoxes{"2024", "07", "01"}));
    EXPECT_EQ(shown, QDate(2024, 8, 14));
    EXPECT_EQ(calendarDate(), QDate(2024, 7, 1));
    EXPECT_EQ(sounds(2), (QStringList{"click1.wav", "click1.wav"}));

    const QDate today(2024, 8, 14);
    const std::pair<DateBoxes, QDate> starts[] = {
        {{"2023", "5", "7"}, QDate(2023, 5, 7)},
        {{" 2023", "05 ", "07"}, QDate(2023, 5, 7)},
        {{"", "", ""}, today},
        {{"2023", "2", "30"}, today},
        {{"2023", "1x", "3"}, today},
        {{"100", "01", "01"}, today}, // the "no examination" date
        // Read as saving reads them: full-width digits name the date too.
        {{"２０２３", "０５", "７"}, QDate(2023, 5, 7)},
        {{"2023", "+5", "7"}, today},
        {{"2023", "5.0", "7"}, today},
    };
    for (const auto& [boxes, start] : starts)
        EXPECT_EQ(calendarStartDate(boxes, today), start)
            << boxes.year.toStdString() << "/" << boxes.month.toStdString();
    EXPECT_EQ(dateBoxesFor(QDate(2024, 8, 4)), (DateBoxes{"2024", "08", "04"}));
    EXPECT_EQ(dateBoxesFor(QDate(2023, 12, 25)), (DateBoxes{"2023", "12", "25"}));
}

TEST_F(EntryDialogsTest, CalendarClickFocusesOkAndDoubleClickTakesTheDay) {
    calendarDate() = QDate(2024, 3, 15);
    PFrmCalendar dialog;
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QWidget* cells = dialog.MonthView->findChild<QTableView*>()->viewport();

    dialog.BtnCancel->setFocus();
    QTest::mouseClick(cells, Qt::LeftButton, {}, cellOf(dialog.MonthView, 21));
    EXPECT_TRUE(dialog.BtnOK->hasFocus());
    EXPECT_TRUE(dialog.isVisible()); // a single click only readies OK
    EXPECT_EQ(calendarDate(), QDate(2024, 3, 15));

    // A double click arrives as a click followed by the double-click event.
    QTest::mouseClick(cells, Qt::LeftButton, {}, cellOf(dialog.MonthView, 8));
    QTest::mouseDClick(cells, Qt::LeftButton, {}, cellOf(dialog.MonthView, 8));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(calendarDate(), QDate(2024, 3, 8));
    EXPECT_EQ(sounds(1), QStringList{"click1.wav"});
}

TEST_F(EntryDialogsTest, ScopeBoxButtonsSetTheirChoiceAndTheCloseBoxLeavesCancelled) {
    PFrmMsgBoxBui box;
    EXPECT_EQ(box.windowTitle(), "部位指定");
    EXPECT_EQ(box.LblMessage->text(), "入力する部位を指定してください。");
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

    // Opened again after a choice, the close box leaves "cancelled".
    box.show();
    box.CmdAllExam->click();
    box.show();
    QCloseEvent close;
    QApplication::sendEvent(&box, &close);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(msgBoxBuiResult(), -999);

    whenOpen([](QWidget* w) { w->close(); });
    EXPECT_EQ(AskPlaqueScope(nullptr), -999);
    whenOpen([](QWidget* w) { w->findChild<QPushButton*>("CmdNonExam")->click(); });
    EXPECT_EQ(AskPlaqueScope(nullptr), 200);
}
