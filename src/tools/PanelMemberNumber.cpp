#include "tools/ToolTabs.h"

namespace kvr {

// Interim: an empty panel.
QWidget* CreateMemberNumberPanel(PFrmImport&) {
    return new QWidget;
}

} // namespace kvr
