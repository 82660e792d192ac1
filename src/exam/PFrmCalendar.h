// The date picker of the entry screen: a month calendar with OK and Cancel.
//
// The date goes in and comes out through the shared calendar date: the caller sets
// it, opens the dialog and reads it back (OK stores the picked day, Cancel leaves it).
#pragma once

#include <QDate>
#include <QDialog>
#include <QString>

class QCalendarWidget;
class QPushButton;

namespace kvr {

// The shared date the calendar shows on opening and stores on OK.
QDate& calendarDate();

class PFrmCalendar : public QDialog {
public:
    explicit PFrmCalendar(QWidget* parent = nullptr);

    QCalendarWidget* MonthView = nullptr;
    QPushButton* BtnOK = nullptr;
    QPushButton* BtnCancel = nullptr;

private:
    void BtnOK_Click();
    void BtnCancel_Click();
};

// The date boxes of the caller: year, month and day as text.
struct DateBoxes {
    QString year;
    QString month;
    QString day;
    bool operator==(const DateBoxes&) const = default;
};

// The date the calendar opens on: the date in the boxes when they form a valid
// date as saving reads them (ParseExamDate: full-width digits too) that the calendar can show (years from
// 1753 on; the entry screen's "no examination" date 100/01/01 is not one), else today.
QDate calendarStartDate(const DateBoxes& boxes, const QDate& today);

// The boxes' text for a date: "yyyy/MM/dd" cut into its year, month and day parts.
DateBoxes dateBoxesFor(const QDate& date);

// The caller's side of the date button: sets the shared date from the boxes (or
// today), opens the calendar modally and returns the shared date as box text. The
// boxes get this text whether the user chose OK or Cancel (Cancel gives back the
// date they had, normalised). The patient check belongs to the caller.
DateBoxes PickDateWithCalendar(QWidget* parent, const DateBoxes& boxes);

} // namespace kvr
