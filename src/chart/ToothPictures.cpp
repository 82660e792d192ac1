#include "chart/ToothPictures.h"

namespace kvr {

// Interim table: no pictures yet.
void BuildToothPictureTable(const QString&) {}

const ToothPicture& ToothPictureOf(int, ToothView) {
    static const ToothPicture none;
    return none;
}

const ToothPicture& ImplantPicture(bool) {
    static const ToothPicture none;
    return none;
}

} // namespace kvr
