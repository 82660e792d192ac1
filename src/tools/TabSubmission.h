// The tools screen's tab "提出用ファイル作成".
#pragma once

#include "ToolTabs.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace kvr {

class SubmissionTab : public ToolTabPage {
    Q_OBJECT
public:
    explicit SubmissionTab(QWidget* parent = nullptr);
    void onSelected() override;

    // Recomputes the archive path (unchanged while the member number is empty).
    void UpdateArchiveName();
    void OptSyubetu_Click(int index);
    void CmdUploadKVRDB_Click();
    void CmdLogKVRDB_Click();

    QLineEdit* TxtClinicCode;
    QRadioButton* OptSyubetu[3];
    QLabel* LblUploadKVRDB;
    QLabel* LblUploadKVRDBName;
    QPushButton* CmdUploadKVRDB;
    QPushButton* CmdLogKVRDB;

private:
    int chosenKind() const;
    void createArchive();
    void setBusy(bool busy);
    QButtonGroup* group_;
};

} // namespace kvr
