// Write batches: many posts, one transaction.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "store/mt_test_util.h"

namespace wendul::test {
namespace {

class MTBatchTest : public WordTableTest {
 protected:
  void SetUp() override {
    WordTableTest::SetUp();
    AddWord(t, "old", 1);
    other.SetDatabaseName(t.DatabaseName());
    other.SetTableName(t.TableName());
    other.SetIndexFieldNames("KEYWORD");
    ASSERT_TRUE(other.Op());
  }
  // Whether the other connection can take the write lock (and gives it back).
  bool OtherCanWrite() {
    other.First();
    try {
      other.Edit();
    } catch (const EDBEngineError& e) {
      EXPECT_TRUE(IsLockError(e));
      return false;
    }
    other.Cancel();
    return true;
  }
  // The words the other connection sees in the file.
  std::vector<SjisString> Seen() {
    other.Refresh();
    return Words(other);
  }

  MT other{"tbMuKwd2"};
};

using List = std::vector<SjisString>;

TEST_F(MTBatchTest, PostsStayInTheBatchUntilItEndsThenAllAreSeen) {
  t.BeginBatch();
  EXPECT_TRUE(OtherCanWrite());  // no write yet: no lock yet
  AddWord(t, "aaa", 2);
  ASSERT_TRUE(t.FindKey("old"));
  t.Edit();
  t.SD("UPDATEDATE", 5);
  t.Post();
  t.BeginBatch();  // nested: only the outer end commits
  AddWord(t, "bbb", 3);
  t.EndBatch();
  EXPECT_EQ(t.BatchDepth(), 1);
  // The batch reads its own writes; nothing has reached the other connection,
  // which cannot write meanwhile.
  EXPECT_EQ(Words(t), (List{"aaa", "bbb", "old"}));
  EXPECT_EQ(Seen(), List{"old"});
  EXPECT_FALSE(OtherCanWrite());
  t.EndBatch();
  EXPECT_EQ(t.BatchDepth(), 0);
  EXPECT_EQ(Seen(), (List{"aaa", "bbb", "old"}));
  ASSERT_TRUE(other.FindKey("old"));
  EXPECT_EQ(other.GD("UPDATEDATE"), 5);
  EXPECT_TRUE(OtherCanWrite());
  t.EndBatch();  // one end too many does nothing
  EXPECT_EQ(t.BatchDepth(), 0);
}

TEST_F(MTBatchTest, ALockHeldElsewhereFailsEachWriteUntilItIsFree) {
  ASSERT_TRUE(other.FindKey("old"));
  other.Edit();  // holds the write lock
  MTBatch batch(t);
  ASSERT_TRUE(t.FindKey("old"));
  EXPECT_THROW(t.Edit(), EDBEngineError);
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_THROW(t.Append(), EDBEngineError);
  EXPECT_EQ(t.State(), DataSetState::Browse);
  other.Cancel();
  AddWord(t, "later", 2);  // the next write takes the freed lock
  batch.End();
  EXPECT_EQ(Seen(), (List{"later", "old"}));
  EXPECT_TRUE(OtherCanWrite());
}

TEST_F(MTBatchTest, CancelUndoesOnlyTheCurrentRecord) {
  std::vector<DataEvent> events;
  struct Recorder : MTListener {
    std::vector<DataEvent>* out;
    void TableEvent(MT&, DataEvent e) override { out->push_back(e); }
  } rec;
  rec.out = &events;
  t.AddListener(&rec);
  t.BeginBatch();
  AddWord(t, "kept", 2);
  ASSERT_TRUE(t.FindKey("old"));
  t.Edit();
  t.SD("UPDATEDATE", 9);
  t.Cancel();
  EXPECT_EQ(t.GD("UPDATEDATE"), 1);
  t.Refresh();
  EXPECT_EQ(t.GD("UPDATEDATE"), 1);
  t.Append();
  t.SS("KEYWORD", "dropped");
  t.Cancel();
  EXPECT_EQ(t.GS("KEYWORD"), "old");  // the record current before the insertion
  // A failed post keeps its record pending; its Cancel spares the others.
  t.Append();
  t.SS("KEYWORD", "kept");
  EXPECT_THROW(t.Post(), EDBEngineError);
  EXPECT_EQ(t.State(), DataSetState::Insert);
  t.Cancel();
  t.EndBatch();
  t.RemoveListener(&rec);
  EXPECT_EQ(Seen(), (List{"kept", "old"}));
  ASSERT_TRUE(other.FindKey("old"));
  EXPECT_EQ(other.GD("UPDATEDATE"), 1);
  // Listeners heard every post as it happened.
  EXPECT_GE(std::count(events.begin(), events.end(), DataEvent::DataChanged), 2);
}

TEST_F(MTBatchTest, EndingPostsAPendingEditAndCloseKeepsWhatWasPosted) {
  t.BeginBatch();
  ASSERT_TRUE(t.FindKey("old"));
  t.Edit();
  t.SD("UPDATEDATE", 7);
  t.EndBatch();  // a modified edit is posted, as a move would
  EXPECT_EQ(t.State(), DataSetState::Browse);
  ASSERT_TRUE(other.FindKey("old"));
  EXPECT_EQ(other.GD("UPDATEDATE"), 7);

  t.BeginBatch();
  AddWord(t, "posted", 2);
  t.Append();
  t.SS("KEYWORD", "pending");
  t.Close();  // the pending insertion goes, the posted word stays
  EXPECT_EQ(Seen(), (List{"old", "posted"}));
  EXPECT_TRUE(OtherCanWrite());
  ASSERT_TRUE(t.Op());  // still in the batch: its writes wait for the end again
  AddWord(t, "after", 3);
  EXPECT_EQ(Seen(), (List{"old", "posted"}));
  t.EndBatch();
  EXPECT_EQ(Seen(), (List{"after", "old", "posted"}));
}

TEST_F(MTBatchTest, AnExceptionLeavesNoTransactionAndKeepsWhatWasPosted) {
  try {
    MTBatch batch(t);
    AddWord(t, "posted", 2);
    t.Append();
    t.SS("KEYWORD", "half");
    throw std::runtime_error("stop");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(t.BatchDepth(), 0);
  EXPECT_EQ(t.State(), DataSetState::Browse);
  EXPECT_EQ(Seen(), (List{"old", "posted"}));
  EXPECT_TRUE(OtherCanWrite());
  EXPECT_TRUE(t.CheckpointIfIdle());
}

TEST_F(MTBatchTest, AProcessKilledInsideABatchLeavesTheFileAsBefore) {
  // No connection may cross the fork.
  t.Close();
  other.Close();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // A fresh connection of its own; dies without ending the batch or closing.
    MT c;
    SetUpWords(c, dir);
    if (!c.Op()) _exit(2);
    c.BeginBatch();
    for (int i = 0; i < 200; ++i) AddWord(c, "w" + std::to_string(i), i);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(other.Op());
  EXPECT_EQ(Seen(), List{"old"});
  EXPECT_TRUE(OtherCanWrite());
}

TEST_F(MTBatchTest, CheckpointWaitsForTheTransactionAndThenCopiesTheLog) {
  t.BeginBatch();
  AddWord(t, "aaa", 2);
  EXPECT_FALSE(t.CheckpointIfIdle());  // a transaction is open
  t.EndBatch();
  EXPECT_TRUE(t.CheckpointIfIdle());
  // Nothing is left in the log for any connection to copy.
  int logFrames = -1, copied = -1;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(t.FilePath().c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied), SQLITE_OK);
  EXPECT_EQ(logFrames, copied);
  sqlite3_close(db);
  t.Close();
  EXPECT_FALSE(t.CheckpointIfIdle());
}

}  // namespace
}  // namespace wendul::test
