// The start screen: asks for the member number, logs the start, creates the member
// folder and its database on first use, and sets the member paths.
#pragma once

#include <QDialog>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace kvr {

class PFrmSplash : public QDialog {
    Q_OBJECT
public:
    explicit PFrmSplash(QWidget* parent = nullptr);

    QLineEdit* TxtKVRCode;
    QPushButton* CmdOK;
    QPushButton* CmdCansel;
    QCheckBox* ChkDoc;
    QLabel* LblTitle1;
    QLabel* LblTitle2;
    QFrame* PanelDoc; // the explanation panel

    // Called after a new member folder received its database (stores the member
    // number as the clinic code of the new database).
    std::function<void()> onMemberDatabaseCreated;

    // Widths of the window with and without the explanation panel.
    int wideWidth() const;
    int narrowWidth() const;
    bool panelShown() const;

    void CmdOK_Click();
    void CmdCansel_Click();
    void ChkDoc_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void applyPanel(bool shown);
    bool accepted_ = false;
};

} // namespace kvr
