#include "tools/ToolTabs.h"

namespace kvr {

// Interim: an empty page.
ToolTabPage* CreateImportOldTab(PFrmImport&) {
    return new ToolTabPage;
}

} // namespace kvr
