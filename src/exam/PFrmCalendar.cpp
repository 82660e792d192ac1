#include "PFrmCalendar.h"

#include "ExamSession.h"
#include "PFrmPlayWave.h"
#include "platform/accessible.h"
#include "platform/services.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvr {

namespace {
// The first day the month calendar offers.
const QDate kFirstCalendarDate(1753, 1, 1);
} // namespace

QDate& calendarDate() {
    static QDate date;
    return date;
}

PFrmCalendar::PFrmCalendar(QWidget* parent) : QDialog(parent) {
    NameControl(this, QStringLiteral("PFrmCalendar"), QString()); // read by its title
    setWindowTitle(QStringLiteral("日付入力"));
    setModal(true);

    MonthView = new QCalendarWidget(this);
    NameControl(MonthView, QStringLiteral("MonthView"), QStringLiteral("検査日"));
    MonthView->setMinimumDate(kFirstCalendarDate);
    MonthView->setGridVisible(true);

    BtnOK = new QPushButton(QStringLiteral("OK"), this);
    NameControl(BtnOK, QStringLiteral("BtnOK"), QString());
    BtnOK->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("キャンセル"), this);
    NameControl(BtnCancel, QStringLiteral("BtnCancel"), QString());

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOK);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MonthView);
    layout->addLayout(buttons);

    const QDate shown = calendarDate().isValid() ? calendarDate() : today();
    MonthView->setSelectedDate(shown);
    MonthView->setCurrentPage(shown.year(), shown.month());

    connect(BtnOK, &QPushButton::clicked, this, [this] { BtnOK_Click(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { BtnCancel_Click(); });
    // A double click (or Enter) on a day takes it like OK; a single click readies OK.
    connect(MonthView, &QCalendarWidget::activated, this, [this](QDate day) {
        MonthView->setSelectedDate(day);
        BtnOK_Click();
    });
    connect(MonthView, &QCalendarWidget::clicked, this, [this] { BtnOK->setFocus(); });
}

void PFrmCalendar::BtnOK_Click() {
    PlayWave(QStringLiteral("click1.wav"));
    calendarDate() = MonthView->selectedDate();
    accept();
}

void PFrmCalendar::BtnCancel_Click() {
    PlayWave(QStringLiteral("click1.wav"));
    reject();
}

QDate calendarStartDate(const DateBoxes& boxes, const QDate& today) {
    // The boxes are read as saving reads them (full-width digits too).
    const QDate date = ParseExamDate(boxes.year, boxes.month, boxes.day);
    return date.isValid() && date >= kFirstCalendarDate ? date : today;
}

DateBoxes dateBoxesFor(const QDate& date) {
    const QString text = date.toString(QStringLiteral("yyyy/MM/dd"));
    return {text.mid(0, 4), text.mid(5, 2), text.mid(8, 2)};
}

DateBoxes PickDateWithCalendar(QWidget* parent, const DateBoxes& boxes) {
    calendarDate() = calendarStartDate(boxes, today());
    PFrmCalendar dialog(parent);
    dialog.exec();
    return dateBoxesFor(calendarDate());
}

} // namespace kvr
