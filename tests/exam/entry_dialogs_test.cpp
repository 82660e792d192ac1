// The date picker and the plaque-scope choice box.
#include "exam/PFrmCalendar.h"
#include "exam/PFrmMsgBoxBui.h"
#include "exam/PFrmPlayWave.h"
#include "shell/AppState.h"
#include "support/test_services.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kvr;

namespace {

// Records the sounds the dialogs ask for; every file ends at once.
class RecordingOutput : public SoundOutput {
public:
    explicit RecordingOutput(QStringList* played) : played_(played) {}
    int chooseDevice() override { return 1; }
    void play(const QString& path, std::function<void()> onFinished) override {
        *played_ << QFileInfo(path).fileName();
        onFinished();
    }
    void stop() override {}

private:
    QStringList* played_;
};

class EntryDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        svc = test::installTestServices();
        resetAppState();
        resetPlayWave();
        setSoundOutputFactory([this] { return std::make_unique<RecordingOutput>(&played); });
    }
    void TearDown() override {
        resetPlayWave();
        setSoundOutputFactory(nullptr);
    }
    // Waits until the player has played n sounds.
    bool soundsPlayed(int n) {
        return QTest::qWaitFor([&] { return played.size() >= n; }, 2000);
    }
    // Runs action on the modal dialog once it is open.
    static void whenOpen(std::function<void(QWidget*)> action) {
        QTimer::singleShot(0, [action] {
            QWidget* modal = QApplication::activeModalWidget();
            ASSERT_NE(modal, nullptr);
            action(modal);
        });
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

    test::TestServices svc;
    QStringList played;
};

} // namespace

TEST_F(EntryDialogsTest, CalendarOkStoresThePickedDayAndCancelKeepsTheSharedDate) {
    calendarDate() = QDate(2023, 5, 10);
    {
        PFrmCalendar dialog;
        EXPECT_EQ(dialog.windowTitle(), "日付入力");
        EXPECT_EQ(dialog.BtnCancel->text(), "キャンセル");
        EXPECT_EQ(dialog.MonthView->objectName(), "MonthView");
        EXPECT_EQ(dialog.MonthView->selectedDate(), QDate(2023, 5, 10));
        dialog.MonthView->setSelectedDate(QDate(2023, 6, 2));
        dialog.BtnCancel->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(calendarDate(), QDate(2023, 5, 10));
    }
    {
        PFrmCalendar dialog;
        dialog.MonthView->setSelectedDate(QDate(2023, 5, 20));
        dialog.BtnOK->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(calendarDate(), QDate(2023, 5, 20));
    }
    ASSERT_TRUE(soundsPlayed(2));
    EXPECT_EQ(played, (QStringList{"click1.wav", "click1.wav"}));
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
    ASSERT_TRUE(soundsPlayed(1));
    EXPECT_EQ(played, QStringList{"click1.wav"});
}

TEST_F(EntryDialogsTest, CalendarOpensOnTheBoxesDateElseToday) {
    const QDate today(2024, 8, 14);
    EXPECT_EQ(calendarStartDate({"2023", "5", "7"}, today), QDate(2023, 5, 7));
    EXPECT_EQ(calendarStartDate({" 2023", "05 ", "07"}, today), QDate(2023, 5, 7));
    EXPECT_EQ(calendarStartDate({"", "", ""}, today), today);
    EXPECT_EQ(calendarStartDate({"2023", "2", "30"}, today), today);
    EXPECT_EQ(calendarStartDate({"2023", "1x", "3"}, today), today);
    EXPECT_EQ(calendarStartDate({"100", "01", "01"}, today), today); // the "no examination" date

    EXPECT_EQ(dateBoxesFor(QDate(2024, 8, 4)), (DateBoxes{"2024", "08", "04"}));
    EXPECT_EQ(dateBoxesFor(QDate(2023, 12, 25)), (DateBoxes{"2023", "12", "25"}));
}

TEST_F(EntryDialogsTest, PickingADateFillsTheBoxesNormalisedOnOkAndCancel) {
    // Cancel gives back the date the boxes had, in its normalised form.
    whenOpen([](QWidget* w) { w->findChild<QPushButton*>("BtnCancel")->click(); });
    EXPECT_EQ(PickDateWithCalendar(nullptr, {"2023", "5", "7"}), (DateBoxes{"2023", "05", "07"}));

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

    whenOpen([](QWidget* w) { w->findChild<QPushButton*>("BtnCancel")->click(); });
    EXPECT_EQ(PickDateWithCalendar(nullptr, {"", "", ""}), (DateBoxes{"2024", "08", "14"}));
}

TEST_F(EntryDialogsTest, ScopeBoxButtonsSetTheirChoiceAndClose) {
    const std::pair<const char*, int> choices[] = {
        {"CmdNonExam", 200}, {"CmdAllExam", 201}, {"CmdCancel", -999}};
    for (const auto& [button, choice] : choices) {
        msgBoxBuiResult() = 12345;
        PFrmMsgBoxBui box;
        EXPECT_EQ(msgBoxBuiResult(), -999); // opening sets "cancelled"
        box.show();
        box.findChild<QPushButton*>(button)->click();
        EXPECT_EQ(msgBoxBuiResult(), choice) << button;
        EXPECT_FALSE(box.isVisible());
    }
    PFrmMsgBoxBui box;
    EXPECT_EQ(box.windowTitle(), "部位指定");
    EXPECT_EQ(box.LblMessage->text(), "入力する部位を指定してください。");
    EXPECT_EQ(box.CmdNonExam->text() + "|" + box.CmdAllExam->text() + "|" + box.CmdCancel->text(),
              "未検査部位のみ|すべての部位|キャンセル");
}

TEST_F(EntryDialogsTest, ClosingTheScopeBoxLeavesCancelled) {
    PFrmMsgBoxBui box;
    box.show();
    box.CmdAllExam->click();
    ASSERT_EQ(msgBoxBuiResult(), 201);

    // Opened again, the previous choice does not survive the close box.
    box.show();
    EXPECT_EQ(msgBoxBuiResult(), -999);
    QCloseEvent close;
    QApplication::sendEvent(&box, &close);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(msgBoxBuiResult(), -999);

    whenOpen([](QWidget* w) { w->close(); });
    EXPECT_EQ(AskPlaqueScope(nullptr), -999);
    whenOpen([](QWidget* w) { w->findChild<QPushButton*>("CmdNonExam")->click(); });
    EXPECT_EQ(AskPlaqueScope(nullptr), 200);
}
