// The backup and restore panel of the tools screen's tab "データの管理".
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kvr {

class BackupRestorePanel : public QWidget {
    Q_OBJECT
public:
    explicit BackupRestorePanel(QWidget* parent = nullptr);

    void CmdPathBackUp_Click();
    void CmdBackUp_Click();
    void CmdPathRestore_Click();
    void CmdRestore_Click();
    // A fresh dated name in TxtFile (the tab was selected or the window opened).
    void resetFileName();

    QLabel* LblPathBackUp;
    QPushButton* CmdPathBackUp;
    QLineEdit* TxtFile;
    QPushButton* CmdBackUp;
    QLabel* LblResultBackUp;
    QLabel* LblSrcBackUp;
    QLabel* LblDesBackUp;
    QLabel* LblPathRestore;
    QPushButton* CmdPathRestore;
    QPushButton* CmdRestore;
    QLabel* LblResultRestore;
    QLabel* LblSrcRestore;
    QLabel* LblDesRestore;
    QLabel* LblDesRestoreBackup;

protected:
    void showEvent(QShowEvent* event) override;
};

} // namespace kvr
