#include "tools/ToolTabs.h"

namespace kvr {

// Interim: an empty page.
ToolTabPage* CreateSubmissionTab(PFrmImport&) {
    return new ToolTabPage;
}

} // namespace kvr
