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
        auto c = db::Connection::open(path, kProgramPassword);
        QStringList out;
        for (const char* table : {"TPatient", "TExamData", "TClinicCode", "TVersion"}) {
            db::Recordset rs(c, QString("SELECT * FROM %1 ORDER BY ID").arg(table));
            for (; !rs.eof(); rs.moveNext())
                for (int i = 0; i < rs.fieldCount(); ++i)
                    out << rs.value(i).toString();
        }
        return out.join('|');
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
    QFile stale(CompactionTempPath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("not a database");
    stale.close();
    QFile(CompactionTempPath() + "-journal").open(QIODevice::WriteOnly);

    PFrmCompact w;
    EXPECT_TRUE(w.runAttempts());
    EXPECT_EQ(lines(w), QStringList({QStringLiteral("最適化情報を取得しています。"), preparing(1), running(1),
                                     QStringLiteral("終了処理を行っています。")}));
    EXPECT_EQ(w.LstStatus->currentRow(), 3);
    EXPECT_TRUE(t.boxes->shown.isEmpty());
    EXPECT_LT(QFileInfo(memberPath()).size(), sizeBefore - 1'000'000);
    EXPECT_EQ(content(memberPath()), before);
    EXPECT_NO_THROW(CheckDatabaseIntegrity(memberPath()));
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath()));
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath() + "-journal"));
    EXPECT_EQ(t.waits->totalWaited, 2000 + 2000); // the pause before the attempt, the one after it
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
    for (const MsgBoxRequest& b : t.boxes->shown) {
        EXPECT_TRUE(b.text.startsWith(QStringLiteral("最適化でエラー発生！　エラー番号：26\r\n\r\nエラー内容：")))
            << b.text.toStdString();
        EXPECT_EQ(b.title, QStringLiteral("最適化エラー"));
        EXPECT_EQ(b.icon, MsgIcon::Critical);
    }
    const QStringList l = lines(w);
    ASSERT_EQ(l.size(), 1 + 2 * PFrmCompact::kAttempts + 2);
    EXPECT_EQ(l[19], preparing(10));
    EXPECT_EQ(l[20], running(10));
    EXPECT_EQ(l[21], QStringLiteral("最適化できません。最適化せずに終了します。"));
    EXPECT_EQ(l[22], QStringLiteral("終了処理を行っています。"));
    EXPECT_EQ(hashOf(memberPath()), hash);
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath()));
}

TEST_F(CompactionTest, SuccessOnTheTenthAttemptHasNoFailureLineAndTheThirdTickEnds) {
    PFrmCompact w;
    int calls = 0;
    w.compact = [&] { return ++calls == 10; };
    EXPECT_TRUE(w.runAttempts());
    const QStringList l = lines(w);
    ASSERT_EQ(l.size(), 1 + 2 * 10 + 1);
    EXPECT_EQ(l.last(), QStringLiteral("終了処理を行っています。"));
    EXPECT_FALSE(l.contains(QStringLiteral("最適化できません。最適化せずに終了します。")));
    EXPECT_EQ(w.Timer1->interval(), 1000);
    // The frame takes the program's background colour (stored as blue-green-red).
    app().AppBackColor = 0x00C08040;
    PFrmCompact coloured;
    EXPECT_EQ(coloured.Frame1->palette().color(QPalette::Window), QColor(0x40, 0x80, 0xC0));

    w.Timer1_Timer();
    w.Timer1_Timer();
    EXPECT_THROW(w.Timer1_Timer(), ProgramEnded);
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
    const QByteArray good = [&] {
        QFile f(memberPath());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    struct Case {
        const char* name;
        std::function<QByteArray(QByteArray)> damage;
        bool passes;
    };
    const Case cases[] = {
        {"unchanged", [](QByteArray b) { return b; }, true},
        {"one byte of a page changed", [](QByteArray b) { b[b.size() / 2] = char(b[b.size() / 2] ^ 0x40); return b; }, false},
        {"cut short", [](QByteArray b) { return b.left(b.size() / 2 + 100); }, false},
    };
    for (const Case& c : cases) {
        QFile f(copy);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.damage(good));
        f.close();
        bool passed = true;
        try {
            CheckDatabaseIntegrity(copy);
        } catch (const RuntimeError&) {
            passed = false;
        }
        EXPECT_EQ(passed, c.passes) << c.name;
    }
    EXPECT_TRUE(IsProgramDatabase(memberPath()));
    EXPECT_FALSE(IsProgramDatabase(copy));
}

TEST_F(CompactionTest, NineFailedAttemptsThenASuccessfulTenthCompactWithoutTheFailureLine) {
    leaveFreePages();
    const QString before = content(memberPath());
    const qint64 sizeBefore = QFileInfo(memberPath()).size();
    // A folder (not empty) where the temporary file goes: it cannot be removed, so the
    // attempt fails; before the tenth attempt it is taken away.
    ASSERT_TRUE(QDir().mkpath(CompactionTempPath() + "/held"));
    PFrmCompact w;
    int calls = 0;
    w.compact = [&] {
        if (++calls == 10) QDir(CompactionTempPath()).removeRecursively();
        return CompactMemberDb();
    };
    EXPECT_TRUE(w.runAttempts());
    EXPECT_EQ(calls, 10);
    ASSERT_EQ(t.boxes->shown.size(), 9);
    for (const MsgBoxRequest& b : t.boxes->shown) {
        EXPECT_TRUE(b.text.startsWith(QStringLiteral("最適化でエラー発生！　エラー番号："))) << b.text.toStdString();
        EXPECT_TRUE(b.text.contains(QStringLiteral("\r\n\r\nエラー内容："))) << b.text.toStdString();
        EXPECT_EQ(b.title, QStringLiteral("最適化エラー"));
        EXPECT_EQ(b.icon, MsgIcon::Critical);
    }
    const QStringList l = lines(w);
    ASSERT_EQ(l.size(), 1 + 2 * 10 + 1);
    for (int n = 1; n <= 10; ++n) {
        EXPECT_EQ(l[2 * n - 1], preparing(n));
        EXPECT_EQ(l[2 * n], running(n));
    }
    EXPECT_FALSE(l.contains(QStringLiteral("最適化できません。最適化せずに終了します。")));
    EXPECT_EQ(l.last(), QStringLiteral("終了処理を行っています。"));
    EXPECT_LT(QFileInfo(memberPath()).size(), sizeBefore - 1'000'000);
    EXPECT_EQ(content(memberPath()), before);
    EXPECT_FALSE(QFileInfo::exists(CompactionTempPath()));
}

} // namespace
