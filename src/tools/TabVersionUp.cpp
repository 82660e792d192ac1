#include "tools/ToolTabs.h"

namespace kvr {

// Interim: an empty page.
ToolTabPage* CreateVersionUpTab(PFrmImport&) {
    return new ToolTabPage;
}

} // namespace kvr
