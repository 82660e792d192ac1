// The tab "追加情報" of the tools screen: one case's additional clinical information,
// shown from ThePatientAdd, edited, checked and saved into TPatientAdd.
//
// Lists are filled from the master table (the entry's item data is its code); a list
// without a selection reads as -9 ("未選択" clears the selection). Six lists open or
// close the inputs that depend on them (smoking, medical history, medication, occlusal
// trauma, periodontal surgery, "診断").
#pragma once

#include "tools/CPatientAdd.h"
#include "tools/ToolTabs.h"

#include <QList>
#include <QString>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;

namespace kvr {

class ToothFlagRow;

class AdditionalInfoTab : public ToolTabPage {
    Q_OBJECT
public:
    explicit AdditionalInfoTab(QWidget* parent = nullptr);

    // ---------------------------------------------------------------- controls
    QLabel* LblID = nullptr;
    QLineEdit* TxtBirthDay = nullptr;
    QComboBox* CmbSex = nullptr;
    QList<QCheckBox*> ChkChiefComplaint;
    QLineEdit* TxtHeight = nullptr;
    QLineEdit* TxtWeight = nullptr;
    QComboBox* CmbSmokingHistory = nullptr;
    QLineEdit* TxtPackDay = nullptr;
    QLineEdit* TxtSmokingYear = nullptr;
    QComboBox* CmbMedicalHistory = nullptr;
    QList<QCheckBox*> ChkDiseaseName;
    QComboBox* CmbIngestion = nullptr;
    QList<QCheckBox*> ChkIngestion;
    QComboBox* CmbFinalEducation = nullptr;
    QComboBox* CmbMedicalExamHistYear = nullptr;
    QComboBox* CmbPeriodontalTreatment = nullptr;
    QComboBox* CmbPeriodontalDiseaseFamily = nullptr;
    QLineEdit* TxtBrushTeethDay = nullptr;
    QComboBox* CmbAuxiliaryTool = nullptr;
    QLineEdit* TxtMissingToothNum = nullptr;
    QLineEdit* TxtDentalCariesNum = nullptr;
    QLineEdit* TxtTreatmentFinishedNum = nullptr;
    QComboBox* CmbLowerPositionalRelationR = nullptr;
    QComboBox* CmbLowerPositionalRelationL = nullptr;
    QList<QCheckBox*> ChkMalocclusion;
    QComboBox* CmbTeethRow = nullptr;
    QComboBox* CmbSideMoveRightContactNum = nullptr;
    QComboBox* CmbSideMoveLeftContactNum = nullptr;
    QComboBox* CmbFrontMoveContactNum = nullptr;
    QComboBox* CmbOcclusalTrauma = nullptr;
    ToothFlagRow* LblPC = nullptr;
    ToothFlagRow* LblBS = nullptr;
    ToothFlagRow* LblFR = nullptr;
    QComboBox* CmbBruxism = nullptr;
    QComboBox* CmbMouthBreathing = nullptr;
    QComboBox* CmbFoodImpaction = nullptr;
    QComboBox* CmbOrthodonticTreatmentHistory = nullptr;
    QComboBox* CmbBoneResorptionAll = nullptr;
    QLineEdit* TxtBoneResorptionMaxPer = nullptr;
    ToothFlagRow* LblBR = nullptr;
    QComboBox* CmbKvrDiagnosis = nullptr;
    QComboBox* CmbKvrDiagnosisLW = nullptr;
    QComboBox* CmbKvrDiagnosisCA = nullptr;
    QComboBox* CmbNewDiagnosisStage = nullptr;
    QComboBox* CmbNewDiagnosisGrade = nullptr;
    QComboBox* CmbPerioSurgeryTreatment = nullptr;
    ToothFlagRow* LblAT = nullptr;
    ToothFlagRow* LblTAT = nullptr;
    ToothFlagRow* LblPTRT = nullptr;
    ToothFlagRow* LblPPS = nullptr;
    // The "＊" marks of the four diagnosis lists, shown while those lists are open.
    QLabel* LblKvrDiagnosisLW = nullptr;
    QLabel* LblKvrDiagnosisCA = nullptr;
    QLabel* LblNewDiagnosisStage = nullptr;
    QLabel* LblNewDiagnosisGrade = nullptr;
    QScrollArea* scrollArea() const { return scroll_; }

    // ---------------------------------------------------------------- operations
    // The patient whose record is shown and saved (1 and above).
    void setPatient(int patientId) { patientId_ = patientId; }
    int patient() const { return patientId_; }

    // Lists and check-box captions from the master table.
    void FillMasterLists();
    // Loads the patient's row (or a cleared record) into ThePatientAdd and the controls.
    void ShowAdditionalInfo();
    // Compares the controls with ThePatientAdd; with store also writes the differing
    // values into it. True when anything differs.
    bool CollectAdditionalInfo(bool store);
    // Checks the controls; 0 = go on saving, non-zero = the user cancelled.
    int ValidateAdditionalInfo();
    // The lines of the check, in order (empty when everything is answered).
    QStringList validationLines();
    // Checks and saves; non-zero when cancelled or not saved.
    int SaveAdditionalInfo();
    // Every input of the tab (lists, text boxes, check boxes, tooth rows).
    void SetInfoInputsEnabled(bool enabled);

    void UpdateSmokingInputs();
    void UpdateDiseaseChecks();
    void UpdateIngestionChecks();
    void UpdateOcclusalTraumaTeeth();
    void UpdatePerioSurgeryTeeth();
    void UpdateDiagnosisLists();

    // The code of a list: the item data of its entry, -9 without a selection.
    static int listCode(const QComboBox* box);
    // The birth month box's text as a stored date ("yyyy/mm/01"); empty when the text is
    // not six characters forming a valid year and month.
    static QString birthMonthDate(const QString& text);
    // Every input, in the order of the Tab chain.
    QList<QWidget*> inputs() const { return inputs_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct ListField {
        QComboBox* box;
        int group;
        qint16 CPatientAdd::*field;
    };
    struct FlagField {
        QList<QCheckBox*>* boxes;
        int group;
        QString CPatientAdd::*field;
    };
    struct TextField {
        QLineEdit* edit;
        QString CPatientAdd::*text; // stored as typed
        qint16 CPatientAdd::*count; // or as a number, -9 when empty
    };
    struct TeethField {
        ToothFlagRow* row;
        QString CPatientAdd::*field;
    };

    void build();
    void bindFields();
    void connectInputs();
    void selectCode(QComboBox* box, int code);
    void onListActivated(QComboBox* box);
    void runDependencyUpdate(QComboBox* box);
    bool leaveTextBox(QLineEdit* edit);
    static int dependencyCode(const QComboBox* box);

    int patientId_ = 0;
    QScrollArea* scroll_ = nullptr;
    QList<ListField> lists_;
    QList<FlagField> flags_;
    QList<TextField> texts_;
    QList<TeethField> teeth_;
    QList<QWidget*> inputs_;
    QList<QLabel*> diagnosisMarks_;
    bool checkingText_ = false;
};

} // namespace kvr
