// The pages of the tools screen's tabs. The tools window creates each page through
// its factory and tells the current page when it is selected and when the window
// closes while it is current.
#pragma once

#include <QWidget>

namespace kvr {

class PFrmImport;

class ToolTabPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // The tab became the current one (also when the window opens on it).
    virtual void onSelected() {}
    // The window closes while this tab is the current one.
    virtual void onClosing() {}
};

// "提出用ファイル作成"
ToolTabPage* CreateSubmissionTab(PFrmImport& owner);
// " 旧版KVR-Chartインポート"
ToolTabPage* CreateImportOldTab(PFrmImport& owner);
// "データの管理": the backup/restore panel above the member-number panel.
ToolTabPage* CreateDataManagementTab(PFrmImport& owner);
QWidget* CreateBackupRestorePanel(PFrmImport& owner);
QWidget* CreateMemberNumberPanel(PFrmImport& owner);
// "操作マニュアル他"
ToolTabPage* CreateManualTab(PFrmImport& owner);
// "バージョンアップ"
ToolTabPage* CreateVersionUpTab(PFrmImport& owner);

} // namespace kvr
