// The chart screen: one patient's four examination stages as a periodontal chart (two
// pairs of stages with their figures, tooth pictures, pocket-depth graphs, mobility and
// furcation) and as the data-sheet preview, with the print and PDF buttons of both
// sheets for the three applicant kinds and the blank form.
//
// Construction fills the patient box and selects the given patient (the entry screen's
// current patient; 0 = none), draws the data-sheet preview for that patient and shows
// the chart tab. The preview stays the one drawn on opening; a patient chosen later is
// shown on the chart tab. Show it modally with exec().
#pragma once

#include "chart/ChartView.h"
#include "chart/ChartViewModel.h"

#include <QDialog>

#include <array>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QScrollBar;
class QTabWidget;

namespace kvr {

class ToothButton;

class PFrmChartDR : public QDialog {
    Q_OBJECT
public:
    explicit PFrmChartDR(int currentPatient, QWidget* parent = nullptr);
    ~PFrmChartDR() override;

    // ---------------------------------------------------------------- controls
    QComboBox* CmbOutNo = nullptr;
    QLabel* LblApplyNo = nullptr;
    QLabel* TxtAppName = nullptr;
    QListWidget* LstEntry = nullptr;
    QTabWidget* SSTab1 = nullptr;
    std::array<QLabel*, 4> LblStage{}, LblDate{}, LblAll{}, LblPD{}, LblBlood{}, LblAve{};
    std::array<QLabel*, 4> LblGP0{}, LblGP1{}, LblGP2{};
    std::array<QLabel*, 3> LblGPH{}; // LblGPH0..2
    std::array<QLabel*, 64> LblMOB{};
    std::array<QLabel*, 2> LblMOBH{};
    std::array<ToothButton*, 64> Th{};
    std::array<ChartJawView*, 4> PicPocket{}; // pair * 2 + jaw
    QWidget* PicFrame = nullptr;
    DataSheetPage* PicDraw = nullptr;
    QScrollBar* VScrPic = nullptr;
    std::array<QPushButton*, 6> BtnPrintChart{};
    std::array<QPushButton*, 6> BtnPrintData{};
    QPushButton* BtnBlankPrint = nullptr;
    QPushButton* BtnEnd = nullptr;

    // ---------------------------------------------------------------- state
    int patient() const { return data_.patientId; }
    const ChartStages& stages() const { return data_.stages; }
    QString caseNumber() const { return data_.caseNumber; }
    // What the preview shows (the patient of the opening).
    const SheetSource& previewSource() const { return previewSource_; }

    // ---------------------------------------------------------------- operations
    // Selects a patient of the box and shows him (the box's click); false when the
    // number is not in the box.
    bool selectPatient(int patientId);
    // The typed-number check of the box (on Enter and on leaving it): an empty text is
    // accepted, a listed number is selected, anything else is refused with the
    // out-of-range box and the focus stays in the box. True when accepted.
    bool validateTypedNumber();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    QWidget* buildSidePanel();
    QWidget* buildChartTab();
    QWidget* buildFigureTable();
    QWidget* buildPreviewTab();
    void showPatientData();
    void showStageFigures(int slot);
    void drawChartPair(int pair);
    void drawDataPreview();
    void layoutPreview();
    void scalePreview(int value);
    void printChart(int index);
    void printData(int index);
    void printBlank();
    void end();
    SheetSource source() const;
    void trap(const QString& firstLine, const std::function<void()>& action);

    ChartPatientData data_;
    ChartStages previewStages_;
    SheetSource previewSource_;
    std::array<ChartPairBlock*, 2> pairs_{};
    QWidget* sidePanel_ = nullptr;
    std::array<int, 3> limits_{1, 4, 7};
    bool selecting_ = false;
    bool ending_ = false;
};

} // namespace kvr
