// The member connection slot: counted and holding opens, and the Retry/Cancel box.
#include "member_db_fixture.h"

using namespace kvr;

namespace {

class ConnectionTest : public test::MemberDbTest {};

TEST_F(ConnectionTest, CountedOpensConnectOnceAndDisconnectOnce) {
    ASSERT_TRUE(OpenMemberDb());
    db::ConnectionPtr first = memberConn();
    ASSERT_TRUE(OpenMemberDb());
    EXPECT_EQ(memberConn(), first); // no second connect
    EXPECT_EQ(slot(Slot::Member).users, 2);
    CloseMemberDb();
    // The inner release marks the slot closed but the connection lives on for the outer routine.
    EXPECT_TRUE(first->isOpen());
    CloseMemberDb();
    EXPECT_EQ(memberConn(), nullptr);
    EXPECT_FALSE(first->isOpen());
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

TEST_F(ConnectionTest, HoldingOpenKeepsTheConnectionUntilForcedClose) {
    ASSERT_TRUE(OpenMemberDbHold());
    db::ConnectionPtr held = memberConn();
    for (int i = 0; i < 3; ++i) {
        OpenMemberDb();
        EXPECT_EQ(memberConn(), held);
        CloseMemberDb();
    }
    EXPECT_TRUE(held->isOpen());
    EXPECT_EQ(slot(Slot::Member).open, 1);
    // A second holding open reconnects and restarts the counter.
    OpenMemberDb();
    ASSERT_TRUE(OpenMemberDbHold());
    EXPECT_NE(memberConn(), held);
    EXPECT_FALSE(held->isOpen());
    EXPECT_EQ(slot(Slot::Member).users, 0);
    CloseMemberDbForce();
    EXPECT_EQ(memberConn(), nullptr);
    EXPECT_EQ(slot(Slot::Member).hold, 0);
}

TEST_F(ConnectionTest, WrongKeyShowsTheRetryBoxAndCancelEndsTheProgram) {
    ASSERT_TRUE(QFile::remove(memberPath()));
    db::Connection::create(memberPath(), "TOLWARF")->execute("CREATE TABLE T (A INTEGER)");
    t.boxes->answer(MsgResult::Retry);
    t.boxes->answer(MsgResult::Cancel);
    EXPECT_THROW(OpenMemberDb(), ProgramEnded);
    ASSERT_EQ(t.boxes->shown.size(), 2);
    EXPECT_TRUE(t.boxes->shown[0].text.startsWith("[Error:26] \r\n"));
    EXPECT_EQ(t.boxes->shown[0].title, "エラー");
    EXPECT_EQ(t.boxes->shown[0].buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(t.boxes->shown[0].icon, MsgIcon::Critical);
    EXPECT_EQ(slot(Slot::Member).open, 0);
}

TEST_F(ConnectionTest, RetryAfterTheFileReturnsSucceeds) {
    const QString missing = t.paths->app + "/later.MDB";
    setMemberSource(missing);
    t.boxes->onShow = [&](const MsgBoxRequest&) { QFile::copy(memberPath(), missing); };
    t.boxes->answer(MsgResult::Retry);
    EXPECT_TRUE(OpenMemberDb());
    EXPECT_EQ(t.boxes->shown.size(), 1);
    EXPECT_NE(memberConn(), nullptr);
}

} // namespace
