#include "tools/ToolTabs.h"

namespace kvr {

// Interim: an empty page.
ToolTabPage* CreateManualTab(PFrmImport&) {
    return new ToolTabPage;
}

} // namespace kvr
