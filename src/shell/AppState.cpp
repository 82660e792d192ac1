#include "AppState.h"

namespace kvr {

AppState& app() {
    static AppState state;
    return state;
}

void resetAppState() {
    app() = AppState();
}

} // namespace kvr
