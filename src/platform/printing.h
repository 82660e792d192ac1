// Printing services of the desktop: the printer dialog and the printer-mode value of
// the system settings.
//
// The printer dialog goes through a replaceable function so that tests (and anything
// else that must not stop for a modal dialog) can choose the answer.
#pragma once

#include <functional>

class QPrinter;
class QWidget;

namespace kvr {

// Shows the printer dialog for printer: no print-to-file, no page range, no selection;
// the number of copies is left in printer.copyCount(). True after a choice, false when
// the user cancelled.
using PrinterDialogFunction = std::function<bool(QPrinter& printer, QWidget* parent)>;

bool ShowPrinterDialog(QPrinter& printer, QWidget* parent);
// Replaces the dialog (an empty function restores the standard one).
void setPrinterDialogFunction(PrinterDialogFunction f);

// The system's "the system manages the default printer" switch (0 = it does, 1 = it
// does not). This platform keeps no such value: the read reports -1 ("cannot be read").
int GetLegacyDefaultPrinterMode();
// Writes newValue when the value can be read and differs from it. Returns true when it
// cannot be read (nothing is written) or the write succeeded; false when the value
// already equals newValue or the write failed.
bool SetLegacyDefaultPrinterMode(int newValue);

} // namespace kvr
