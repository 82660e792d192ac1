// "バージョンアップ": the member's contact details and the start of the updater.
#include "platform/accessible.h"
#include "tools/ToolTabs.h"
#include "tools/VersionUp.h"

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvr {

namespace {

class VersionUpTab : public ToolTabPage {
public:
    VersionUpTab() {
        auto* v = new QVBoxLayout(this);
        auto* form = new QFormLayout;
        auto addBox = [&](QLineEdit*& box, const char* name, const QString& caption) {
            auto* label = new QLabel(caption);
            box = new QLineEdit;
            box->setMaxLength(200);
            box->setMinimumWidth(box->fontMetrics().horizontalAdvance(QString(30, QChar(0x3042))));
            NameInput(box, name, label);
            form->addRow(label, box);
        };
        addBox(TxtClinic, "TxtClinic", "所属医療機関名、または、医院名");
        addBox(TxtTanto, "TxtTanto", "担当者名");
        addBox(TxtMail, "TxtMail", "担当者のE-mail");
        v->addLayout(form);
        auto* note = new QLabel("※バージョンアップの案内等に使用します。");
        NameControl(note, "LblContactNote", note->text());
        v->addWidget(note);
        v->addSpacing(16);
        CmdVersionUp = new QPushButton("バージョンアップの確認");
        NameControl(CmdVersionUp, "CmdVersionUp", CmdVersionUp->text());
        CmdVersionUp->setMinimumHeight(40);
        v->addWidget(CmdVersionUp, 0, Qt::AlignLeft);
        for (const char* text : {"※システムを終了して、バージョンアップの確認をします。", "※インターネット接続が必要です。"})
            v->addWidget(new QLabel(text));
        v->addStretch(1);
        connect(CmdVersionUp, &QPushButton::clicked, this, [this] {
            SaveContactInfo(contact());
            StartVersionUp(contact());
        });
    }

    void onSelected() override {
        ContactInfo info;
        if (LoadContactInfo(info)) {
            TxtClinic->setText(info.clinic);
            TxtTanto->setText(info.person);
            TxtMail->setText(info.mail);
        }
        ReplaceUpdater();
    }

    void onClosing() override { SaveContactInfo(contact()); }

private:
    ContactInfo contact() const { return {TxtClinic->text(), TxtTanto->text(), TxtMail->text()}; }

    QLineEdit* TxtClinic;
    QLineEdit* TxtTanto;
    QLineEdit* TxtMail;
    QPushButton* CmdVersionUp;
};

} // namespace

ToolTabPage* CreateVersionUpTab(PFrmImport&) {
    return new VersionUpTab;
}

} // namespace kvr
