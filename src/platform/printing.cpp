#include "platform/printing.h"

#include <QPrintDialog>
#include <QPrinter>

namespace kvr {

namespace {

bool standardPrinterDialog(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintCollateCopies, true);
    return dialog.exec() == QDialog::Accepted;
}

PrinterDialogFunction& dialogFunction() {
    static PrinterDialogFunction f = standardPrinterDialog;
    return f;
}

// The settings store of this platform has no printer-mode value.
bool readPrinterMode(int& value) {
    value = -1;
    return false;
}

bool writePrinterMode(int) {
    return false;
}

} // namespace

bool ShowPrinterDialog(QPrinter& printer, QWidget* parent) {
    return dialogFunction()(printer, parent);
}

void setPrinterDialogFunction(PrinterDialogFunction f) {
    dialogFunction() = f ? std::move(f) : PrinterDialogFunction(standardPrinterDialog);
}

int GetLegacyDefaultPrinterMode() {
    int value = -1;
    return readPrinterMode(value) ? value : -1;
}

bool SetLegacyDefaultPrinterMode(int newValue) {
    int current = -1;
    if (!readPrinterMode(current)) return true;
    if (current == newValue) return false;
    return writePrinterMode(newValue);
}

} // namespace kvr
