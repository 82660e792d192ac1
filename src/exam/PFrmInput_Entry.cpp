// The entry screen: cursors, value entry by keys, buttons and clicks, bleeding and
// pus marks and their bulk modes, plaque, tooth status toggles, and the exchange of
// values between the grid and the record recs.
#include "PFrmInput.h"

#include "exam/EntryKeys.h"
#include "exam/ExamObjects.h"
#include "exam/PFrmMsgBoxBui.h"
#include "exam/PFrmPlayWave.h"

#include <QGridLayout>
#include <QPushButton>
#include <QStyle>

#include <bit>

namespace kvr {

namespace {

enum class Family { Tooth, Six, TwoPass, Gap };

Family familyOf(int mode) {
    switch (mode) {
    case 3:
    case 5:
    case 6:
    case 9:
        return Family::Six;
    case 4:
        return Family::TwoPass;
    case 7:
    case 8:
        return Family::Gap;
    default:
        return Family::Tooth;
    }
}

const char* kBloodModeOn = "background: #f3b0b0; border-color: #c0392b; font-weight: bold;";
const char* kPusModeOn = "background: #f7e27a; border-color: #b7950b; font-weight: bold;";

// Moves a furcation cursor on (or back) from a site that is no furcation site; on
// failure the cursor is left where it was before the move that led here.
bool seekFurcation(CToothPosition& c, const CToothPosition& before, bool forward) {
    while (!isFurcationSite(c.nTooth, c.nPocket)) {
        if (!(forward ? c.MoveNext6() : c.MovePrev6())) {
            c = before;
            return false;
        }
    }
    return true;
}

QString statusTag(std::uint16_t status) {
    if (status & kMissingTooth) return QStringLiteral("ＭＴ");
    if (status & kImplant) return QStringLiteral("ｲﾝﾌﾟﾗﾝﾄ");
    if (status & kPontic) return QStringLiteral("ﾎﾟﾝﾃｨｯｸ");
    return QString();
}

} // namespace

int PFrmInput::currentMode() const {
    return SubExams()[row_].Mode;
}

int PFrmInput::cursorTooth() const {
    return ToothCursors()[row_].nTooth;
}

int PFrmInput::cursorSite() const {
    const CToothPosition& c = ToothCursors()[row_];
    switch (familyOf(currentMode())) {
    case Family::Six:
        return c.nPocket;
    case Family::TwoPass:
        return plaquePassAt(c.nPos);
    default:
        return -1;
    }
}

// The pass of a two-pass position: its code's third letter tells the side ("B" buccal
// first pass, "L" lingual second pass).
int PFrmInput::plaquePassAt(int position) const {
    const QString& pattern = TheCharge().PlaquePattern;
    const int at = (position / 8) * 4 + 2;
    if (position >= 0 && at < pattern.size()) return pattern.at(at) == QLatin1Char('L') ? 1 : 0;
    return position >= 32 ? 1 : 0;
}

// ---------------------------------------------------------------- cursors

void PFrmInput::rebuildCursor(int row, bool moveFirst) {
    CToothPosition& c = ToothCursors()[row];
    const CSubExam& item = SubExams()[row];
    const CCharge& ch = TheCharge();
    c.nInputStatus = std::uint16_t(item.Status);
    for (int i = 0; i < 6; ++i)
        c.setBPocketPosition(i, ch.PocketPosition(i) != 0);
    for (int t = 0; t < 32; ++t)
        c.setNBuiStatus(t, status_[t]);
    switch (item.Mode) {
    case 6:
        c.MakeMove(ch.VectorPattern, ch.PocketPattern, ch.PocketVector, true);
        break;
    case 7:
    case 8:
        c.MakeMove(ch.VectorPattern, ch.PocketPattern, ch.PocketVector, false, true);
        break;
    case 4:
        c.MakeMove(ch.VectorPattern, ch.PocketPattern, ch.PocketVector, false, false, ch.PlaquePattern);
        break;
    default:
        c.MakeMove(ch.VectorPattern, ch.PocketPattern, ch.PocketVector);
        break;
    }
    if (moveFirst) {
        switch (familyOf(item.Mode)) {
        case Family::Six: {
            const CToothPosition before = c;
            if (c.MoveFirst6() && item.Mode == 6) seekFurcation(c, before, true);
            break;
        }
        case Family::TwoPass:
            c.MoveFirstPlaque();
            break;
        case Family::Gap:
            c.MoveFirstGap();
            break;
        case Family::Tooth:
            c.MoveFirst();
            break;
        }
    }
    refreshRowState(row);
}

void PFrmInput::rebuildAllCursors() {
    for (int r = 0; r < kRows; ++r)
        rebuildCursor(r, true);
    showCursor();
}

void PFrmInput::refreshRowState(int row) {
    const CToothPosition& c = ToothCursors()[row];
    for (int t = 0; t < 32; ++t) {
        ToothButton* b = cell(row, t);
        b->setStatus(status_[t]);
        b->setInputAllowed(c.IsInputOK(status_[t]));
    }
}

void PFrmInput::showCursor() {
    const CToothPosition& c = ToothCursors()[row_];
    const int tooth = c.nTooth;
    const int site = cursorSite();
    const bool hasItem = currentMode() != 0;
    for (int r = 0; r < kRows; ++r)
        for (int t = 0; t < 32; ++t) {
            const bool on = hasItem && r == row_ && t == tooth;
            cell(r, t)->setEntryCursor(on, on ? site : -1);
        }
    LblNowExam->setText(hasItem ? SubExams()[row_].Name : QString());
}

// One step of the current row's cursor through the family of its item: to the next or
// previous position, or to the last one. The furcation cursor stops only at furcation
// sites.
bool PFrmInput::stepCursor(CursorStep step) {
    CToothPosition& c = ToothCursors()[row_];
    const CToothPosition before = c;
    auto pick = [step](auto next, auto prev, auto last) {
        return step == CursorStep::Next ? next() : step == CursorStep::Prev ? prev() : last();
    };
    switch (familyOf(currentMode())) {
    case Family::Six:
        if (!pick([&] { return c.MoveNext6(); }, [&] { return c.MovePrev6(); },
                  [&] { return c.MoveLast6(); }))
            return false;
        return currentMode() != 6 || seekFurcation(c, before, step == CursorStep::Next);
    case Family::TwoPass:
        return pick([&] { return c.MoveNextPlaque(); }, [&] { return c.MovePrevPlaque(); },
                    [&] { return c.MoveLastPlaque(); });
    case Family::Gap:
        return pick([&] { return c.MoveNextGap(); }, [&] { return c.MovePrevGap(); },
                    [&] { return c.MoveLastGap(); });
    case Family::Tooth:
        return pick([&] { return c.MoveNext(); }, [&] { return c.MovePrev(); }, [&] { return c.MoveLast(); });
    }
    return false;
}

bool PFrmInput::moveNext() {
    return stepCursor(CursorStep::Next);
}
bool PFrmInput::movePrev() {
    return stepCursor(CursorStep::Prev);
}
bool PFrmInput::moveLastOfRow() {
    return stepCursor(CursorStep::Last);
}

void PFrmInput::setCurrentRow(int row) {
    if (row < 0 || row >= kRows) return;
    if (SubExams()[row].Mode == 0 && row != row_) return;
    row_ = row;
    rebuildCursor(row, true);
    for (int i = 0; i < 2 * kRows; ++i) {
        ClickLabel* head = LblRow[i];
        const bool current = i % kRows == row;
        if (head->property("current").toBool() != current) {
            head->setProperty("current", current);
            head->style()->unpolish(head);
            head->style()->polish(head);
        }
    }
    updateValueButtons();
    showCursor();
}

void PFrmInput::updateValueButtons() {
    const CSubExam& item = SubExams()[row_];
    for (int i = 0; i < 5; ++i) {
        CmdVal[i]->setText(item.BtnName(i));
        CmdVal[i]->setVisible(!item.BtnName(i).isEmpty());
    }
}

bool PFrmInput::moveToClicked(int row, int tooth, int site) {
    CToothPosition& c = ToothCursors()[row];
    switch (familyOf(SubExams()[row].Mode)) {
    case Family::Six: {
        if (SubExams()[row].Mode == 6) {
            if (site >= 0) return isFurcationSite(tooth, site) && c.Move66(tooth, site);
            for (int s = 0; s < 6; ++s)
                if (isFurcationSite(tooth, s) && c.Move66(tooth, s)) return true;
            return false;
        }
        if (site >= 0 && c.Move66(tooth, site)) return true;
        int s = site >= 0 ? site : c.nPocket;
        return c.Move6(tooth, s, true);
    }
    case Family::TwoPass: {
        if (!c.IsInputOK(status_[tooth])) return false;
        const int pass = site >= 0 ? ToothButton::passOfSurface(site) : 0;
        for (int p = 0; p < 64; ++p)
            if (c.plaqueOrder(p) == tooth && plaquePassAt(p) == pass) return c.MoveFirstPlaque(p);
        return c.MovePlaque(tooth);
    }
    case Family::Gap:
        return c.MoveGap(tooth);
    case Family::Tooth:
        return c.Move(tooth);
    }
    return false;
}

// ---------------------------------------------------------------- keys

bool PFrmInput::handleEntryKey(int key, const QString& text) {
    const KeyStep step = readEntryKey(key, text, prefix_);
    switch (step.kind) {
    case KeyStep::Ignored:
    case KeyStep::Pending:
        return false;
    case KeyStep::Prefix:
        return true;
    case KeyStep::Prev:
        endBulkModes();
        if (!movePrev()) {
            // At the first position: the last position of the previous item row.
            int r = row_ - 1;
            while (r >= 0 && SubExams()[r].Mode == 0)
                --r;
            if (r >= 0) {
                setCurrentRow(r);
                moveLastOfRow();
            }
        }
        showCursor();
        return true;
    case KeyStep::Next:
        endBulkModes();
        if (!moveNext()) {
            // At the last position: the first position of the next item row.
            int r = row_ + 1;
            while (r < kRows && SubExams()[r].Mode == 0)
                ++r;
            if (r < kRows) setCurrentRow(r);
        }
        showCursor();
        return true;
    case KeyStep::Token:
        applyToken(step.token);
        return true;
    }
    return false;
}

void PFrmInput::applyToken(const QString& token) {
    const EntryAction a = entryActionFor(token, currentMode());
    switch (a.kind) {
    case EntryAction::Reject:
        phone();
        break;
    case EntryAction::Value:
        enterValue(a.value);
        break;
    case EntryAction::NoLesion:
        noLesion();
        break;
    case EntryAction::Clear:
        clearAtCursor();
        break;
    case EntryAction::SetBleeding:
        setMark(1, 1);
        break;
    case EntryAction::ClearBleeding:
        setMark(1, -1);
        break;
    case EntryAction::SetPus:
        setMark(2, 1);
        break;
    case EntryAction::ClearPus:
        setMark(2, -1);
        break;
    }
}

void PFrmInput::phone() {
    PlayWave(QStringLiteral("phone1.wav"));
}

// ---------------------------------------------------------------- values

namespace {
// The cell at the cursor when input is allowed there, else null.
ToothButton* cursorCell(const PFrmInput& screen, const ToothStatus& status) {
    const int row = screen.currentRow();
    const CToothPosition& c = ToothCursors()[row];
    if (c.nTooth < 0 || c.nTooth > 31 || SubExams()[row].Mode == 0) return nullptr;
    if (!c.IsInputOK(status[c.nTooth])) return nullptr;
    return screen.cell(row, c.nTooth);
}
} // namespace

void PFrmInput::enterValue(int value) {
    if (!needPatient()) return;
    ToothButton* b = cursorCell(*this, status_);
    if (!b) return phone();
    switch (b->kind()) {
    case ToothButton::KindPocket:
    case ToothButton::KindSixSite: {
        const int site = ToothCursors()[row_].nPocket;
        if (site < 0 || site > 5) return phone();
        b->setValue(site, 0, value);
        break;
    }
    case ToothButton::KindTwoPass: {
        const int pass = plaquePassAt(ToothCursors()[row_].nPos);
        for (int s = 2 * pass; s < 2 * pass + 2; ++s)
            b->setValue(s, 0, value > 0 ? 1 : 0);
        break;
    }
    case ToothButton::KindOneValue:
        b->setValue(0, 0, value);
        break;
    default:
        return phone();
    }
    b->Refresh();
    PlayWave(QString::number(value) + QStringLiteral(".wav"));
    afterValue();
}

void PFrmInput::noLesion() {
    if (currentMode() != 6) return phone();
    if (!needPatient()) return;
    ToothButton* b = cursorCell(*this, status_);
    const int site = ToothCursors()[row_].nPocket;
    if (!b || site < 0 || site > 5) return phone();
    b->setValue(site, 0, SubExams()[row_].BtnVal(0));
    b->Refresh();
    PlayWave(QStringLiteral("無.wav"));
    afterValue();
}

void PFrmInput::afterValue() {
    unsaved_ = true;
    moveNext();
    showCursor();
}

void PFrmInput::clearAtCursor() {
    if (!needPatient()) return;
    ToothButton* b = cursorCell(*this, status_);
    if (!b) return phone();
    switch (b->kind()) {
    case ToothButton::KindPocket:
    case ToothButton::KindSixSite: {
        const int site = ToothCursors()[row_].nPocket;
        for (int layer = 0; layer < ToothButton::kLayers; ++layer)
            b->setValue(site, layer, -1);
        break;
    }
    case ToothButton::KindTwoPass: {
        const int pass = plaquePassAt(ToothCursors()[row_].nPos);
        for (int s = 2 * pass; s < 2 * pass + 2; ++s)
            b->setValue(s, 0, -1);
        break;
    }
    default:
        b->setValue(0, 0, -1);
        break;
    }
    b->Refresh();
    PlayWave(QStringLiteral("click1.wav"));
    afterValue();
}

void PFrmInput::setMark(int layer, int value) {
    if (currentMode() != 3) return phone();
    if (!needPatient()) return;
    ToothButton* b = cursorCell(*this, status_);
    const int site = ToothCursors()[row_].nPocket;
    if (!b || site < 0 || site > 5) return phone();
    b->setValue(site, layer, value);
    b->Refresh();
    unsaved_ = true;
}

void PFrmInput::toggleMark(int layer) {
    if (currentMode() != 3) return phone();
    ToothButton* b = cursorCell(*this, status_);
    const int site = ToothCursors()[row_].nPocket;
    if (!b) return phone();
    setMark(layer, b->value(site, layer) >= 0 ? -1 : 1);
}

// ---------------------------------------------------------------- bulk modes

void PFrmInput::setBulkMode(int layer, bool on) {
    if (layer == 1) {
        bloodMode_ = on;
        if (on) pusMode_ = false;
    } else {
        pusMode_ = on;
        if (on) bloodMode_ = false;
    }
    CmdBloodMode->setText(bloodMode_ ? QStringLiteral(" 一括 選択中") : QStringLiteral(" 出血　一括"));
    CmdBloodMode->setStyleSheet(bloodMode_ ? kBloodModeOn : "");
    CmdHainouMode->setText(pusMode_ ? QStringLiteral(" 一括 選択中") : QStringLiteral(" 排膿　一括"));
    CmdHainouMode->setStyleSheet(pusMode_ ? kPusModeOn : "");
}

void PFrmInput::endBulkModes() {
    if (bloodMode_ || pusMode_) {
        setBulkMode(1, false);
        setBulkMode(2, false);
    }
}

// ---------------------------------------------------------------- clicks

void PFrmInput::onCellClicked(int index, int site) {
    const int row = index / 32;
    const int tooth = index % 32;
    ToothButton* b = Th[index];
    gridArea_->setFocus();
    if ((bloodMode_ || pusMode_) && b->kind() == ToothButton::KindPocket && site >= 0 &&
        b->value(site, 0) >= 0) {
        const int layer = bloodMode_ ? 1 : 2;
        b->setValue(site, layer, b->value(site, layer) >= 0 ? -1 : 1);
        b->Refresh();
        unsaved_ = true;
        return;
    }
    if (row != row_) setCurrentRow(row);
    if (b->kind() == ToothButton::KindTwoPass && site >= 0) {
        if (!needPatient()) return;
        if (!moveToClicked(row, tooth, site)) {
            showCursor();
            return phone();
        }
        b->setValue(site, 0, b->value(site, 0) == 1 ? 0 : 1);
        b->Refresh();
        unsaved_ = true;
        showCursor();
        return;
    }
    moveToClicked(row, tooth, site);
    showCursor();
}

void PFrmInput::onLabelClicked(int tooth) {
    const std::uint16_t st = status_[tooth];
    struct Flag {
        std::uint16_t bit;
        const char* question;
    };
    static const Flag flags[] = {{kMissingTooth, "ＭＴ（欠損）を解除しますか。"},
                                 {kImplant, "インプラントを解除しますか。"},
                                 {kPontic, "ポンティックを解除しますか。"}};
    for (const Flag& f : flags) {
        if (!(st & f.bit)) continue;
        if (msgBox(QString::fromUtf8(f.question), QStringLiteral("確認"), MsgButtons::YesNo,
                   MsgIcon::Exclamation) != MsgResult::Yes)
            return;
        PlayWave(QStringLiteral("click1.wav"));
        changeStatus(tooth, std::uint16_t(st & ~f.bit), false);
        return;
    }
    onCellClicked(row_ * 32 + tooth, -1);
}

// ---------------------------------------------------------------- tooth status

void PFrmInput::toggleStatus(std::uint16_t flag) {
    if (!needPatient()) return;
    const int tooth = ToothCursors()[row_].nTooth;
    if (tooth < 0 || tooth > 31) return phone();
    const std::uint16_t st = status_[tooth];
    const bool isSet = st & flag;
    QString question;
    switch (flag) {
    case kImplant:
        question = isSet ? QStringLiteral("インプラントを解除しますか。")
                         : QStringLiteral("インプラントにしますか。");
        break;
    case kPontic:
        question = isSet ? QStringLiteral("ポンティックを解除しますか。")
                         : QStringLiteral("ポンティックにしますか。");
        break;
    default:
        question = isSet ? QStringLiteral("ＭＴ（欠損）を解除しますか。")
                         : QStringLiteral("ＭＴ（欠損）にしますか。");
        break;
    }
    if (msgBox(question, QStringLiteral("確認"), MsgButtons::YesNo, MsgIcon::Exclamation) != MsgResult::Yes)
        return;
    PlayWave(QStringLiteral("click1.wav"));
    const std::uint16_t next = isSet ? std::uint16_t(st & ~flag) : std::uint16_t((st & kDeciduous) | flag);
    changeStatus(tooth, next, true);
}

void PFrmInput::changeStatus(int tooth, std::uint16_t newStatus, bool moveOn) {
    collectGrid();
    status_[tooth] = newStatus;
    SetSlotsToothStatus(status_);
    for (int r = 0; r < kRows; ++r) {
        ToothCursors()[r].setNBuiStatus(tooth, newStatus);
        rebuildCursor(r, false);
    }
    LblTh[tooth]->setText(QString(toothLabel(tooth, newStatus)) +
                          (statusTag(newStatus).isEmpty() ? QString() : "\n" + statusTag(newStatus)));
    unsaved_ = true;
    if (moveOn) {
        CToothPosition& c = ToothCursors()[row_];
        // Move on; at the last position step back instead when the tooth lost its input.
        if (!moveNext() && !c.IsInputOK(status_[c.nTooth])) movePrev();
    }
    showCursor();
}

// ---------------------------------------------------------------- plaque

void PFrmInput::plaqueSide(bool present) {
    if (!needPatient()) return;
    if (currentMode() != 4) {
        msgBox(QStringLiteral("入力できません。再入力してください。"), QStringLiteral("再入力"),
               MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    const CToothPosition& c = ToothCursors()[row_];
    const int pass = plaquePassAt(c.nPos);
    QList<int> teeth;
    for (int p = 0; p < 64; ++p) {
        const int t = c.plaqueOrder(p);
        if (t >= 0 && plaquePassAt(p) == pass && c.IsInputOK(status_[t]) && !teeth.contains(t)) teeth << t;
    }
    bool anyExamined = false;
    for (int t : teeth)
        for (int s = 2 * pass; s < 2 * pass + 2; ++s)
            anyExamined |= cell(row_, t)->value(s, 0) >= 0;
    int scope = kScopeAll;
    if (anyExamined) {
        scope = askPlaqueScope(this);
        if (scope == kScopeCancelled) return;
    }
    for (int t : teeth) {
        ToothButton* b = cell(row_, t);
        for (int s = 2 * pass; s < 2 * pass + 2; ++s)
            if (scope == kScopeAll || b->value(s, 0) < 0) b->setValue(s, 0, present ? 1 : 0);
        b->Refresh();
    }
    PlayWave(present ? QStringLiteral("subeteari.wav") : QStringLiteral("subetenashi.wav"));
    unsaved_ = true;
}

// ---------------------------------------------------------------- grid and recs

void PFrmInput::collectGrid() {
    auto& recs = ExamSlots();
    auto byte = [](int v) { return std::uint8_t(v < 0 ? kNoValue : v); };
    for (int r = 0; r < kRows; ++r) {
        CExamData& d = recs[r];
        for (int t = 0; t < 32; ++t) {
            const ToothButton* b = cell(r, t);
            switch (b->kind()) {
            case ToothButton::KindPocket:
                for (int s = 0; s < 6; ++s) {
                    d.setBData(t * 6 + s, byte(b->value(s, 0)));
                    recs[kBleedingSlot].setBData(t * 6 + s, byte(b->value(s, 1)));
                    recs[kPusSlot].setBData(t * 6 + s, byte(b->value(s, 2)));
                }
                break;
            case ToothButton::KindSixSite:
                for (int s = 0; s < 6; ++s)
                    d.setBData(t * 6 + s, byte(b->value(s, 0)));
                break;
            case ToothButton::KindTwoPass:
                d.setBData(t, std::uint8_t(b->plaqueCell()));
                d.setBData(t + 48, std::uint8_t(b->plaqueOpenCell()));
                break;
            case ToothButton::KindOneValue:
                d.setBData(t, byte(b->value(0, 0)));
                break;
            default:
                break;
            }
        }
    }
    SetSlotsToothStatus(status_);
}

void PFrmInput::fillGrid() {
    const auto& recs = ExamSlots();
    auto val = [](std::uint8_t v) { return v == kNoValue ? -1 : int(v); };
    for (int r = 0; r < kRows; ++r) {
        const CExamData& d = recs[r];
        for (int t = 0; t < 32; ++t) {
            ToothButton* b = cell(r, t);
            b->clearValues();
            switch (b->kind()) {
            case ToothButton::KindPocket:
                for (int s = 0; s < 6; ++s) {
                    b->setValue(s, 0, val(d.bData(t * 6 + s)));
                    b->setValue(s, 1, val(recs[kBleedingSlot].bData(t * 6 + s)));
                    b->setValue(s, 2, val(recs[kPusSlot].bData(t * 6 + s)));
                }
                break;
            case ToothButton::KindSixSite:
                for (int s = 0; s < 6; ++s)
                    b->setValue(s, 0, val(d.bData(t * 6 + s)));
                break;
            case ToothButton::KindTwoPass:
                b->setPlaqueCells(d.bData(t), d.bData(t + 48));
                break;
            case ToothButton::KindOneValue:
                b->setValue(0, 0, val(d.bData(t)));
                break;
            default:
                break;
            }
            b->setStatus(status_[t]);
            b->Refresh();
        }
    }
    for (int t = 0; t < 32; ++t)
        LblTh[t]->setText(QString(toothLabel(t, status_[t])) +
                          (statusTag(status_[t]).isEmpty() ? QString() : "\n" + statusTag(status_[t])));
}

// ---------------------------------------------------------------- post-save check

QString PFrmInput::emptyPositionsText() const {
    int ppd = 0, mobility = 0, furcation = 0, pcr = 0;
    for (int r = 0; r < kRows; ++r)
        for (int t = 0; t < 32; ++t) {
            const ToothButton* b = cell(r, t);
            const std::uint16_t st = status_[t];
            switch (b->kind()) {
            case ToothButton::KindPocket:
                if (!isRemainingTooth(st)) break;
                for (int s = 0; s < 6; ++s)
                    ppd += b->value(s, 0) == -1;
                break;
            case ToothButton::KindOneValue:
                if (st & (kMissingTooth | kPontic)) break;
                mobility += b->value(0, 0) == -1;
                break;
            case ToothButton::KindSixSite: {
                if (!isRemainingTooth(st)) break;
                for (int s = 0; s < 6; ++s)
                    furcation += isFurcationSite(t, s) && b->value(s, 0) == -1;
                break;
            }
            case ToothButton::KindTwoPass:
                if (!isRemainingTooth(st)) break;
                pcr += b->hasPlaqueInput() ? std::popcount(unsigned(b->plaqueOpenMask())) : 4;
                break;
            default:
                break;
            }
        }
    QString text;
    if (ppd > 0 || mobility > 0 || furcation > 0 || pcr > 0) {
        text = QStringLiteral("■以下の検査で未検査があります。") + "\r\n";
        const std::pair<const char*, int> counters[] = {
            {"ＰＰＤ：", ppd}, {"動揺度：", mobility}, {"根分岐部病変：", furcation}, {"ＰＣＲ：", pcr}};
        for (const auto& [label, n] : counters)
            if (n > 0)
                text += QString::fromUtf8(label) + QString::number(n) + QStringLiteral("ヶ所") + "\r\n";
    }
    return text;
}

QString PFrmInput::postSaveCheckText() const {
    return emptyPositionsText() + PostSaveDatabaseNotices(patientId_);
}

} // namespace kvr
