// The member connection slot (counted and holding opens, the Retry/Cancel box) and the
// record classes of the data store: round trips and the next-number counters.
#include "member_db_fixture.h"

using namespace kvr;

namespace {

class ConnectionTest : public test::MemberDbTest {};

TEST_F(ConnectionTest, CountedOpensShareOneConnectionAndAHoldKeepsItUntilForcedClose) {
    ASSERT_TRUE(OpenMemberDb());
    db::ConnectionPtr first = memberConn();
    ASSERT_TRUE(OpenMemberDb());
    EXPECT_EQ(memberConn(), first); // no second connect
    CloseMemberDb();
    EXPECT_TRUE(first->isOpen()); // the outer routine still uses it
    CloseMemberDb();
    EXPECT_FALSE(first->isOpen());

    ASSERT_TRUE(OpenMemberDbHold());
    db::ConnectionPtr held = memberConn();
    OpenMemberDb();
    CloseMemberDb();
    EXPECT_TRUE(held->isOpen() && memberConn() == held);
    // A second holding open reconnects and restarts the counter.
    OpenMemberDb();
    ASSERT_TRUE(OpenMemberDbHold());
    EXPECT_FALSE(held->isOpen());
    EXPECT_EQ(slot(Slot::Member).users, 0);
    CloseMemberDbForce();
    EXPECT_EQ(memberConn(), nullptr);
}

TEST_F(ConnectionTest, ClosingEverythingRemovesOnlyAnEmptyJournal) {
    const QString journal = memberPath() + "-journal";
    ASSERT_TRUE(OpenMemberDbHold());
    ASSERT_TRUE(SaveClinicCode("654321")); // a commit leaves the truncated journal
    ASSERT_TRUE(QFileInfo::exists(journal));
    closeAllConnections();
    EXPECT_FALSE(QFileInfo::exists(journal));
    EXPECT_EQ(scalar("SELECT ClinicCode FROM TClinicCode WHERE ID=0").toString(), "654321");
    test::writeText(journal, "x"); // a journal with content is a rollback still to be played
    closeAllConnections();
    EXPECT_TRUE(QFileInfo::exists(journal));
    QFile::remove(journal);
}

TEST_F(ConnectionTest, RetrySucceedsWhenTheFileReturnsAndCancelOnAWrongKeyEndsTheProgram) {
    const QString missing = t.paths->app + "/later.MDB";
    setMemberSource(missing);
    t.boxes->onShow = [&](const MsgBoxRequest&) { QFile::copy(memberPath(), missing); };
    t.boxes->answer(MsgResult::Retry);
    EXPECT_TRUE(OpenMemberDb());
    EXPECT_EQ(t.boxes->shown.size(), 1);
    closeAllConnections();
    t.boxes->clear();
    t.boxes->onShow = nullptr;
    setMemberSource(memberPath());
    ASSERT_TRUE(QFile::remove(memberPath()));
    db::Connection::create(memberPath(), "TOLWARF")->execute("CREATE TABLE T (A INTEGER)");
    t.boxes->answer(MsgResult::Retry);
    t.boxes->answer(MsgResult::Cancel);
    EXPECT_THROW(OpenMemberDb(), ProgramEnded);
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("[Error:26] \r\n"));
    EXPECT_EQ(t.boxes->shown[0].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

class RecordClassTest : public test::MemberDbTest {
protected:
    // Writes rec into the row `where` selects (a new row) and reads that row back into a
    // fresh record.
    template <class Rec>
    Rec storeAndRead(const Rec& rec, const QString& table, const QString& where) {
        const QString sql = "SELECT * FROM " + table + " WHERE " + where;
        OpenMemberDb();
        {
            db::Recordset rs(memberConn(), sql, {}, db::OpenMode::Write);
            rs.addNew();
            rec.RecSetPut(rs);
            rs.update();
        }
        Rec back;
        back.RecSetGet(db::Recordset(memberConn(), sql));
        CloseMemberDb();
        return back;
    }
};

QStringList texts(const QVariantList& values) {
    QStringList out;
    for (const QVariant& v : values)
        out << v.toString();
    return out;
}

TEST_F(RecordClassTest, PatientAndMasterRoundTripsKeepEveryFieldAndReadNullTextAsEmpty) {
    CPatient p{7, "123456", "K-7", "ヤマダ　ハナコ", "山田　花子", "1971/02/28", 1, "03-0000-0000", "100-0001",
               "東京都", "千代田区1-1", QDateTime(QDate(2024, 9, 1), QTime(0, 0)),
               QDateTime(QDate(2024, 8, 1), QTime(10, 15, 30)), 1, "KVR-DB", now()};
    auto fields = [](const CPatient& r) {
        return texts({r.ID, r.ClinicCode, r.KalteNumber, r.Ruby, r.Name, r.BirthDay, r.Sex, r.TEL, r.Post,
                      r.Address1, r.Address2, r.NextExamDate, r.LastExamDate, r.Lock, r.AppName, r.UpDate});
    };
    EXPECT_EQ(fields(storeAndRead(p, "TPatient", "ID=7")), fields(p));
    direct()->execute("INSERT INTO TPatient (ID, Name, TEL) VALUES (3, NULL, NULL)");
    OpenMemberDb();
    p.RecSetGet(db::Recordset(memberConn(), "SELECT * FROM TPatient WHERE ID=3"));
    CloseMemberDb();
    EXPECT_TRUE(p.Name.isEmpty() && p.TEL.isEmpty());

    CMaster m{.IDLG = 3, .IDSG = 2, .SeqNo = 4, .SGName = "現在喫煙", .SGComment = "喫煙歴", .UpDate = now()};
    const CMaster back = storeAndRead(m, "TMaster", "IDLG=3");
    EXPECT_EQ(texts({back.IDLG, back.IDSG, back.SeqNo, back.SGName, back.SGComment, back.UpDate}),
              texts({3, 2, 4, "現在喫煙", "喫煙歴", now()}));
    // A recordset without SGComment and UpDate: the other columns are still read.
    CMaster partial;
    partial.SGComment = "kept";
    OpenMemberDb();
    partial.RecSetGet(db::Recordset(memberConn(), "SELECT IDLG, IDSG, SeqNo, SGName FROM TMaster WHERE IDLG=3"));
    CloseMemberDb();
    EXPECT_EQ(partial.SGName + partial.SGComment, "現在喫煙kept");
}

TEST_F(RecordClassTest, NextNumbers) {
    EXPECT_EQ(GetNextNumber("TExamData"), 10000000); // fresh template
    EXPECT_EQ(scalar("SELECT ExamData FROM TNextAutoNumber WHERE ID=0").toInt(), 1);
    EXPECT_EQ(GetNextNumber("TExamData"), 10000001);
    EXPECT_EQ(GetNextNumber("TPatient"), 10000000); // counters are per table
    // Without commit the stored counter stays, so the same number comes again.
    EXPECT_EQ(GetNextNumber("TCharge", false), 10000000);
    EXPECT_EQ(GetNextNumber("TCharge", false), 10000000);
    EXPECT_EQ(slot(Slot::Member).open, 0);
    direct()->execute("DELETE FROM TNextAutoNumber"); // without row 0 nothing is stored
    EXPECT_EQ(GetNextNumber("TExamData"), 10000000);
    EXPECT_EQ(GetNextNumber("TExamData"), 10000000);
    EXPECT_EQ(scalar("SELECT count(*) FROM TNextAutoNumber").toInt(), 0);
    EXPECT_THROW(GetNextNumber("texamdata"), ProgramEnded); // the match is case-sensitive
    EXPECT_EQ(t.boxes->shown.value(0).text, "次番号マスタのテーブル指定エラー.");
}

} // namespace
