#include "AppState.h"

namespace kvr {

AppState& app() {
    static AppState state;
    return state;
}

QString mainWindowTitle() {
    return QString::fromUtf8(kProgramTitle) + " (" + QString::fromUtf8(kProgramSubtitle) + ")";
}

void resetAppState() {
    app() = AppState();
}

} // namespace kvr
