#include "startup.h"

#include "platform/services.h"

#include <QApplication>

namespace kvr {
int runProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    installDesktopServices();
    return 0;
}
} // namespace kvr
