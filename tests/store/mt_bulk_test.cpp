// Bulk work on a table file: loads in one transaction, whole-table reads.
#include <gtest/gtest.h>

#include "store/mt_bulk.h"
#include "store/mt_test_util.h"

namespace wendul::test {
namespace {

using List = std::vector<SjisString>;

class MTBulkTest : public WordTableTest {
 protected:
  void SetUp() override {
    WordTableTest::SetUp();
  }
  std::vector<FieldValue> Word(const SjisString& w, TDateTime updated) {
    return {FieldValue::Of(w), FieldValue::OfDate(updated), FieldValue::OfDate(1)};
  }
  // Words in the order ReadAllRecords gives.
  List Read(MT& table) {
    List seen;
    const std::vector<uint32_t> order = table.ReadAllRecords([&](const RowView& r) {
      seen.push_back(r.values[0].text);
      return true;
    });
    List out;
    for (uint32_t i : order) out.push_back(seen[i]);
    return out;
  }
};

TEST_F(MTBulkTest, ALoadIsOneTransactionWithItsIndexesBuiltAtTheEnd) {
  AddWord(t, "old", 5);
  MT other("other");
  other.SetDatabaseName(t.DatabaseName());
  other.SetTableName(t.TableName());
  other.SetIndexName("IDX_UPDATEDATE");
  ASSERT_TRUE(other.Op());
  {
    MTLoad load(t, true);  // emptied: indexes dropped, keys told apart in memory
    EXPECT_TRUE(load.Add(Word("b", 2)));
    EXPECT_TRUE(load.Add(Word("a", 3)));
    EXPECT_FALSE(load.Add(Word("a", 9)));  // the first occurrence stays
    EXPECT_EQ(load.Added(), 2);
    // Meanwhile others read the table as it was and cannot write.
    EXPECT_EQ(Words(other), List{"old"});
    other.First();
    EXPECT_THROW(other.Edit(), EDBEngineError);
  }  // not committed: nothing happened
  EXPECT_EQ(Words(t), List{"old"});

  {
    MTLoad load(t, true);
    for (const char* w : {"b", "a", "c"}) load.Add(Word(w, w[0]));
    load.Commit();
  }
  other.Refresh();
  EXPECT_EQ(Words(other), (List{"c", "b", "a"}));  // the date index is back
  t.Refresh();
  EXPECT_TRUE(t.FindKey("b"));  // and the key
  EXPECT_TRUE(TableIntegrityProblems(t).empty());

  // Into a table that keeps its records, the key index tells duplicates.
  MTLoad more(t, false);
  EXPECT_FALSE(more.Add(Word("a", 7)));
  EXPECT_TRUE(more.Add(Word("d", 'd')));
  more.Commit();
  EXPECT_EQ(Read(other), (List{"d", "c", "b", "a"}));
}

TEST_F(MTBulkTest, ReadAllRecordsFollowsOrderAndFilterFromOneSnapshot) {
  t.BeginBatch();
  for (int i = 0; i < 50; ++i) AddWord(t, "w" + std::to_string(100 + (i * 37) % 50), i);
  t.EndBatch();
  // Gaps in the record ids: the positions are searched, not indexed.
  for (int i = 0; i < 50; i += 3) {
    ASSERT_TRUE(t.FindKey("w" + std::to_string(100 + (i * 37) % 50)));
    t.Delete();
  }
  const List byKey = Words(t);
  EXPECT_EQ(Read(t), byKey);
  t.SetIndexName("IDX_UPDATEDATE");
  const List latest = Words(t);
  EXPECT_EQ(Read(t), latest);
  t.SetIndexFieldNames("KEYWORD");
  t.SetFilter("KEYWORD='w11*'");
  t.SetFiltered(true);
  const List filtered = Words(t);
  EXPECT_EQ(Read(t), filtered);
  EXPECT_GT(filtered.size(), 3u);
  // Stopping gives nothing; the cursor never moved.
  ASSERT_TRUE(t.FindKey(filtered[2]));
  EXPECT_TRUE(t.ReadAllRecords([](const RowView&) { return false; }).empty());
  EXPECT_EQ(t.GS("KEYWORD"), filtered[2]);
}

}  // namespace
}  // namespace wendul::test
