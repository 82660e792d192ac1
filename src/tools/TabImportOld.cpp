// The tools screen's tab " 旧版KVR-Chartインポート": the previous version's database file,
// how to find it, what to delete before the import, and the import itself.
#include "tools/ImportKVRChart.h"
#include "tools/ToolTabs.h"

#include "data/ADODBMain.h"
#include "platform/accessible.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace kvr {

std::function<QString(QWidget*, const QString&, const QString&, const QString&)>& ImportFileChooser() {
    static std::function<QString(QWidget*, const QString&, const QString&, const QString&)> choose =
        [](QWidget* parent, const QString& title, const QString& proposed, const QString& filter) {
            return QFileDialog::getOpenFileName(parent, title, proposed, filter);
        };
    return choose;
}

namespace {

const QString kPathCaption = QStringLiteral("インポートする旧版KVR-ChartのDBファイル");

class TabImportOld final : public ToolTabPage {
public:
    TabImportOld() {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(16, 12, 16, 12);
        layout->setSpacing(8);

        auto* caption = new QLabel(kPathCaption);
        LblImpKVRChart = new QLabel;
        LblImpKVRChart->setFrameShape(QFrame::StyledPanel);
        LblImpKVRChart->setFrameShadow(QFrame::Sunken);
        LblImpKVRChart->setAutoFillBackground(true);
        LblImpKVRChart->setBackgroundRole(QPalette::Base);
        LblImpKVRChart->setWordWrap(true);
        LblImpKVRChart->setMinimumHeight(28);
        LblImpKVRChart->setTextInteractionFlags(Qt::TextSelectableByMouse);
        NameInput(LblImpKVRChart, "LblImpKVRChart", caption);
        showPath(DefaultPreviousVersionPath());
        CmdPathImpKVRChart = new QPushButton("ファイル指定");
        NameControl(CmdPathImpKVRChart, "CmdPathImpKVRChart", CmdPathImpKVRChart->text());
        auto* pathRow = new QHBoxLayout;
        pathRow->addWidget(LblImpKVRChart, 1);
        pathRow->addWidget(CmdPathImpKVRChart);
        layout->addWidget(caption);
        layout->addLayout(pathRow);

        // How to point at the file, by the way the previous version was used.
        auto* howTo = new QGridLayout;
        howTo->setHorizontalSpacing(12);
        howTo->setVerticalSpacing(2);
        howTo->addWidget(label("※ファイル指定の方法は以下の通りです。", "LblImpHowTo"), 0, 0, 1, 2);
        const char* ways[3][2] = {
            {"＜方法１＞　このＰＣで１個人で旧版KVR-Chartを使用されていた場合",
             "表示されているファイルのままインポートしてください。（表示されていない場合はファイル指定）"},
            {"＜方法２＞　このＰＣで複数人で旧版KVR-Chartを使用されていた場合",
             "「ファイル指定」でファイルを指定後インポートしてください。"},
            {"＜方法３＞　別のＰＣで旧版KVR-Chartを使用されていた場合",
             "ファイルをＵＳＢ等へコピーし、「ファイル指定」でファイルを指定後インポートしてください。"},
        };
        for (int i = 0; i < 3; ++i) {
            const QString n = QString::number(i + 1);
            howTo->addWidget(label(ways[i][0], "LblImpWay" + n), 1 + 2 * i, 0, 1, 2);
            howTo->addItem(new QSpacerItem(24, 1), 2 + 2 * i, 0);
            howTo->addWidget(label(ways[i][1], "LblImpWayText" + n), 2 + 2 * i, 1);
        }
        howTo->setColumnStretch(1, 1);
        layout->addSpacing(4);
        layout->addLayout(howTo);

        auto* frame = new QGroupBox("KVR-Chartからインポートする時の処理方法");
        NameControl(frame, "FraBefore", frame->title());
        auto* options = new QVBoxLayout(frame);
        const char* texts[2] = {
            "KVR-Chart-DBの全データを削除後、インポートする。",
            "旧版KVR-Chartに存在する患者番号と同じ患者番号のデータをKVR-Chart-DBから削除後、インポートする。"};
        for (int i = 0; i < 2; ++i) {
            OptBefore[i] = new QRadioButton(texts[i]);
            NameControl(OptBefore[i], "OptBefore(" + QString::number(i) + ")", texts[i]);
            options->addWidget(OptBefore[i]);
        }
        OptBefore[0]->setChecked(true);
        layout->addSpacing(4);
        layout->addWidget(frame);

        CmdImpKVRChart = new QPushButton("インポート実行");
        NameControl(CmdImpKVRChart, "CmdImpKVRChart", CmdImpKVRChart->text());
        CmdImpKVRChart->setMinimumSize(160, 36);
        auto* buttonRow = new QHBoxLayout;
        buttonRow->addStretch();
        buttonRow->addWidget(CmdImpKVRChart);
        layout->addLayout(buttonRow);
        layout->addStretch();

        connect(CmdPathImpKVRChart, &QPushButton::clicked, this, [this] { choosePath(); });
        connect(CmdImpKVRChart, &QPushButton::clicked, this, [this] { runImport(); });
    }

private:
    static QLabel* label(const QString& text, const QString& name) {
        auto* l = new QLabel(text);
        l->setWordWrap(true);
        NameControl(l, name, text);
        return l;
    }

    // A label offers screen readers its accessible name only, so the name carries the path
    // after the caption: the file about to be imported can be heard before the import.
    void showPath(const QString& path) {
        LblImpKVRChart->setText(path);
        LblImpKVRChart->setAccessibleName(kPathCaption + QStringLiteral("：") + path);
    }

    void choosePath() {
        const QString chosen = ImportFileChooser()(this, "旧版KVR-ChartのDBファイルを選択して下さい",
                                                   PreviousVersionStartFolder() + "/VAZUZ2.MDB",
                                                   "データベース (*.mdb *.MDB)");
        if (chosen.isEmpty()) return; // cancelled: the path stays as it was
        showPath(chosen);
        const QFileInfo fi(chosen);
        if (!fi.fileName().isEmpty() && !fi.path().isEmpty()) setForeignSource(chosen);
    }

    void runImport() {
        setEnabled(false);
        ImportKVRChart(LblImpKVRChart->text(), OptBefore[1]->isChecked() ? ReplaceSameNumbers : ReplaceAllCases);
        setEnabled(true);
    }

    QLabel* LblImpKVRChart = nullptr;
    QPushButton* CmdPathImpKVRChart = nullptr;
    QRadioButton* OptBefore[2] = {nullptr, nullptr};
    QPushButton* CmdImpKVRChart = nullptr;
};

} // namespace

ToolTabPage* CreateImportOldPage() {
    return new TabImportOld;
}

ToolTabPage* CreateImportOldTab(PFrmImport&) {
    return CreateImportOldPage();
}

} // namespace kvr
