#include "AdditionalInfoTab.h"

#include "ToothFlagRow.h"
#include "data/ADODBMain.h"
#include "data/CMaster.h"
#include "data/RecordUtil.h"
#include "platform/accessible.h"
#include "platform/services.h"
#include "shell/FileUtil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScrollArea>
#include <QVBoxLayout>

namespace kvr {

namespace {

const char* const kChiefComplaints[] = {"1 腫脹",     "2 動揺",   "3 疼痛", "4 出血",     "5 咬めない",
                                        "6 抜歯宣告", "7 違和感", "8 口臭", "9 歯肉退縮", "10 その他"};
const char* const kDiseases[] = {"1 脳梗塞",
                                 "2 心血管疾患",
                                 "3 高血圧",
                                 "4 脂質異常症",
                                 "5 糖尿病（HbA1c7.0%以上）",
                                 "6 糖尿病（HbA1c7.0%未満）",
                                 "7 ﾒﾀﾎﾞﾘｯｸｼﾝﾄﾞﾛｰﾑ",
                                 "8 慢性腎臓病",
                                 "9 慢性腎臓病以外の腎疾患",
                                 "10 脂肪肝（アルコール性、非アルコール性）",
                                 "11 脂肪肝以外の肝胆膵疾患",
                                 "12 産科・婦人科系疾患",
                                 "13 消化器疾患",
                                 "14 呼吸器疾患",
                                 "15 耳鼻咽頭疾患",
                                 "16 血液疾患",
                                 "17 悪性腫瘍",
                                 "18 膠原病",
                                 "19 骨粗鬆症",
                                 "20 リウマチ",
                                 "21 精神疾患",
                                 "22 その他"};
const char* const kMedicines[] = {"1 脂質異常症薬",
                                  "2 降圧薬",
                                  "3 抗血栓薬",
                                  "4 抗不整脈薬",
                                  "5 糖尿病治療薬",
                                  "6 骨粗鬆症薬",
                                  "7 抗てんかん薬",
                                  "8 抗がん剤",
                                  "9 免疫抑制薬",
                                  "10 消化性潰瘍治療薬",
                                  "11 抗うつ薬、抗不安薬、睡眠導入薬",
                                  "12 その他"};
const char* const kMalocclusions[] = {"1 正常咬合", "2 過蓋咬合", "3 切端咬合", "4 開咬", "5 反対咬合"};

const QString kUnselected = QStringLiteral("未選択");
const QString kBirthDayRetype =
    QStringLiteral("入力が間違っています。西暦年４桁月２桁(YYYYMM)を再入力してください。");

// The number a text starts with (0 when it starts with none).
int leadingNumberOf(const QString& text) {
    static const QRegularExpression re(R"(^\s*([+-]?\d+))");
    const auto m = re.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QLabel* caption(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    l->setMaximumWidth(120);
    return l;
}

QLabel* requiredMark(QWidget* parent) {
    auto* l = new QLabel(QStringLiteral("＊"), parent);
    l->setStyleSheet("color:#C00000;");
    return l;
}

QComboBox* list(const QString& name, QLabel* label, QWidget* parent) {
    auto* c = new QComboBox(parent);
    NameInput(c, name, label);
    c->setMinimumWidth(170);
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return c;
}

QLineEdit* textBox(const QString& name, QLabel* label, QWidget* parent, int width = 70) {
    auto* e = new QLineEdit(parent);
    NameInput(e, name, label);
    e->setFixedWidth(width);
    return e;
}

QList<QCheckBox*> checkBoxes(const QString& name, const char* const* captions, int n, const QString& group,
                             QWidget* parent) {
    QList<QCheckBox*> out;
    for (int i = 0; i < n; ++i) {
        auto* b = new QCheckBox(QString::fromUtf8(captions[i]), parent);
        NameControl(b, name + "(" + QString::number(i) + ")", QString());
        b->setAccessibleName(group + " " + b->text());
        out << b;
    }
    return out;
}

// A grid of check boxes, columns boxes a line.
QWidget* boxGrid(const QList<QCheckBox*>& boxes, int columns, QWidget* parent) {
    auto* w = new QWidget(parent);
    auto* g = new QGridLayout(w);
    g->setContentsMargins(0, 0, 0, 0);
    g->setHorizontalSpacing(8);
    g->setVerticalSpacing(2);
    for (int i = 0; i < boxes.size(); ++i)
        g->addWidget(boxes[i], i / columns, i % columns);
    return w;
}

QWidget* inLine(std::initializer_list<QWidget*> widgets, QWidget* parent) {
    auto* w = new QWidget(parent);
    auto* h = new QHBoxLayout(w);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(6);
    for (QWidget* x : widgets)
        h->addWidget(x);
    h->addStretch(1);
    return w;
}

// One group of the form: rows of mark, caption and input.
class Section {
public:
    Section(const QString& title, QWidget* parent)
        : box(new QGroupBox(title, parent)), grid(new QGridLayout(box)) {
        grid->setColumnMinimumWidth(0, 14);
        grid->setColumnMinimumWidth(1, 104);
        grid->setColumnStretch(2, 1);
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(4);
    }
    // The caption label first (the input names itself after it), then the input.
    QLabel* label(const QString& text) { return caption(text, box); }
    QLabel* add(QLabel* label, QWidget* input, bool required = false) {
        QLabel* mark = nullptr;
        if (required) {
            mark = requiredMark(box);
            grid->addWidget(mark, row, 0, Qt::AlignTop);
        }
        grid->addWidget(label, row, 1, Qt::AlignTop);
        grid->addWidget(input, row, 2);
        ++row;
        return mark;
    }
    QGroupBox* box;
    QGridLayout* grid;
    int row = 0;
};

} // namespace

AdditionalInfoTab::AdditionalInfoTab(QWidget* parent) : ToolTabPage(parent) {
    build();
    bindFields();
    connectInputs();
    UpdateDiagnosisLists();
}

void AdditionalInfoTab::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll_);
    auto* body = new QWidget(scroll_);
    scroll_->setWidget(body);
    auto* columns = new QHBoxLayout(body);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
    QWidget* p = body;

    // Patient.
    Section patient(QStringLiteral("患者"), p);
    {
        QLabel* l = patient.label(QStringLiteral("患者番号"));
        LblID = new QLabel(patient.box);
        NameInput(LblID, "LblID", l);
        patient.add(l, LblID);
        l = patient.label(QStringLiteral("生年月"));
        TxtBirthDay = textBox("TxtBirthDay", l, patient.box, 80);
        patient.add(l, inLine({TxtBirthDay, new QLabel(QStringLiteral("YYYYMM"), patient.box)}, patient.box),
                    true);
        l = patient.label(QStringLiteral("性別"));
        CmbSex = list("CmbSex", l, patient.box);
        patient.add(l, inLine({CmbSex}, patient.box), true);
        l = patient.label(QStringLiteral("主訴"));
        ChkChiefComplaint = checkBoxes("ChkChiefComplaint", kChiefComplaints, 10, l->text(), patient.box);
        patient.add(l, boxGrid(ChkChiefComplaint, 5, patient.box), true);
        l = patient.label(QStringLiteral("身長・体重"));
        TxtHeight = textBox("TxtHeight", l, patient.box);
        TxtWeight = textBox("TxtWeight", l, patient.box);
        TxtWeight->setAccessibleName(QStringLiteral("体重"));
        TxtHeight->setAccessibleName(QStringLiteral("身長"));
        patient.add(
            l, inLine({TxtHeight, new QLabel("cm", patient.box), TxtWeight, new QLabel("kg", patient.box)},
                      patient.box));
    }
    left->addWidget(patient.box);

    // Smoking, medical history and medication.
    Section history(QStringLiteral("喫煙・既往歴・服薬"), p);
    {
        QLabel* l = history.label(QStringLiteral("喫煙歴"));
        CmbSmokingHistory = list("CmbSmokingHistory", l, history.box);
        history.add(l, inLine({CmbSmokingHistory}, history.box), true);
        l = history.label(QStringLiteral("1日の本数"));
        TxtPackDay = textBox("TxtPackDay", l, history.box);
        history.add(l, inLine({TxtPackDay}, history.box));
        l = history.label(QStringLiteral("喫煙年数"));
        TxtSmokingYear = textBox("TxtSmokingYear", l, history.box);
        history.add(l, inLine({TxtSmokingYear}, history.box));
        l = history.label(QStringLiteral("既往歴"));
        CmbMedicalHistory = list("CmbMedicalHistory", l, history.box);
        history.add(l, inLine({CmbMedicalHistory}, history.box), true);
        l = history.label(QStringLiteral("病名"));
        ChkDiseaseName = checkBoxes("ChkDiseaseName", kDiseases, 22, l->text(), history.box);
        history.add(l, boxGrid(ChkDiseaseName, 2, history.box));
        l = history.label(QStringLiteral("服薬"));
        CmbIngestion = list("CmbIngestion", l, history.box);
        history.add(l, inLine({CmbIngestion}, history.box));
        l = history.label(QStringLiteral("薬名"));
        ChkIngestion = checkBoxes("ChkIngestion", kMedicines, 12, l->text(), history.box);
        history.add(l, boxGrid(ChkIngestion, 2, history.box));
    }
    left->addWidget(history.box);

    // Education, dental history and habits, teeth counts.
    Section habits(QStringLiteral("受診歴・習慣・歯数"), p);
    {
        auto addList = [&](QComboBox*& box, const char* name, const QString& text, bool required = false) {
            QLabel* l = habits.label(text);
            box = list(name, l, habits.box);
            habits.add(l, inLine({box}, habits.box), required);
        };
        auto addText = [&](QLineEdit*& edit, const char* name, const QString& text, const QString& note,
                           bool required = false) {
            QLabel* l = habits.label(text);
            edit = textBox(name, l, habits.box);
            QWidget* w = note.isEmpty() ? inLine({edit}, habits.box)
                                        : inLine({edit, new QLabel(note, habits.box)}, habits.box);
            habits.add(l, w, required);
        };
        addList(CmbFinalEducation, "CmbFinalEducation", QStringLiteral("教育歴"));
        addList(CmbMedicalExamHistYear, "CmbMedicalExamHistYear",
                QStringLiteral("直近1年以内の    歯科受診歴"));
        addList(CmbPeriodontalTreatment, "CmbPeriodontalTreatment", QStringLiteral("歯周治療の既往"));
        addList(CmbPeriodontalDiseaseFamily, "CmbPeriodontalDiseaseFamily", QStringLiteral("歯周病の家族歴"));
        addText(TxtBrushTeethDay, "TxtBrushTeethDay", QStringLiteral("1日の歯磨き回数"), QString());
        addList(CmbAuxiliaryTool, "CmbAuxiliaryTool", QStringLiteral("補助器具の使用"));
        addText(TxtMissingToothNum, "TxtMissingToothNum", QStringLiteral("喪失歯数（智歯を除く)"), QString(),
                true);
        addText(TxtDentalCariesNum, "TxtDentalCariesNum", QStringLiteral("未処置歯（智歯を除く)"),
                QStringLiteral(" (二次う蝕含む)"));
        addText(TxtTreatmentFinishedNum, "TxtTreatmentFinishedNum",
                QStringLiteral("治療済み歯数（智歯を除く)"), QString());
    }
    left->addWidget(habits.box);
    left->addStretch(1);

    // Occlusion.
    Section occlusion(QStringLiteral("咬合"), p);
    {
        QLabel* l = occlusion.label(QStringLiteral("下顎位置関係"));
        CmbLowerPositionalRelationR = list("CmbLowerPositionalRelationR", l, occlusion.box);
        CmbLowerPositionalRelationL = list("CmbLowerPositionalRelationL", l, occlusion.box);
        CmbLowerPositionalRelationR->setAccessibleName(QStringLiteral("下顎位置関係 右"));
        CmbLowerPositionalRelationL->setAccessibleName(QStringLiteral("下顎位置関係 左"));
        CmbLowerPositionalRelationR->setMinimumWidth(120);
        CmbLowerPositionalRelationL->setMinimumWidth(120);
        occlusion.add(l,
                      inLine({new QLabel(QStringLiteral("右"), occlusion.box), CmbLowerPositionalRelationR,
                              new QLabel(QStringLiteral("左"), occlusion.box), CmbLowerPositionalRelationL},
                             occlusion.box));
        l = occlusion.label(QStringLiteral("不正咬合"));
        ChkMalocclusion = checkBoxes("ChkMalocclusion", kMalocclusions, 5, l->text(), occlusion.box);
        occlusion.add(l, boxGrid(ChkMalocclusion, 5, occlusion.box));
        auto addList = [&](QComboBox*& box, const char* name, const QString& text) {
            QLabel* lb = occlusion.label(text);
            box = list(name, lb, occlusion.box);
            occlusion.add(lb, inLine({box}, occlusion.box));
        };
        auto addTeeth = [&](ToothFlagRow*& row, const char* name, const QString& text) {
            QLabel* lb = occlusion.label(text);
            row = new ToothFlagRow(name, text, occlusion.box);
            lb->setBuddy(row);
            occlusion.add(lb, row);
        };
        addList(CmbTeethRow, "CmbTeethRow", QStringLiteral("歯列"));
        addList(CmbSideMoveRightContactNum, "CmbSideMoveRightContactNum",
                QStringLiteral("側方運動時         右側の作業側誘導"));
        addList(CmbSideMoveLeftContactNum, "CmbSideMoveLeftContactNum",
                QStringLiteral("側方運動時         左側の作業側誘導"));
        addList(CmbFrontMoveContactNum, "CmbFrontMoveContactNum", QStringLiteral("前方運動時の誘導"));
        addList(CmbOcclusalTrauma, "CmbOcclusalTrauma", QStringLiteral("咬合性外傷"));
        addTeeth(LblPC, "LblPC", QStringLiteral("早期接触"));
        addTeeth(LblBS, "LblBS", QStringLiteral("平衡側干渉"));
        addTeeth(LblFR, "LblFR", QStringLiteral("フレミタス"));
        addList(CmbBruxism, "CmbBruxism", QStringLiteral("ブラキシズム"));
        addList(CmbMouthBreathing, "CmbMouthBreathing", QStringLiteral("口呼吸"));
        addList(CmbFoodImpaction, "CmbFoodImpaction", QStringLiteral("食片圧入"));
        addList(CmbOrthodonticTreatmentHistory, "CmbOrthodonticTreatmentHistory",
                QStringLiteral("矯正治療の既往"));
    }
    right->addWidget(occlusion.box);

    // Bone resorption.
    Section bone(QStringLiteral("骨吸収"), p);
    {
        QLabel* l = bone.label(QStringLiteral("骨吸収 (全体の平均)"));
        CmbBoneResorptionAll = list("CmbBoneResorptionAll", l, bone.box);
        bone.add(l, inLine({CmbBoneResorptionAll}, bone.box));
        l = bone.label(QStringLiteral("保存する計画の歯の　なかで最大骨吸収"));
        TxtBoneResorptionMaxPer = textBox("TxtBoneResorptionMaxPer", l, bone.box);
        bone.add(l, inLine({TxtBoneResorptionMaxPer, new QLabel("%", bone.box)}, bone.box));
        l = bone.label(QStringLiteral("骨吸収が最大の部位"));
        LblBR = new ToothFlagRow("LblBR", l->text(), bone.box);
        l->setBuddy(LblBR);
        bone.add(l, LblBR);
    }
    right->addWidget(bone.box);

    // Diagnosis.
    Section diagnosis(QStringLiteral("診断"), p);
    {
        QLabel* l = diagnosis.label(QStringLiteral("診断"));
        CmbKvrDiagnosis = list("CmbKvrDiagnosis", l, diagnosis.box);
        diagnosis.add(l, inLine({CmbKvrDiagnosis}, diagnosis.box), true);
        auto addList = [&](QComboBox*& box, QLabel*& mark, const char* name, const char* markName,
                           const QString& text) {
            QLabel* lb = diagnosis.label(text);
            box = list(name, lb, diagnosis.box);
            mark = diagnosis.add(lb, inLine({box}, diagnosis.box), true);
            NameControl(mark, markName, QStringLiteral("必須"));
            diagnosisMarks_ << mark;
        };
        addList(CmbKvrDiagnosisLW, LblKvrDiagnosisLW, "CmbKvrDiagnosisLW", "LblKvrDiagnosisLW",
                QStringLiteral("KVR診断名 限局/広汎"));
        addList(CmbKvrDiagnosisCA, LblKvrDiagnosisCA, "CmbKvrDiagnosisCA", "LblKvrDiagnosisCA",
                QStringLiteral("慢性/侵襲"));
        addList(CmbNewDiagnosisStage, LblNewDiagnosisStage, "CmbNewDiagnosisStage", "LblNewDiagnosisStage",
                QStringLiteral("新分類診断名 ステージ"));
        addList(CmbNewDiagnosisGrade, LblNewDiagnosisGrade, "CmbNewDiagnosisGrade", "LblNewDiagnosisGrade",
                QStringLiteral("グレード"));
    }
    right->addWidget(diagnosis.box);

    // Periodontal surgery.
    Section surgery(QStringLiteral("歯周外科治療"), p);
    {
        QLabel* l = surgery.label(QStringLiteral("歯周外科治療"));
        CmbPerioSurgeryTreatment = list("CmbPerioSurgeryTreatment", l, surgery.box);
        surgery.add(l, inLine({CmbPerioSurgeryTreatment}, surgery.box), true);
        auto addTeeth = [&](ToothFlagRow*& row, const char* name, const QString& text) {
            QLabel* lb = surgery.label(text);
            row = new ToothFlagRow(name, text, surgery.box);
            lb->setBuddy(row);
            surgery.add(lb, row);
        };
        addTeeth(LblAT, "LblAT", QStringLiteral("切除療法"));
        addTeeth(LblTAT, "LblTAT", QStringLiteral("組織付着療法"));
        addTeeth(LblPTRT, "LblPTRT", QStringLiteral("歯周組織再生療法"));
        addTeeth(LblPPS, "LblPPS", QStringLiteral("歯周形成外科"));
    }
    right->addWidget(surgery.box);
    auto* legend = new QLabel(QStringLiteral("＊：必須項目"), p);
    legend->setStyleSheet("color:#C00000;");
    right->addWidget(legend);
    right->addStretch(1);
}

void AdditionalInfoTab::bindFields() {
    using C = CPatientAdd;
    lists_ = {{CmbSex, 1, &C::Sex},
              {CmbSmokingHistory, 3, &C::SmokingHistory},
              {CmbMedicalHistory, 4, &C::MedicalHistory},
              {CmbIngestion, 6, &C::Ingestion},
              {CmbFinalEducation, 8, &C::FinalEducation},
              {CmbMedicalExamHistYear, 9, &C::MedicalExamHistYear},
              {CmbPeriodontalTreatment, 10, &C::PeriodontalTreatment},
              {CmbPeriodontalDiseaseFamily, 11, &C::PeriodontalDiseaseFamily},
              {CmbAuxiliaryTool, 12, &C::AuxiliaryTool},
              {CmbLowerPositionalRelationR, 13, &C::LowerPositionalRelationR},
              {CmbLowerPositionalRelationL, 13, &C::LowerPositionalRelationL},
              {CmbTeethRow, 15, &C::TeethRow},
              {CmbSideMoveRightContactNum, 27, &C::SideMoveRightContactNum},
              {CmbSideMoveLeftContactNum, 28, &C::SideMoveLeftContactNum},
              {CmbFrontMoveContactNum, 29, &C::FrontMoveContactNum},
              {CmbOcclusalTrauma, 16, &C::OcclusalTrauma},
              {CmbBruxism, 17, &C::Bruxism},
              {CmbMouthBreathing, 18, &C::MouthBreathing},
              {CmbFoodImpaction, 19, &C::FoodImpaction},
              {CmbOrthodonticTreatmentHistory, 20, &C::OrthodonticTreatmentHistory},
              {CmbBoneResorptionAll, 21, &C::BoneResorptionAll},
              {CmbKvrDiagnosis, 30, &C::KvrDiagnosis},
              {CmbKvrDiagnosisLW, 22, &C::KvrDiagnosisLW},
              {CmbKvrDiagnosisCA, 23, &C::KvrDiagnosisCA},
              {CmbNewDiagnosisStage, 24, &C::NewDiagnosisStage},
              {CmbNewDiagnosisGrade, 25, &C::NewDiagnosisGrade},
              {CmbPerioSurgeryTreatment, 26, &C::PerioSurgeryTreatment}};
    flags_ = {{&ChkChiefComplaint, 2, &C::ChiefComplaint2},
              {&ChkDiseaseName, 5, &C::DiseaseName},
              {&ChkIngestion, 7, &C::MedicineName},
              {&ChkMalocclusion, 14, &C::Malocclusion2}};
    texts_ = {{TxtHeight, &C::Height, nullptr},
              {TxtWeight, &C::Weight, nullptr},
              {TxtPackDay, &C::PackDay, nullptr},
              {TxtSmokingYear, &C::SmokingYear, nullptr},
              {TxtBrushTeethDay, nullptr, &C::BrushTeethDay},
              {TxtMissingToothNum, nullptr, &C::MissingToothNum},
              {TxtDentalCariesNum, nullptr, &C::DentalCariesNum},
              {TxtTreatmentFinishedNum, nullptr, &C::TreatmentFinishedNum},
              {TxtBoneResorptionMaxPer, &C::BoneResorptionMaxPer, nullptr}};
    teeth_ = {{LblPC, &C::PrematureContact},
              {LblBS, &C::BalancingSideInterference},
              {LblFR, &C::Fremitus},
              {LblBR, &C::BoneResorptionMaxTh},
              {LblAT, &C::AblativeTherapy},
              {LblTAT, &C::TissueAdhesionTherapy},
              {LblPTRT, &C::PerioTissueRegenTherapy},
              {LblPPS, &C::PerioPlasticSurgery}};

    // The Tab chain follows the form from top to bottom, left column first.
    inputs_ = {TxtBirthDay, CmbSex};
    for (QCheckBox* b : ChkChiefComplaint)
        inputs_ << b;
    inputs_ << TxtHeight << TxtWeight << CmbSmokingHistory << TxtPackDay << TxtSmokingYear
            << CmbMedicalHistory;
    for (QCheckBox* b : ChkDiseaseName)
        inputs_ << b;
    inputs_ << CmbIngestion;
    for (QCheckBox* b : ChkIngestion)
        inputs_ << b;
    inputs_ << CmbFinalEducation << CmbMedicalExamHistYear << CmbPeriodontalTreatment
            << CmbPeriodontalDiseaseFamily << TxtBrushTeethDay << CmbAuxiliaryTool << TxtMissingToothNum
            << TxtDentalCariesNum << TxtTreatmentFinishedNum << CmbLowerPositionalRelationR
            << CmbLowerPositionalRelationL;
    for (QCheckBox* b : ChkMalocclusion)
        inputs_ << b;
    inputs_ << CmbTeethRow << CmbSideMoveRightContactNum << CmbSideMoveLeftContactNum
            << CmbFrontMoveContactNum << CmbOcclusalTrauma << LblPC << LblBS << LblFR << CmbBruxism
            << CmbMouthBreathing << CmbFoodImpaction << CmbOrthodonticTreatmentHistory << CmbBoneResorptionAll
            << TxtBoneResorptionMaxPer << LblBR << CmbKvrDiagnosis << CmbKvrDiagnosisLW << CmbKvrDiagnosisCA
            << CmbNewDiagnosisStage << CmbNewDiagnosisGrade << CmbPerioSurgeryTreatment << LblAT << LblTAT
            << LblPTRT << LblPPS;
    for (int i = 1; i < inputs_.size(); ++i)
        QWidget::setTabOrder(inputs_[i - 1], inputs_[i]);
}

void AdditionalInfoTab::connectInputs() {
    for (QWidget* w : inputs_)
        w->installEventFilter(this);
    for (const ListField& f : lists_) {
        QComboBox* box = f.box;
        connect(box, &QComboBox::activated, this, [this, box] { onListActivated(box); });
    }
    for (QComboBox* box : {CmbSmokingHistory, CmbMedicalHistory, CmbIngestion, CmbOcclusalTrauma,
                           CmbPerioSurgeryTreatment, CmbKvrDiagnosis})
        connect(box, &QComboBox::currentIndexChanged, this, [this, box] { runDependencyUpdate(box); });
    // A ticked disease means a medical history.
    for (QCheckBox* b : ChkDiseaseName)
        connect(b, &QCheckBox::clicked, this, [this](bool checked) {
            if (checked && CmbMedicalHistory->count() > 1) CmbMedicalHistory->setCurrentIndex(1);
        });
}

// ------------------------------------------------------------------ lists

int AdditionalInfoTab::listCode(const QComboBox* box) {
    return box->currentIndex() < 0 ? CPatientAdd::kNotAnswered : box->currentData().toInt();
}

int AdditionalInfoTab::dependencyCode(const QComboBox* box) {
    return box->currentIndex() < 0 ? 0 : box->currentData().toInt();
}

void AdditionalInfoTab::selectCode(QComboBox* box, int code) {
    box->setCurrentIndex(box->findData(code));
}

void AdditionalInfoTab::onListActivated(QComboBox* box) {
    // The guidance lists keep whatever is chosen.
    if (box == CmbSideMoveRightContactNum || box == CmbSideMoveLeftContactNum ||
        box == CmbFrontMoveContactNum)
        return;
    if (box->currentIndex() >= 0 && box->currentText().trimmed() == kUnselected) box->setCurrentIndex(-1);
}

void AdditionalInfoTab::runDependencyUpdate(QComboBox* box) {
    if (box == CmbSmokingHistory)
        UpdateSmokingInputs();
    else if (box == CmbMedicalHistory)
        UpdateDiseaseChecks();
    else if (box == CmbIngestion)
        UpdateIngestionChecks();
    else if (box == CmbOcclusalTrauma)
        UpdateOcclusalTraumaTeeth();
    else if (box == CmbPerioSurgeryTreatment)
        UpdatePerioSurgeryTeeth();
    else if (box == CmbKvrDiagnosis)
        UpdateDiagnosisLists();
}

void AdditionalInfoTab::FillMasterLists() {
    QList<CMaster> rows;
    OpenMemberDb();
    runWithRetryBox([&] {
        rows.clear();
        db::Recordset rs(memberConn(), "SELECT * FROM TMaster ORDER BY IDLG,SeqNo");
        for (; !rs.eof(); rs.moveNext()) {
            CMaster m;
            m.RecSetGet(rs);
            rows << m;
        }
    });
    CloseMemberDb();

    for (const ListField& f : lists_) {
        const QSignalBlocker block(f.box);
        f.box->clear();
    }
    for (const CMaster& m : rows) {
        for (const ListField& f : lists_)
            if (f.group == m.IDLG) {
                const QSignalBlocker block(f.box);
                f.box->addItem(m.SGName, m.IDSG);
                f.box->setCurrentIndex(-1);
            }
        for (const FlagField& f : flags_)
            if (f.group == m.IDLG && m.IDSG >= 1 && m.IDSG <= f.boxes->size())
                (*f.boxes)[m.IDSG - 1]->setText(m.SGName);
    }
    UpdateDiagnosisLists();
}

// ------------------------------------------------------------------ dependencies

void AdditionalInfoTab::UpdateSmokingInputs() {
    const bool on = dependencyCode(CmbSmokingHistory) != 0;
    if (!on) {
        TxtPackDay->clear();
        TxtSmokingYear->clear();
    }
    TxtPackDay->setEnabled(on);
    TxtSmokingYear->setEnabled(on);
}

void AdditionalInfoTab::UpdateDiseaseChecks() {
    const bool on = dependencyCode(CmbMedicalHistory) != 0;
    for (QCheckBox* b : ChkDiseaseName) {
        if (!on) b->setChecked(false);
        b->setEnabled(on);
    }
}

void AdditionalInfoTab::UpdateIngestionChecks() {
    const bool on = dependencyCode(CmbIngestion) != 0;
    for (QCheckBox* b : ChkIngestion) {
        if (!on) b->setChecked(false);
        b->setEnabled(on);
    }
}

void AdditionalInfoTab::UpdateOcclusalTraumaTeeth() {
    const bool on = dependencyCode(CmbOcclusalTrauma) != 0;
    for (ToothFlagRow* r : {LblPC, LblBS, LblFR}) {
        if (!on) r->clearAll();
        r->setEnabled(on);
    }
}

void AdditionalInfoTab::UpdatePerioSurgeryTeeth() {
    const bool on = dependencyCode(CmbPerioSurgeryTreatment) != 0;
    for (ToothFlagRow* r : {LblAT, LblTAT, LblPTRT, LblPPS}) {
        if (!on) r->clearAll();
        r->setEnabled(on);
    }
}

void AdditionalInfoTab::UpdateDiagnosisLists() {
    const bool on = CmbKvrDiagnosis->count() > 0 && CmbKvrDiagnosis->currentIndex() == 0;
    for (QComboBox* b : {CmbKvrDiagnosisLW, CmbKvrDiagnosisCA, CmbNewDiagnosisStage, CmbNewDiagnosisGrade}) {
        if (!on) b->setCurrentIndex(-1);
        b->setEnabled(on);
    }
    for (QLabel* mark : diagnosisMarks_)
        mark->setVisible(on);
}

void AdditionalInfoTab::SetInfoInputsEnabled(bool enabled) {
    for (QWidget* w : inputs_)
        w->setEnabled(enabled);
}

// ------------------------------------------------------------------ showing

QString AdditionalInfoTab::birthMonthDate(const QString& text) {
    if (text.size() != 6) return QString();
    const QDate d = QDate::fromString(text.left(4) + "/" + text.mid(4, 2) + "/01", "yyyy/MM/dd");
    return d.isValid() ? d.toString("yyyy/MM/dd") : QString();
}

void AdditionalInfoTab::ShowAdditionalInfo() {
    CPatientAdd& r = ThePatientAdd();
    bool found = false;
    OpenMemberDb();
    runWithRetryBox([&] {
        db::Recordset rs(memberConn(), "SELECT * FROM TPatientAdd WHERE ID=?", {patientId_});
        found = !rs.eof();
        if (found) r.RecSetGet(rs);
    });
    CloseMemberDb();
    if (!found) {
        r.ClearBuffer();
        UpdateSmokingInputs();
        UpdateDiseaseChecks();
        UpdateIngestionChecks();
        UpdateOcclusalTraumaTeeth();
        UpdatePerioSurgeryTeeth();
    }

    LblID->setText(QString::number(patientId_));
    const QDate birth = DateOfText(r.BirthDay);
    TxtBirthDay->setText(birth.isValid() ? birth.toString("yyyyMM") : r.BirthDay);
    for (const ListField& f : lists_) {
        selectCode(f.box, r.*f.field);
        runDependencyUpdate(f.box);
    }
    for (const FlagField& f : flags_) {
        if (f.field == &CPatientAdd::DiseaseName && dependencyCode(CmbMedicalHistory) == 0) continue;
        if (f.field == &CPatientAdd::MedicineName && dependencyCode(CmbIngestion) == 0) continue;
        const QString s = r.*f.field;
        for (int i = 0; i < f.boxes->size(); ++i)
            (*f.boxes)[i]->setChecked(i < s.size() && s[i] == '1');
    }
    const bool smoking = CmbSmokingHistory->currentIndex() > 0;
    for (const TextField& f : texts_) {
        if (!smoking && (f.edit == TxtPackDay || f.edit == TxtSmokingYear)) continue;
        if (f.text)
            f.edit->setText(r.*f.text);
        else
            f.edit->setText(r.*f.count == CPatientAdd::kNotAnswered ? QString()
                                                                    : QString::number(r.*f.count));
    }
    for (const TeethField& f : teeth_)
        f.row->setFlags(r.*f.field);
    UpdateSmokingInputs();
    UpdateDiseaseChecks();
    UpdateIngestionChecks();
    UpdateOcclusalTraumaTeeth();
    UpdatePerioSurgeryTeeth();
    UpdateDiagnosisLists();
}

// ------------------------------------------------------------------ collecting

bool AdditionalInfoTab::CollectAdditionalInfo(bool store) {
    CPatientAdd& r = ThePatientAdd();
    bool differs = false;
    auto take = [&](auto& field, const auto& value) {
        if (field == value) return;
        differs = true;
        if (store) field = value;
    };
    const QString birthText = toHalfWidth(TxtBirthDay->text().trimmed());
    const QString birth = birthMonthDate(birthText);
    if (birthText.isEmpty())
        take(r.BirthDay, QString());
    else if (birth.isEmpty())
        differs = true; // not a valid month: not stored
    else
        take(r.BirthDay, birth);
    for (const ListField& f : lists_)
        take(r.*f.field, qint16(listCode(f.box)));
    for (const FlagField& f : flags_) {
        QString s;
        for (QCheckBox* b : *f.boxes)
            s += b->isChecked() ? '1' : '0';
        take(r.*f.field, s);
    }
    for (const TextField& f : texts_) {
        const QString t = f.edit->text();
        if (f.text)
            take(r.*f.text, t);
        else
            take(r.*f.count, qint16(t.trimmed().isEmpty() ? CPatientAdd::kNotAnswered : leadingNumberOf(t)));
    }
    for (const TeethField& f : teeth_)
        take(r.*f.field, f.row->flags());
    return differs;
}

// ------------------------------------------------------------------ checking and saving

QStringList AdditionalInfoTab::validationLines() {
    TxtBirthDay->setText(toHalfWidth(TxtBirthDay->text().trimmed()));
    QStringList lines;
    const QString birth = TxtBirthDay->text();
    if (birth.isEmpty())
        lines << QStringLiteral("生年月が入されていません。西暦年４桁月２桁を入力してください。");
    else if (birthMonthDate(birth).isEmpty())
        lines << QStringLiteral("生年月が間違っています。西暦年４桁月２桁を再入力してください。");
    auto anyTicked = [](const QList<QCheckBox*>& boxes) {
        return std::any_of(boxes.begin(), boxes.end(), [](QCheckBox* b) { return b->isChecked(); });
    };
    if (CmbSex->currentIndex() < 0) lines << QStringLiteral("性別が選択されていません。");
    if (!anyTicked(ChkChiefComplaint)) lines << QStringLiteral("主訴が選択されていません。");
    if (CmbSmokingHistory->currentIndex() < 0) lines << QStringLiteral("喫煙歴が選択されていません。");
    if (CmbMedicalHistory->currentIndex() < 0) lines << QStringLiteral("既往歴が選択されていません。");
    const QString missing = TxtMissingToothNum->text().trimmed();
    if (missing.isEmpty() || !isNumeric(missing))
        lines << QStringLiteral("喪失歯数（智歯を除く) が入力されていません。");
    if (CmbKvrDiagnosis->currentIndex() < 0) lines << QStringLiteral("診断が選択されていません。");
    if (CmbKvrDiagnosis->currentIndex() == 0) {
        if (CmbKvrDiagnosisLW->currentIndex() < 0)
            lines << QStringLiteral("KVR診断名 限局/広汎が選択されていません。");
        if (CmbKvrDiagnosisCA->currentIndex() < 0)
            lines << QStringLiteral("KVR診断名 慢性/侵襲が選択されていません。");
        if (CmbNewDiagnosisStage->currentIndex() < 0)
            lines << QStringLiteral("新分類診断名 ステージが選択されていません。");
        if (CmbNewDiagnosisGrade->currentIndex() < 0)
            lines << QStringLiteral("新分類診断名 グレードが選択されていません。");
    }
    if (CmbPerioSurgeryTreatment->currentIndex() < 0)
        lines << QStringLiteral("歯周外科治療が選択されていません。");
    auto contradicts = [&](const QComboBox* answer, const QList<QCheckBox*>& boxes) {
        const bool present = listCode(answer) == 1;
        return present != anyTicked(boxes);
    };
    if (contradicts(CmbMedicalHistory, ChkDiseaseName))
        lines << QStringLiteral("既往歴の回答と病名チェックに矛盾があります。");
    if (contradicts(CmbIngestion, ChkIngestion))
        lines << QStringLiteral("服薬の回答と薬名チェックに矛盾があります。");
    return lines;
}

int AdditionalInfoTab::ValidateAdditionalInfo() {
    const QStringList lines = validationLines();
    if (lines.isEmpty()) return 0;
    const MsgResult r = msgBox(lines.join("\r\n") + "\r\n\r\n" + QStringLiteral("このまま保存しますか。"),
                               QStringLiteral("保存確認"), MsgButtons::YesNo, MsgIcon::Exclamation);
    if (r != MsgResult::Yes) return 1;
    msgBox(QStringLiteral("提出用ファイル作成までに正しく入力してください。"), QStringLiteral("入力エラー"),
           MsgButtons::Ok, MsgIcon::Information);
    return 0;
}

int AdditionalInfoTab::SaveAdditionalInfo() {
    if (ValidateAdditionalInfo() != 0) return 1;
    CPatientAdd& r = ThePatientAdd();
    const CPatientAdd before = r;
    OpenMemberDb();
    db::ConnectionPtr conn = memberConn();
    try {
        db::Recordset rs(conn, "SELECT * FROM TPatientAdd WHERE ID=?", {patientId_}, db::OpenMode::Write);
        if (!rs.eof()) {
            r.RecSetGet(rs);
        } else {
            r.ClearBuffer();
            rs.addNew();
        }
        CollectAdditionalInfo(true);
        r.ID = patientId_;
        r.UpDateTime = QDateTime(now().date(), QTime(0, 0));
        r.RecSetPut(rs);
        rs.update();
        rs.close();
    } catch (const RuntimeError& e) {
        // Nothing is lost: the record keeps what was stored, the screen what was typed.
        r = before;
        CloseMemberDb();
        msgBox(QStringLiteral("患者追加情報の保存でエラーが発生しました。") + "\r\n\r\n" +
                   errorBoxText(e.number, e.description),
               QStringLiteral("エラー"), MsgButtons::Ok, MsgIcon::Critical);
        return 2;
    }
    CloseMemberDb();
    msgBox(QStringLiteral("患者追加情報は保存されました。"), QStringLiteral("保存"), MsgButtons::Ok,
           MsgIcon::Information);
    return 0;
}

// ------------------------------------------------------------------ keys and focus

// Trims and converts the text; false when the text is refused (focus goes back).
bool AdditionalInfoTab::leaveTextBox(QLineEdit* edit) {
    const QString t = toHalfWidth(edit->text().trimmed());
    if (t != edit->text()) edit->setText(t);
    if (edit == TxtBirthDay) {
        if (!t.isEmpty() && birthMonthDate(t).isEmpty()) {
            msgBox(kBirthDayRetype, QStringLiteral("再入力"), MsgButtons::Ok, MsgIcon::Critical);
            return false;
        }
        return true;
    }
    return CheckNumericInput(t) == 0;
}

bool AdditionalInfoTab::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::KeyPress && w) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
        if (plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            // Enter goes on to the next input: it is sent on as Tab.
            QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
            QCoreApplication::sendEvent(w, &tab);
            return true;
        }
    }
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit && event->type() == QEvent::FocusIn) {
        QMetaObject::invokeMethod(
            edit, [edit] { edit->selectAll(); }, Qt::QueuedConnection);
    } else if (edit && event->type() == QEvent::FocusOut && !checkingText_) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            checkingText_ = true;
            const bool ok = leaveTextBox(edit);
            checkingText_ = false;
            if (!ok) edit->setFocus(Qt::OtherFocusReason);
        }
    }
    return ToolTabPage::eventFilter(watched, event);
}

} // namespace kvr
