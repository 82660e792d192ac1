#include "PFrmImport.h"

#include "AdditionalInfoTab.h"
#include "ToolTabs.h"
#include "exam/PFrmInput.h"
#include "platform/accessible.h"
#include "platform/services.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace kvr {

namespace {

const char* const kTabCaptions[PFrmImport::TabCount] = {
    "追加情報",          "提出用ファイル作成", " 旧版KVR-Chartインポート", "データの管理",
    " Talmo インポート", "操作マニュアル他",   "バージョンアップ"};

} // namespace

PFrmImport::PFrmImport(const Settings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
    setObjectName("PFrmImport");
    setWindowTitle(QStringLiteral("追加情報／ツール"));
    setModal(true);
    resize(1280, 700);

    auto* v = new QVBoxLayout(this);
    SSTabTool = new QTabWidget(this);
    NameControl(SSTabTool, "SSTabTool", QStringLiteral("追加情報／ツール"));
    v->addWidget(SSTabTool, 1);

    info_ = new AdditionalInfoTab;
    pages_[TabInfo] = info_;
    pages_[TabSubmission] = CreateSubmissionTab(*this);
    pages_[TabImportOld] = CreateImportOldTab(*this);
    pages_[TabData] = CreateDataManagementTab(*this);
    pages_[TabSibling] = new ToolTabPage; // the sibling product's import: the link is off
    pages_[TabManual] = CreateManualTab(*this);
    pages_[TabVersionUp] = CreateVersionUpTab(*this);
    for (int i = 0; i < TabCount; ++i)
        SSTabTool->addTab(pages_[i], QString::fromUtf8(kTabCaptions[i]));
    SSTabTool->setTabVisible(TabSibling, false);

    auto* bottom = new QHBoxLayout;
    LblMes = new QLabel(this);
    NameControl(LblMes, "LblMes", QString());
    LblMes->setStyleSheet("color:#C00000;");
    CmdSave = new QPushButton(QStringLiteral("保　存"), this);
    NameControl(CmdSave, "CmdSave", CmdSave->text());
    CmdEnd = new QPushButton(QStringLiteral("入力画面に戻る"), this);
    NameControl(CmdEnd, "CmdEnd", CmdEnd->text());
    for (QPushButton* b : {CmdSave, CmdEnd}) {
        b->setAutoDefault(false);
        b->setMinimumSize(140, 34);
    }
    bottom->addWidget(LblMes, 1);
    bottom->addWidget(CmdSave);
    bottom->addWidget(CmdEnd);
    v->addLayout(bottom);

    // From the last input of the information tab the keyboard goes on to saving.
    QWidget::setTabOrder(info_->inputs().last(), CmdSave);
    QWidget::setTabOrder(CmdSave, CmdEnd);

    connect(CmdSave, &QPushButton::clicked, this, [this] { info_->SaveAdditionalInfo(); });
    connect(CmdEnd, &QPushButton::clicked, this, [this] { requestClose(); });
    load();
    connect(SSTabTool, &QTabWidget::currentChanged, this, &PFrmImport::onTabChanged);
}

PFrmImport::~PFrmImport() = default;

void PFrmImport::load() {
    info_->FillMasterLists();
    info_->setPatient(settings_.patientId);
    if (settings_.patientId < 1) {
        SSTabTool->setTabVisible(TabInfo, false);
        msgBox(QStringLiteral("患者番号が指定されていないため追加情報は表示されません。"),
               QStringLiteral("確認"), MsgButtons::Ok, MsgIcon::Information);
    } else {
        info_->ShowAdditionalInfo();
        if (!settings_.editable) {
            info_->SetInfoInputsEnabled(false);
            LblMes->setText(QStringLiteral("初診時のみ入力可能"));
        }
    }
    int start = settings_.startTab;
    if (start < 0 || start >= TabCount) start = SSTabTool->isTabVisible(TabInfo) ? TabInfo : TabSubmission;
    SSTabTool->setCurrentIndex(start);
    onTabChanged(SSTabTool->currentIndex());
    // Ready to type: the first input of the information tab.
    if (start == TabInfo && settings_.editable) info_->TxtBirthDay->setFocus();
}

void PFrmImport::onTabChanged(int index) {
    const bool infoTab = index == TabInfo;
    CmdSave->setVisible(infoTab);
    LblMes->setVisible(infoTab);
    if (index >= 0 && index < TabCount) pages_[index]->onSelected();
}

bool PFrmImport::requestClose() {
    if (closing_) return true;
    if (SSTabTool->isTabVisible(TabInfo) && info_->CollectAdditionalInfo(false)) {
        const MsgResult r = msgBox(QStringLiteral("追加情報が変更されています。保存しますか？"),
                                   QStringLiteral("保存確認"), MsgButtons::YesNo, MsgIcon::Exclamation);
        if (r == MsgResult::Yes && info_->SaveAdditionalInfo() != 0) return false;
    }
    const int current = SSTabTool->currentIndex();
    if (current >= 0 && current < TabCount) pages_[current]->onClosing();
    endWindow();
    return true;
}

void PFrmImport::endWindow() {
    closing_ = true;
    done(QDialog::Accepted);
}

void PFrmImport::closeEvent(QCloseEvent* event) {
    if (closing_) {
        QDialog::closeEvent(event);
        return;
    }
    // The window's close box works like "入力画面に戻る".
    event->ignore();
    requestClose();
}

void PFrmImport::reject() {
    if (closing_)
        QDialog::reject();
    else
        requestClose();
}

void ShowToolsScreen(PFrmInput* entry, int startTab) {
    PFrmImport::Settings s;
    s.patientId = entry->currentPatient();
    s.startTab = startTab;
    // Additional information belongs to the first examination.
    s.editable = entry->CmbStage->currentIndex() >= 0 && entry->CmbStage->currentData().toInt() == 1;
    PFrmImport w(s, entry);
    w.exec();
}

} // namespace kvr
