// The choice box of the plaque command: apply the marks to the sites not yet
// examined, to all sites, or to none.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kvr {

// The choices, as the shared choice holds them.
constexpr int kScopeNotExamined = 200; // only the sites not yet examined
constexpr int kScopeAll = 201;         // all sites
constexpr int kScopeCancelled = -999;  // none (cancelled)

// The shared choice the box leaves for its caller.
int& msgBoxBuiResult();

class PFrmMsgBoxBui : public QDialog {
public:
    // Opening the box sets the shared choice to "cancelled".
    explicit PFrmMsgBoxBui(QWidget* parent = nullptr);

    QLabel* LblMessage = nullptr;
    QPushButton* CmdNonExam = nullptr;
    QPushButton* CmdAllExam = nullptr;
    QPushButton* CmdCancel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void choose(int choice);
};

// Opens the box modally and returns the choice (kScopeNotExamined, kScopeAll or
// kScopeCancelled; the close box and Escape give kScopeCancelled).
int AskPlaqueScope(QWidget* parent);

} // namespace kvr
