#include "tools/ToolTabs.h"

namespace kvr {

// Interim: an empty panel.
QWidget* CreateBackupRestorePanel(PFrmImport&) {
    return new QWidget;
}

} // namespace kvr
