// "操作マニュアル他": the operating manual and the FAQ page.
#include "platform/accessible.h"
#include "tools/ManualFaq.h"
#include "tools/ToolTabs.h"

#include <QPushButton>
#include <QVBoxLayout>

namespace kvr {

ToolTabPage* CreateManualTab(PFrmImport&) {
    auto* page = new ToolTabPage;
    auto* v = new QVBoxLayout(page);
    auto* manual = new QPushButton("操作マニュアル");
    NameControl(manual, "CmdManual", manual->text());
    auto* faq = new QPushButton("よくある質問  （Webに接続します）");
    NameControl(faq, "CmdFAQ", faq->text());
    for (QPushButton* b : {manual, faq}) {
        b->setMinimumSize(320, 44);
        v->addWidget(b, 0, Qt::AlignLeft);
    }
    v->addStretch(1);
    QObject::connect(manual, &QPushButton::clicked, page, [] { OpenManual(); });
    QObject::connect(faq, &QPushButton::clicked, page, [] { OpenFaq(); });
    return page;
}

} // namespace kvr
