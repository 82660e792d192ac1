// "会員番号の変更": the current number, the new number and the button that moves the
// member's database to the new number.
#include "data/CClinicCode.h"
#include "data/DataObjects.h"
#include "platform/accessible.h"
#include "tools/MemberNumberChange.h"
#include "tools/ToolTabs.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvr {

namespace {

class MemberNumberPanel : public QGroupBox {
public:
    MemberNumberPanel() : QGroupBox("会員番号の変更") {
        NameControl(this, "FraKNo", title());
        auto* v = new QVBoxLayout(this);
        auto* note = new QLabel("会員番号を間違えて使用していた場合、仮の会員番号で使用していた場合は、"
                                "会員番号の変更が必要です。");
        note->setWordWrap(true);
        v->addWidget(note);
        auto* row = new QHBoxLayout;
        auto* fromLabel = new QLabel("現在の会員番号");
        TxtKNoFrom = new QLineEdit;
        TxtKNoFrom->setReadOnly(true);
        TxtKNoFrom->setMaxLength(6);
        NameInput(TxtKNoFrom, "TxtKNoFrom", fromLabel);
        auto* wo = new QLabel("を");
        NameControl(wo, "LblKNoWo", wo->text());
        auto* toLabel = new QLabel("新しい会員番号");
        TxtKNoTo = new QLineEdit;
        NameInput(TxtKNoTo, "TxtKNoTo", toLabel);
        auto* ni = new QLabel("に");
        NameControl(ni, "LblKNoNi", ni->text());
        CmdConvKNo = new QPushButton("変更する");
        NameControl(CmdConvKNo, "CmdConvKNo", CmdConvKNo->text());
        for (QLineEdit* e : {TxtKNoFrom, TxtKNoTo})
            e->setFixedWidth(e->fontMetrics().horizontalAdvance("0000000000"));
        row->addWidget(fromLabel);
        row->addWidget(TxtKNoFrom);
        row->addWidget(wo);
        row->addSpacing(12);
        row->addWidget(toLabel);
        row->addWidget(TxtKNoTo);
        row->addWidget(ni);
        row->addSpacing(12);
        row->addWidget(CmdConvKNo);
        row->addStretch(1);
        v->addLayout(row);
        connect(CmdConvKNo, &QPushButton::clicked, this, [this] { CmdConvKNo_Click(); });
        loadCurrent();
    }

protected:
    // Shown when the data tab is selected: the current number is shown anew.
    void showEvent(QShowEvent* event) override {
        loadCurrent();
        QGroupBox::showEvent(event);
    }

private:
    void loadCurrent() { TxtKNoFrom->setText(TheClinicCode().ClinicCode); }

    void CmdConvKNo_Click() {
        TxtKNoTo->setText(NormalizeMemberNo(TxtKNoTo->text()));
        if (ChangeMemberNumber(TxtKNoTo->text()) == MemberNoChange::Done) FinishMemberNumberChange();
        TxtKNoTo->setFocus();
        TxtKNoTo->selectAll();
    }

    QLineEdit* TxtKNoFrom;
    QLineEdit* TxtKNoTo;
    QPushButton* CmdConvKNo;
};

} // namespace

QWidget* CreateMemberNumberPanel(PFrmImport&) {
    return new MemberNumberPanel;
}

} // namespace kvr
