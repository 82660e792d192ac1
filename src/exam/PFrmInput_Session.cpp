// The entry screen: patients, examinations, dates and stages, saving, deleting and the
// file menu.
#include "PFrmInput.h"

#include "data/ADODBMain.h"
#include "data/DataObjects.h"
#include "exam/ExamObjects.h"
#include "exam/PFrmCalendar.h"
#include "exam/PFrmPlayWave.h"
#include "platform/database.h"
#include "platform/passwords.h"
#include "shell/AppState.h"
#include "shell/FileUtil.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

namespace kvr {

namespace {
const char* kDateWarningStyle = "background: #ffd59a;";

// True when both paths name the same existing file (links and "." / ".." resolved).
bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}
} // namespace

// Commands that work on a patient's examination refuse to run without one; the focus
// goes to the patient list, where the number is picked or typed next.
bool PFrmInput::needPatient() {
    if (patientId_ != 0) return true;
    msgBox(QStringLiteral("患者番号が選択されていません。"), QStringLiteral("患者番号選択"), MsgButtons::Ok,
           MsgIcon::Exclamation);
    CmbOutNo->setFocus();
    return false;
}

// The patient list back on the patient on screen (after a refused change).
void PFrmInput::showPatientInList() {
    const int index = patientId_ ? CmbOutNo->findData(patientId_) : -1;
    CmbOutNo->setCurrentIndex(index);
    CmbOutNo->setEditText(index < 0 ? QString() : PatientListText(patientId_));
}

bool PFrmInput::askSaveBeforeChange() {
    if (!unsaved_) return true;
    if (AskSaveUnsaved() == MsgResult::Yes) return save();
    unsaved_ = false;
    return true;
}

// ---------------------------------------------------------------- patients

bool PFrmInput::selectPatient(int patientId) {
    if (patientId == patientId_ && patientId != 0) return true;
    if (!askSaveBeforeChange()) return false;
    loadPatient(patientId);
    return true;
}

void PFrmInput::loadPatient(int patientId) {
    endBulkModes();
    patientId_ = patientId;
    LoadPatient(patientId);
    const int index = CmbOutNo->findData(patientId);
    CmbOutNo->setCurrentIndex(index);
    if (index < 0) CmbOutNo->setEditText(QString());
    TxtInNo->setText(InClinicNumberOf(ThePatient()));
    TxtApplyNo->setText(CaseNumberOf(ThePatient()));
    const QList<ExamEntry> entries = ListExaminations(patientId);
    loading_ = true;
    CmbEntry->clear();
    for (const ExamEntry& e : entries)
        CmbEntry->addItem(e.text, QVariantList{e.date, e.stage});
    loading_ = false;
    if (!entries.isEmpty()) {
        CmbEntry->setCurrentIndex(0);
        loadExamination(entries.first().date, entries.first().stage);
        return;
    }
    CmbEntry->setCurrentIndex(-1);
    setDateBoxes(QDate());
    selectStage(-1);
    app().CurrentExamDate = QDateTime(NoExamDate(), QTime(0, 0));
    isNew_ = true;
    loadedDate_ = QDate();
    prepareNew(false);
}

void PFrmInput::onPatientListLeft() {
    if (checkingPatient_ || changingPatient_) return;
    checkingPatient_ = true;
    const QString text = CmbOutNo->currentText().trimmed();
    const bool unchanged = patientId_ != 0 && text == PatientListText(patientId_);
    if (!unchanged) {
        int selected = 0;
        if (!CheckTypedPatientNumber(text, patients_, selected))
            CmbOutNo->setFocus();
        else if (selected != 0)
            requestPatient(selected);
    }
    checkingPatient_ = false;
}

// A patient change asked for by the patient list. Leaving the list after typing a number
// reaches here twice (the list's own activation and the focus leaving it); while the
// first request waits for the unsaved-changes question or saves, the second is dropped,
// so the question is asked once, about the patient on screen.
void PFrmInput::requestPatient(int patientId) {
    if (changingPatient_ || patientId == patientId_) return;
    changingPatient_ = true;
    trap(QStringLiteral("患者の選択"), [&] {
        if (!selectPatient(patientId)) showPatientInList();
    });
    changingPatient_ = false;
}

// ---------------------------------------------------------------- examinations

bool PFrmInput::selectExamination(int entryIndex) {
    if (entryIndex < 0 || entryIndex >= CmbEntry->count()) return false;
    const QVariantList data = CmbEntry->itemData(entryIndex).toList();
    const QDate date = data.value(0).toDate();
    if (!askSaveBeforeChange()) {
        // Back to the entry of the examination on screen.
        int back = -1;
        for (int i = 0; i < CmbEntry->count(); ++i)
            if (!isNew_ && CmbEntry->itemData(i).toList().value(0).toDate() == loadedDate_) back = i;
        CmbEntry->setCurrentIndex(back);
        return false;
    }
    // A save before the change may have rebuilt the list: find the entry again.
    int index = -1;
    for (int i = 0; i < CmbEntry->count(); ++i)
        if (CmbEntry->itemData(i).toList().value(0).toDate() == date) index = i;
    if (index < 0) return false;
    CmbEntry->setCurrentIndex(index);
    loadExamination(date, CmbEntry->itemData(index).toList().value(1).toInt());
    return true;
}

void PFrmInput::loadExamination(const QDate& date, int stage) {
    endBulkModes();
    ToothStatus status{};
    if (!LoadExamination(patientId_, date, &status)) return;
    status_ = status;
    setDateBoxes(date);
    selectStage(stage);
    isNew_ = false;
    loadedDate_ = date;
    app().CurrentExamDate = QDateTime(date, QTime(0, 0));
    unsaved_ = false;
    fillGrid();
    rebuildAllCursors();
    setCurrentRow(row_);
    updateDateWarning();
}

void PFrmInput::prepareNew(bool keepStatus) {
    if (keepStatus)
        PrepareNewExaminationWithStatus(patientId_, NoExamDate(), TheCharge().ID, status_);
    else
        PrepareNewExamination(patientId_, NoExamDate(), TheCharge().ID, status_);
    unsaved_ = false;
    fillGrid();
    rebuildAllCursors();
    setCurrentRow(row_);
    updateDateWarning();
}

void PFrmInput::newExamination() {
    if (!needPatient()) return;
    if (!askSaveBeforeChange()) return;
    endBulkModes();
    collectGrid();
    setDateBoxes(QDate());
    selectStage(-1);
    CmbEntry->setCurrentIndex(-1);
    isNew_ = true;
    loadedDate_ = QDate();
    app().CurrentExamDate = QDateTime(NoExamDate(), QTime(0, 0));
    prepareNew(true);
    TxtY->setFocus();
}

void PFrmInput::setDateBoxes(const QDate& date) {
    if (!date.isValid() || date == NoExamDate()) {
        TxtY->clear();
        TxtM->clear();
        TxtD->clear();
        return;
    }
    const DateBoxes b = dateBoxesFor(date);
    TxtY->setText(b.year);
    TxtM->setText(b.month);
    TxtD->setText(b.day);
}

void PFrmInput::selectStage(int stage) {
    const bool was = loading_;
    loading_ = true;
    CmbStage->setCurrentIndex(stage < 0 ? -1 : CmbStage->findData(stage));
    loading_ = was;
}

int PFrmInput::selectedStage() const {
    return CmbStage->currentIndex() < 0 ? -1 : CmbStage->currentData().toInt();
}

void PFrmInput::stepStage(int delta) {
    if (CmbStage->count() == 0) return;
    int i = CmbStage->currentIndex();
    i = i < 0 ? (delta > 0 ? 0 : CmbStage->count() - 1) : std::clamp(i + delta, 0, CmbStage->count() - 1);
    CmbStage->setCurrentIndex(i);
    updateDateWarning();
}

void PFrmInput::updateDateWarning() {
    bool warn = false;
    if (patientId_ != 0) {
        const QDate d = ParseExamDate(TxtY->text(), TxtM->text(), TxtD->text());
        warn = d.isValid() && StageIntervalWarning(patientId_, selectedStage(), d);
    }
    dateWarning_ = warn;
    for (QLineEdit* e : {TxtY, TxtM, TxtD})
        e->setStyleSheet(warn ? kDateWarningStyle : "");
}

void PFrmInput::onDateButton() {
    PlayWave(QStringLiteral("click1.wav"));
    if (patientId_ == 0) {
        msgBox(QStringLiteral("患者番号を指定してください。"), QStringLiteral("患者番号指定"), MsgButtons::Ok,
               MsgIcon::Exclamation);
        CmbOutNo->setFocus();
        return;
    }
    const DateBoxes b = pickDate(this, DateBoxes{TxtY->text(), TxtM->text(), TxtD->text()});
    TxtY->setText(b.year);
    TxtM->setText(b.month);
    TxtD->setText(b.day);
    updateDateWarning();
}

// ---------------------------------------------------------------- saving

bool PFrmInput::save() {
    endBulkModes();
    collectGrid();
    SaveRequest req;
    req.patientId = patientId_;
    req.year = TxtY->text();
    req.month = TxtM->text();
    req.day = TxtD->text();
    req.stage = selectedStage();
    req.isNew = isNew_;
    req.loadedDate = loadedDate_;
    req.status = status_;
    req.chargeId = TheCharge().ID;
    req.inClinicNumber = TxtInNo->text();
    req.caseNumber = TxtApplyNo->text();
    const SaveOutcome out = SaveExamination(req);
    if (!out.saved) {
        switch (out.focus) {
        case SaveFocus::PatientList:
            CmbOutNo->setFocus();
            break;
        case SaveFocus::DateYear:
            TxtY->setFocus();
            break;
        case SaveFocus::StageList:
            CmbStage->setFocus();
            break;
        case SaveFocus::None:
            break;
        }
        return false;
    }
    const QString check = postSaveCheckText();
    if (!check.isEmpty()) msgBox(check, QStringLiteral("チェック"), MsgButtons::Ok, MsgIcon::Critical);
    ShowSaveSuccess();
    unsaved_ = false;
    // The list again, with the saved date selected, and the saved examination loaded from
    // the database: the grid shows what was stored and the cursors start over.
    const QList<ExamEntry> entries = ListExaminations(patientId_);
    loading_ = true;
    CmbEntry->clear();
    int index = -1;
    for (const ExamEntry& e : entries) {
        if (e.date == out.savedDate) index = CmbEntry->count();
        CmbEntry->addItem(e.text, QVariantList{e.date, e.stage});
    }
    CmbEntry->setCurrentIndex(index);
    loading_ = false;
    isNew_ = false;
    loadedDate_ = out.savedDate;
    app().CurrentExamDate = QDateTime(out.savedDate, QTime(0, 0));
    loadExamination(out.savedDate, req.stage);
    return true;
}

// ---------------------------------------------------------------- deleting

void PFrmInput::deleteExamination() {
    // A new examination is the one of the date boxes (an invalid date has nothing stored).
    const QDate date = isNew_ ? ParseExamDate(TxtY->text(), TxtM->text(), TxtD->text()) : loadedDate_;
    if (!DeleteExamination(patientId_, selectedStage(), date)) return;
    unsaved_ = false;
    loadPatient(patientId_);
}

void PFrmInput::deletePatient() {
    if (!DeletePatient(patientId_)) return;
    unsaved_ = false;
    reloadAll();
}

// ---------------------------------------------------------------- heading and file menu

void PFrmInput::showVersion() {
    msgBox(QStringLiteral("Ver.") + QString::number(KVR_VERSION_MAJOR) + "\r\n\r\n" +
               QStringLiteral("    詳細バージョンは、") + QStringLiteral(KVR_VERSION_STRING) +
               QStringLiteral(" です。"),
           QStringLiteral("バージョン情報"), MsgButtons::Ok, MsgIcon::Information);
}

void PFrmInput::createDatabase() {
    if (!askSaveBeforeChange()) return;
    const QString path = fileDialog(this, FileDialogKind::Create,
                                    QStringLiteral("新規に作成するファイルを指定して保存して下さい"),
                                    QString::fromUtf8(kDbFileFilter));
    if (path.isEmpty()) return;
    if (QFileInfo::exists(path)) {
        msgBox(QStringLiteral("ファイルが存在するため、新規作成できません。"),
               QStringLiteral("新規作成エラー"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    if (!CopyFile(deliveredFolder() + QStringLiteral("/KVR-DB_ORG.MDB"), path)) return;
    switchDatabase(path);
}

void PFrmInput::openDatabase() {
    if (!askSaveBeforeChange()) return;
    const QString path =
        fileDialog(this, FileDialogKind::Open, QStringLiteral("開くファイルを選択して下さい"),
                   QString::fromUtf8(kDbFileFilter));
    if (path.isEmpty()) return;
    switchDatabase(path);
}

bool PFrmInput::switchDatabase(const QString& path) {
    // Refuse a file that is not one of ours before letting go of the current one.
    db::Connection::open(path, kProgramPassword)->scalar(QStringLiteral("SELECT COUNT(*) FROM TExamData"));
    CloseMemberDbForce();
    const QFileInfo fi(path);
    app().MemberFolder = fi.absolutePath();
    app().MemberDbFile = QStringLiteral("/") + fi.fileName();
    setMemberSource(fi.absoluteFilePath());
    OpenMemberDbHold();
    reloadAll();
    return true;
}

void PFrmInput::copyDatabase() {
    const QString path = fileDialog(this, FileDialogKind::Copy, QStringLiteral("コピーを作成"),
                                    QString::fromUtf8(kDbFileFilter));
    if (path.isEmpty()) return;
    if (sameFile(path, app().memberDbPath())) {
        msgBox(QStringLiteral("コピー元とコピー先が同じです。処理を中止します。"),
               QStringLiteral("指定エラー"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    if (!CopyFile(app().memberDbPath(), path)) return;
    msgBox(QStringLiteral("コピーが作成されました。使用中ファイルは、そのままです。"),
           QStringLiteral("コピー作成"), MsgButtons::Ok, MsgIcon::Information);
}

} // namespace kvr
