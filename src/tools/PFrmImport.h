// The tools screen: a modal window over the entry screen with seven tabs (additional
// information, submission file, previous-version import, data management, the sibling
// product's import (hidden: that link is off), manual, version update) and the button
// "入力画面に戻る".
//
// The entry screen passes the current patient (below 1: none; the information tab is
// then hidden), the start tab (negative: the information tab, or the submission tab
// without a patient) and whether the information may be edited (the entry screen's stage
// is the first examination).
#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;
class QTabWidget;

namespace kvr {

class AdditionalInfoTab;
class PFrmInput;
class ToolTabPage;

class PFrmImport : public QDialog {
    Q_OBJECT
public:
    enum Tab { TabInfo, TabSubmission, TabImportOld, TabData, TabSibling, TabManual, TabVersionUp, TabCount };

    struct Settings {
        int patientId = 0;
        int startTab = -1;
        bool editable = true;
    };

    explicit PFrmImport(const Settings& settings, QWidget* parent = nullptr);
    ~PFrmImport() override;

    QTabWidget* SSTabTool = nullptr;
    QPushButton* CmdEnd = nullptr;
    QPushButton* CmdSave = nullptr;
    QLabel* LblMes = nullptr;

    // ---------------------------------------------------------------- for the tabs
    // The entry screen's current patient (below 1: none).
    int patientId() const { return settings_.patientId; }
    bool editable() const { return settings_.editable; }
    AdditionalInfoTab* info() const { return info_; }
    ToolTabPage* page(int tab) const { return pages_[tab]; }
    // "入力画面に戻る": asks about changed additional information, tells the current tab
    // and closes. False when the window stays open.
    bool requestClose();
    // Closes at once, without questions (a tool that has finished the window's work).
    void endWindow();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void load();
    void onTabChanged(int index);

    Settings settings_;
    AdditionalInfoTab* info_ = nullptr;
    std::array<ToolTabPage*, TabCount> pages_{};
    bool closing_ = false;
};

// Shows the tools screen over the entry screen for its current patient and stage.
void ShowToolsScreen(PFrmInput* entry, int startTab);

} // namespace kvr
