// The tab " 旧版KVR-Chartインポート": its controls, captions and names, the file dialog of
// "ファイル指定", and "インポート実行" importing the shown file with the chosen option.
#include "data/ADODBMain.h"
#include "data/member_db_fixture.h"
#include "support/previous_version_files.h"
#include "tools/ImportKVRChart.h"
#include "tools/ToolTabs.h"

#include <QAbstractButton>
#include <QLabel>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <memory>

using namespace kvr;

namespace {

class ImportTabTest : public test::MemberDbTest {
protected:
    void SetUp() override {
        MemberDbTest::SetUp();
        defaultCompaction = ImportCompaction();
        ImportCompaction() = [] { return true; };
        defaultChooser = ImportFileChooser();
        page.reset(CreateImportOldPage());
        page->show();
    }
    void TearDown() override {
        page.reset();
        ImportFileChooser() = defaultChooser;
        ImportCompaction() = defaultCompaction;
        MemberDbTest::TearDown();
    }
    template <class T> T* control(const QString& name) {
        T* w = page->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }
    QString pathShown() { return control<QLabel>("LblImpKVRChart")->text(); }

    std::unique_ptr<ToolTabPage> page;
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> defaultChooser;
    std::function<bool()> defaultCompaction;
};

TEST_F(ImportTabTest, ControlsCarryTheirNamesAndCaptions) {
    // Name, caption (also the accessible name; the path label's name is its caption and the path).
    const std::pair<QString, QString> controls[] = {
        {"LblImpKVRChart", "インポートする旧版KVR-ChartのDBファイル：" + DefaultPreviousVersionPath()},
        {"CmdPathImpKVRChart", "ファイル指定"},
        {"OptBefore(0)", "KVR-Chart-DBの全データを削除後、インポートする。"},
        {"OptBefore(1)", "旧版KVR-Chartに存在する患者番号と同じ患者番号のデータをKVR-Chart-DBから削除後、インポートする。"},
        {"CmdImpKVRChart", "インポート実行"},
        {"FraBefore", "KVR-Chartからインポートする時の処理方法"},
    };
    for (const auto& [name, caption] : controls) {
        QWidget* w = control<QWidget>(name);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->accessibleDescription(), name);
        EXPECT_EQ(w->accessibleName(), caption) << name.toStdString();
        EXPECT_TRUE(w->isVisible()) << name.toStdString();
        if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            EXPECT_EQ(b->text(), caption);
        }
    }
    EXPECT_EQ(pathShown(), DefaultPreviousVersionPath());
    EXPECT_TRUE(control<QRadioButton>("OptBefore(0)")->isChecked());
}

TEST_F(ImportTabTest, FileDialogSetsThePathAndTheForeignSource) {
    struct Call {
        QString title, proposed, filter;
    };
    QList<Call> calls;
    QString answer = "/media/usb/旧版/VAZUZ2.MDB";
    ImportFileChooser() = [&](QWidget*, const QString& title, const QString& proposed, const QString& filter) {
        calls.append({title, proposed, filter});
        return answer;
    };
    control<QAbstractButton>("CmdPathImpKVRChart")->click();
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].title, "旧版KVR-ChartのDBファイルを選択して下さい");
    EXPECT_EQ(calls[0].proposed, PreviousVersionStartFolder() + "/VAZUZ2.MDB");
    EXPECT_TRUE(calls[0].filter.startsWith("データベース (*.mdb")) << calls[0].filter.toStdString();
    EXPECT_EQ(pathShown(), answer);
    EXPECT_TRUE(control<QLabel>("LblImpKVRChart")->accessibleName().endsWith("：" + answer)); // heard too
    EXPECT_EQ(slot(Slot::Foreign).source, answer);

    answer.clear(); // cancelled
    control<QAbstractButton>("CmdPathImpKVRChart")->click();
    EXPECT_EQ(pathShown(), "/media/usb/旧版/VAZUZ2.MDB");
}

TEST_F(ImportTabTest, ImportButtonImportsTheChosenFileWithTheChosenOption) {
    // The preset file is missing: refused with nothing changed.
    control<QAbstractButton>("CmdImpKVRChart")->click();
    ASSERT_EQ(t.boxes->shown.size(), 1);
    EXPECT_EQ(t.boxes->shown[0].title, "指定エラー");

    direct()->execute("INSERT INTO TPatient (ID, Name) VALUES (5, '会員の患者')");
    const QString prevPath = t.paths->app + "/選んだファイル.MDB";
    {
        test::PreviousVersionFile prev(prevPath);
        prev.addPatient(1, "山田　花子");
        prev.addExams(1, 2);
    }
    ImportFileChooser() = [&](QWidget*, const QString&, const QString&, const QString&) { return prevPath; };
    control<QAbstractButton>("CmdPathImpKVRChart")->click();
    control<QRadioButton>("OptBefore(1)")->click();
    t.boxes->clear();
    t.boxes->answer(MsgResult::Yes);
    control<QAbstractButton>("CmdImpKVRChart")->click();
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_EQ(t.boxes->shown[1].title, "完了");
    EXPECT_TRUE(page->isEnabled());
    EXPECT_EQ(scalar("SELECT Name FROM TPatient WHERE ID=1").toString(), "山田　花子");
    EXPECT_EQ(scalar("SELECT Name FROM TPatient WHERE ID=5").toString(), "会員の患者"); // option 1 keeps it
}

} // namespace
