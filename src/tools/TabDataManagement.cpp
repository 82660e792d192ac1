#include "tools/ToolTabs.h"

#include <QVBoxLayout>

namespace kvr {

ToolTabPage* CreateDataManagementTab(PFrmImport& owner) {
    auto* page = new ToolTabPage;
    auto* v = new QVBoxLayout(page);
    v->addWidget(CreateBackupRestorePanel(owner));
    v->addWidget(CreateMemberNumberPanel(owner));
    v->addStretch(1);
    return page;
}

} // namespace kvr
