// The backup window offered when the entry screen closes.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace kvr {

class PFrmBackup : public QDialog {
    Q_OBJECT
public:
    explicit PFrmBackup(QWidget* parent = nullptr);

    void CmdPathBackUp_Click();
    void CmdBackUp_Click();

    QLabel* LblSrcBackUp;
    QLabel* LblPathBackUp;
    QLabel* LblDesBackUp;
    QPushButton* CmdPathBackUp;
    QPushButton* CmdBackUp;
    QPushButton* CmdEnd;

private:
    void showTarget();
    QString datedName_; // fixed when the window opens
};

} // namespace kvr
