// Compaction of the member database and the program's end window.
#include "data/Compaction.h"
#include "data/MemberDbSwap.h"
#include "data/PFrmCompact.h"
#include "member_db_fixture.h"

#include <QListWidget>
#include <QTimer>

using namespace kvr;

namespace {

class CompactionTest : public test::MemberDbTest {
protected:
    // Grows the member database by ~2 MB of rows and deletes them again, leaving free pages.
    void leaveFreePages() {
        auto c = direct();
        c->execute("CREATE TABLE TScratch (ID INTEGER, Body TEXT)");
        c->beginTransaction();
        for (int i = 0; i < 500; ++i)
            c->execute("INSERT INTO TScratch VALUES (?, ?)", {i, QString(4000, QChar('a' + i % 26))});
        c->commit();
        c->execute("DROP TABLE TScratch");
    }
    // The rows a user cares about, as text.
    QString content(const QString& path) {
        return test::rowsText(db::Connection::open(path, kProgramPassword),
                              {"SELECT * FROM TPatient ORDER BY ID", "SELECT * FROM TExamData ORDER BY ID",
                               "SELECT * FROM TClinicCode ORDER BY ID", "SELECT * FROM TVersion ORDER BY ID"});
    }
    QStringList lines(const PFrmCompact& w) {
        QStringList l;
        for (int i = 0; i < w.LstStatus->count(); ++i)
            l << w.LstStatus->item(i)->text();
        return l;
    }
    static QString preparing(int n) { return QStringLiteral("最適化の準備をしています。(%1 回目)").arg(n); }
    static QString running(int n) { return QStringLiteral("最適化を実行しています。　(%1 回目)").arg(n); }
};

TEST_F(CompactionTest, FirstAttemptShrinksTheFileKeepsTheRowsAndShowsFourLines) {
    leaveFreePages();
    const QString before = content(memberPath());
    const qint64 sizeBefore = QFileInfo(memberPath()).size();
    // A stale copy and journal of an interrupted attempt.
    test::writeText(CompactionTempPath(), "not a database");
    test::writeText(CompactionTempPath() + "-journal", "");

    // The pause after the attempt comes while the copy waits beside the original.
    QList<bool> copyWaiting;
    t.waits->onWait = [&] { copyWaiting << (QFileInfo(CompactionTempPath()).size() > 4096); };
    app().AppBackColor = 0x00C0FFEE; // stored blue, green, red
    PFrmCompact w;
    for (const char* name : {"LstStatus", "Frame1", "Image1", "Label1"})
        EXPECT_EQ(w.findChild<QWidget*>(name)->accessibleDescription(), name);
    EXPECT_EQ(w.Frame1->palette().color(QPalette::Window), QColor(0xEE, 0xFF, 0xC0));
    EXPECT_TRUE(w.runAttempts());
    EXPECT_EQ(copyWaiting, QList<bool>({false, true}));
    EXPECT_EQ(lines(w), QStringList({QStringLiteral("最適化情報を取得しています。"), preparing(1), running(1),
                                     QStringLiteral("終了処理を行っています。")}));
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_LT(QFileInfo(memberPath()).size(), sizeBefore - 1'000'000);
    EXPECT_EQ(content(memberPath()), before);
    EXPECT_NO_THROW(CheckDatabaseIntegrity(memberPath()));
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath()));
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath() + "-journal"));
    EXPECT_EQ(t.waits->totalWaited, 2000 + 2000); // the pause before the attempt, the one after it
    w.Timer1_Timer(); // the third tick of the end window ends the program
    w.Timer1_Timer();
    EXPECT_THROW(w.Timer1_Timer(), ProgramEnded);
}

TEST_F(CompactionTest, UncompactableDatabaseGivesTenBoxesTheFailureLineAndStaysAsItWas) {
    {
        QFile f(memberPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x')); // damaged: no key opens it
    }
    const QByteArray hash = hashOf(memberPath());
    PFrmCompact w;
    EXPECT_FALSE(w.runAttempts());
    ASSERT_EQ(t.boxes->shown.size(), PFrmCompact::kAttempts);
    EXPECT_TRUE(t.boxes->shown[9].text.startsWith("最適化でエラー発生！　エラー番号：26\r\n\r\nエラー内容："));
    EXPECT_EQ(lines(w).mid(19), QStringList({preparing(10), running(10), "最適化できません。最適化せずに終了します。",
                                              "終了処理を行っています。"}));
    EXPECT_EQ(hashOf(memberPath()), hash);
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath()));
}

TEST_F(CompactionTest, HeldConnectionIsReopenedOnTheNewFileAndOldHandlesAreClosed) {
    ASSERT_TRUE(OpenMemberDbHold());
    db::ConnectionPtr old = memberConn();
    ASSERT_TRUE(CompactMemberDb());
    EXPECT_FALSE(old->isOpen()); // nothing goes on using the replaced file
    ASSERT_NE(memberConn(), nullptr);
    EXPECT_NE(memberConn(), old);
    EXPECT_EQ(slot(Slot::Member).hold, 1);
    EXPECT_EQ(memberConn()->scalar("SELECT COUNT(*) FROM TVersion").toInt(), 1);
    CloseMemberDbForce();
    ASSERT_TRUE(CompactMemberDb()); // closed stays closed
    EXPECT_EQ(memberConn(), nullptr);
}

TEST_F(CompactionTest, IntegrityCheckRefusesDamagedCopies) {
    const QString copy = app().MemberFolder + "/copy.MDB";
    QFile member(memberPath());
    ASSERT_TRUE(member.open(QIODevice::ReadOnly));
    const QByteArray good = member.readAll();
    const std::tuple<const char*, std::function<QByteArray(QByteArray)>, bool> cases[] = {
        {"unchanged", [](QByteArray b) { return b; }, true},
        {"one byte of a page changed", [](QByteArray b) { b[b.size() / 2] = char(b[b.size() / 2] ^ 0x40); return b; }, false},
        {"cut short", [](QByteArray b) { return b.left(b.size() / 2 + 100); }, false},
    };
    for (const auto& [name, damage, passes] : cases) {
        QFile f(copy);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damage(good));
        f.close();
        bool passed = true;
        try {
            CheckDatabaseIntegrity(copy);
        } catch (const RuntimeError&) {
            passed = false;
        }
        EXPECT_EQ(passed, passes) << name;
    }
    EXPECT_TRUE(IsProgramDatabase(memberPath()));
    EXPECT_FALSE(IsProgramDatabase(copy));
}

TEST_F(CompactionTest, SuccessOnTheTenthAttemptEndsWithoutTheFailureLine) {
    // A folder (not empty) where the temporary file goes cannot be removed, so the attempt
    // fails; before the tenth attempt it is taken away.
    ASSERT_TRUE(QDir().mkpath(CompactionTempPath() + "/held"));
    PFrmCompact w;
    int calls = 0;
    w.compact = [&] {
        if (++calls == 10) QDir(CompactionTempPath()).removeRecursively();
        return CompactMemberDb();
    };
    EXPECT_TRUE(w.runAttempts());
    ASSERT_EQ(t.boxes->shown.size(), 9);
    EXPECT_EQ(t.boxes->shown[8].title, "最適化エラー");
    EXPECT_EQ(lines(w).mid(19), QStringList({preparing(10), running(10), "終了処理を行っています。"}));
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath()));
}

} // namespace
