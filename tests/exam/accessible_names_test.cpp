// What assistive technology reads: every control of the entry screen, its dialogs and the
// start screen has a name and its design name as description; tooth cells read their
// tooth, site and value; message boxes read their title and text.
#include "entry_screen_fixture.h"
#include "exam/PFrmCalendar.h"
#include "exam/PFrmMsgBoxBui.h"
#include "shell/startup/PFrmSplash.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCalendarWidget>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

using namespace kvr;
using test::EntryScreenTest;
using test::whenOpen;

namespace {

QString accessibleText(QObject* o, QAccessible::Text t) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    return i ? i->text(t) : QStringLiteral("<none>");
}

// The name a screen reader gives a control: lists on this desktop read their current
// entry as name and are named by the label they are labelled by.
QString readName(QWidget* w) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
    if (!i) return QStringLiteral("<none>");
    if (qobject_cast<QComboBox*>(w)) {
        const auto labels = i->relations(QAccessible::Label);
        return labels.isEmpty() ? QString() : labels.first().first->text(QAccessible::Name);
    }
    return i->text(QAccessible::Name);
}

// Controls a user operates: buttons, text boxes, lists, the calendar, tooth cells and the grid.
bool isControl(QWidget* w) {
    return qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
           qobject_cast<QCalendarWidget*>(w) || qobject_cast<ToothButton*>(w) ||
           w->focusPolicy() == Qt::StrongFocus;
}

// Every control of a window without a name or whose description is not its object name.
QStringList unnamedControls(QWidget* window) {
    QStringList bad;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!isControl(w) || w->window() != window || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        // Parts Qt builds inside its own controls (the calendar's buttons, a list's box).
        if (w->parentWidget() && !w->parentWidget()->objectName().isEmpty() &&
            (qobject_cast<QCalendarWidget*>(w->parentWidget()->parentWidget()) ||
             qobject_cast<QCalendarWidget*>(w->parentWidget()) ||
             qobject_cast<QComboBox*>(w->parentWidget())))
            continue;
        if (w->objectName().isEmpty() || w->accessibleDescription() != w->objectName() ||
            readName(w).isEmpty())
            bad << (w->objectName().isEmpty() ? QString::fromUtf8(w->metaObject()->className())
                                              : w->objectName());
    }
    return bad;
}

} // namespace

TEST_F(EntryScreenTest, EveryControlHasANameAndItsDesignNameAsDescription) {
    pickPatient(99);
    EXPECT_EQ(unnamedControls(screen.get()), QStringList());
    PFrmSplash splash;
    EXPECT_EQ(unnamedControls(&splash), QStringList());
    PFrmCalendar calendar;
    EXPECT_EQ(unnamedControls(&calendar), QStringList());
    PFrmMsgBoxBui scope;
    EXPECT_EQ(unnamedControls(&scope), QStringList());

    // Inputs read as their labels, buttons as their captions (which may change).
    const std::pair<QWidget*, const char*> names[] = {{screen->CmbOutNo, "患者番号"},
                                                      {screen->TxtInNo, "院内番号"},
                                                      {screen->TxtApplyNo, "症例番号"},
                                                      {screen->CmbEntry, "検査一覧"},
                                                      {screen->TxtY, "検査日 年"},
                                                      {screen->TxtD, "検査日 日"},
                                                      {screen->CmbStage, "治療ステージ"},
                                                      {screen->CmdPrevStage, "前の治療ステージ"},
                                                      {screen->CmdAdd, "新規検査"},
                                                      {screen->CmdSave, "保存"},
                                                      {splash.TxtKVRCode, "会員番号を入力してください。"},
                                                      {splash.CmdOK, "OK"},
                                                      {calendar.BtnCancel, "キャンセル"},
                                                      {scope.CmdAllExam, "すべての部位"}};
    for (const auto& [w, name] : names)
        EXPECT_EQ(readName(w), QString::fromUtf8(name)) << w->objectName().toStdString();
    screen->CmdBloodMode->click();
    EXPECT_EQ(accessibleText(screen->CmdBloodMode, QAccessible::Name), QStringLiteral(" 一括 選択中"));
}

TEST_F(EntryScreenTest, ToothCellsReadTheirToothSiteAndValue) {
    // Tooth numbers of the chart positions, deciduous teeth in their own numbers.
    const std::tuple<int, std::uint16_t, const char*> numbers[] = {
        {0, 0, "18"},  {8, 0, "21"},           {23, 0, "41"},
        {31, 0, "38"}, {12, kDeciduous, "65"}, {19, kDeciduous, "85"}};
    for (const auto& [tooth, status, number] : numbers)
        EXPECT_EQ(ToothButton::toothNumber(tooth, status), number) << tooth;
    // Site labels per quadrant (sites numbered left to right as charted).
    EXPECT_EQ(QStringList({ToothButton::siteLabel(2, 2), ToothButton::siteLabel(10, 0),
                           ToothButton::siteLabel(21, 5), ToothButton::siteLabel(26, 0)}),
              QStringList({"BM", "BM", "BM", "LM"}));

    pickPatient(5);
    // Tooth 16 (index 2): 4 mm with bleeding at BM, 3 mm with pus at BC.
    clickSite(0, 2, 2);
    typeValue(4);
    clickSite(0, 2, 2);
    key(Qt::Key_Plus);
    clickSite(0, 2, 1);
    typeValue(3);
    clickSite(0, 2, 1);
    keys({Qt::Key_Asterisk, Qt::Key_Plus});
    ToothButton* cell = screen->cell(0, 2);
    EXPECT_EQ(accessibleText(cell, QAccessible::Name), QStringLiteral("16 BC 3 排膿"));
    EXPECT_EQ(accessibleText(cell, QAccessible::Description), QStringLiteral("Th2"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(cell)->role(), QAccessible::Button);
    clickSite(0, 3, 0); // the cursor leaves: every site is read
    EXPECT_EQ(accessibleText(cell, QAccessible::Name),
              QStringLiteral("16 BD 未入力、BC 3 排膿、BM 4 出血、LD 未入力、LC 未入力、LM 未入力"));

    // One value per tooth, a flagged tooth, plaque by surface.
    screen->setCurrentRow(1);
    clickSite(1, 2, 0);
    key(Qt::Key_2);
    EXPECT_EQ(accessibleText(screen->cell(1, 2), QAccessible::Name), QStringLiteral("16 2"));
    reply({MsgResult::Yes});
    clickSite(1, 3, 0);
    screen->CmdMT->click();
    EXPECT_EQ(accessibleText(screen->cell(1, 3), QAccessible::Name), QStringLiteral("15 欠損 未入力"));
    screen->setCurrentRow(3);
    clickSite(3, 2, 0); // buccal surface: plaque
    EXPECT_EQ(accessibleText(screen->cell(3, 2), QAccessible::Name),
              QStringLiteral("16 頬側 あり、近心 未入力"));
}

TEST_F(EntryScreenTest, MessageBoxesReadTheirTitleAndText) {
    // The program's own boxes, not the scripted ones of the tests.
    Services saved = services();
    installDesktopServices();
    std::shared_ptr<MessageBoxService> real = services().messageBoxes;
    services() = saved;
    QString name, description, label;
    whenOpen([&](QWidget* box) {
        name = accessibleText(box, QAccessible::Name);
        description = accessibleText(box, QAccessible::Description);
        if (auto* l = box->findChild<QLabel*>("qt_msgbox_label"))
            label = accessibleText(l, QAccessible::Name);
        static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
    });
    const MsgResult r = real->show({QStringLiteral("表示されているデータを削除します。\r\nよろしいですか？"),
                                    QStringLiteral("確認"), MsgButtons::YesNo, MsgIcon::Exclamation, 1});
    EXPECT_EQ(r, MsgResult::No);
    EXPECT_EQ(name, QStringLiteral("確認"));
    EXPECT_EQ(description, QStringLiteral("表示されているデータを削除します。\nよろしいですか？"));
    EXPECT_EQ(label, description);
}
