// A table's file kept safe: damaged pages read around and rebuilt, backups
// kept and restored, records whose ids were reused left alone, and the write
// probe failing where a stored word would.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <filesystem>

#include "mt_test_util.h"
#include "store/mt_bulk.h"
#include "store/mt_safe.h"
#include "support/damage.h"
#include "util/datetime.h"

namespace wendul::test {
namespace {

namespace fs = std::filesystem;

constexpr int kWords = 5000;

SjisString W(int i) {
  char b[16];
  std::snprintf(b, sizeof b, "w%05d", i);
  return b;
}

class MTSafeTest : public WordTableTest {
 protected:
  void SetUp() override {
    WordTableTest::SetUp();
    t.BeginBatch();
    for (int i = 1; i <= kWords; ++i) AddWord(t, W(i), 40000 + i);
    t.EndBatch();
  }
  // Every word the file gives by its ids.
  std::vector<SjisString> ReadAll(bool* damaged) {
    std::vector<SjisString> seen;
    t.ReadAllRecords([&](const RowView& r) { return seen.push_back(r.values[0].text), true; }, damaged);
    return seen;
  }
};

TEST_F(MTSafeTest, ADamagedFileIsReadAroundItsDamageAndRebuiltWithTheOldOneKept) {
  ASSERT_TRUE(t.FindKey(W(4000)));
  const Bookmark mark = t.GetBookmark();
  t.Close();  // the log goes back into the file
  const std::string file = t.FilePath();
  const DamagedPage index = DamagePage(file, "mt_pk", "leaf");
  const DamagedPage data = DamagePage(file, "T", "leaf");
  ASSERT_GT(index.number, 1);
  ASSERT_GT(data.cells, 10);

  // It opens, and storing meets the damage as the probe does.
  t.SetIndexName("IDX_UPDATEDATE");
  ASSERT_TRUE(t.Op());
  bool damaged = false;
  const std::vector<SjisString> readable = ReadAll(&damaged);
  EXPECT_TRUE(damaged);
  EXPECT_EQ(readable.size(), static_cast<size_t>(kWords - data.cells));
  EXPECT_EQ(readable.back(), W(kWords));
  const std::vector<FieldValue> probe{FieldValue::Of("probe"), FieldValue::OfDate(50000), FieldValue::OfDate(50000)};
  bool probeFailed = false;
  for (int i = 1; i <= kWords && !probeFailed; i += 7) {
    try {
      t.ProbeWrite({FieldValue::Of(W(i) + "x"), FieldValue::OfDate(50000), FieldValue::OfDate(50000)});
    } catch (const std::exception& e) {
      probeFailed = IsCorrupt(e);
    }
  }
  EXPECT_TRUE(probeFailed);  // a key that lands on the damaged index page
  t.Close();

  // A second Wendul learns a word meanwhile: taken over, and the words taken
  // from the indexes, which its file lacks, stay.
  MT other("other");
  SetUpWords(other, dir);
  ASSERT_TRUE(other.Op());
  bool learned = false;
  const RebuildReport report = RebuildTable(t, [&](TableWork work, int64_t, int64_t) {
    if (work == TableWork::Reading && !learned) learned = true, AddWord(other, "zz", 60001);
    return true;
  });
  other.Close();
  EXPECT_TRUE(learned);
  EXPECT_EQ(report.carried, 1);
  EXPECT_TRUE(report.damaged);
  // The damaged data page's words come back from the indexes, but for those
  // the damaged index page held too.
  EXPECT_GT(report.fromIndexes, data.cells / 2);
  EXPECT_LT(report.fromIndexes, data.cells);
  EXPECT_EQ(report.records, kWords - data.cells + report.fromIndexes + 1);
  EXPECT_GE(report.damagedRuns, 1);
  EXPECT_FALSE(report.problems.empty());
  EXPECT_NE(report.kept.find("/KWD-damaged-"), std::string::npos);
  EXPECT_TRUE(fs::exists(report.kept));
  EXPECT_TRUE(TableIntegrityProblems(t).empty());
  ASSERT_TRUE(t.Op());
  const std::vector<SjisString> rebuilt = ReadAll(&damaged);
  EXPECT_FALSE(damaged);
  EXPECT_EQ(rebuilt.size(), readable.size() + static_cast<size_t>(report.fromIndexes) + 1);
  EXPECT_EQ(rebuilt.back(), "zz");
  EXPECT_TRUE(std::includes(rebuilt.begin(), rebuilt.end(), readable.begin(), readable.end()));
  // Such a word keeps its last use (an index holds it); when it was first
  // stored, which only its lost page held, is left empty.
  std::vector<SjisString> taken;
  std::set_difference(rebuilt.begin(), rebuilt.end() - 1, readable.begin(), readable.end(), std::back_inserter(taken));
  ASSERT_EQ(taken.size(), static_cast<size_t>(report.fromIndexes));
  t.SetIndexFieldNames("KEYWORD");
  ASSERT_TRUE(t.FindKey(taken[0]));
  EXPECT_EQ(t.GetField("UPDATEDATE").number, 40000 + std::stoi(taken[0].substr(1)));
  EXPECT_TRUE(t.GetField("APPENDDATE").IsNull());
  ASSERT_TRUE(t.FindKey(W(4000)));
  EXPECT_EQ(t.GetBookmark(), mark);  // ids are kept
  t.ProbeWrite(probe);
  AddWord(t, "new", 60000);
  t.Close();

  // A sound file: the old one goes to the backups, nothing is lost.
  const RebuildReport sound = RebuildTable(t);
  EXPECT_FALSE(sound.damaged);
  EXPECT_EQ(sound.records, report.records + 1);
  EXPECT_EQ(sound.before, sound.records);
  EXPECT_EQ(sound.kept.find(BackupFolder(t)), 0u);
  EXPECT_EQ(CountRecords(sound.kept), sound.records);
  EXPECT_EQ(ListBackups(t).size(), 1u);

  // A cancelled rebuild changes nothing and leaves nothing behind.
  EXPECT_THROW(RebuildTable(t, [](TableWork work, int64_t, int64_t) { return work != TableWork::Reading; }),
               TableWorkCancelled);
  EXPECT_EQ(CountRecords(t.FilePath()), sound.records);
  EXPECT_FALSE(fs::exists(t.FilePath() + ".rebuild"));
  EXPECT_EQ(ListBackups(t).size(), 1u);
}

TEST_F(MTSafeTest, WordsAnotherProgramStoresDuringARebuildAreKept) {
  MT other("other");  // a second Wendul learning into the same table
  SetUpWords(other, dir);
  other.SetIndexFieldNames("KEYWORD");
  ASSERT_TRUE(other.Op());
  t.Close();
  auto learn = [&](const SjisString& added, int changed, int deleted) {
    AddWord(other, added, 70000);
    ASSERT_TRUE(other.FindKey(W(changed)));
    other.Edit();
    other.SD("UPDATEDATE", 70001);
    other.Post();
    ASSERT_TRUE(other.FindKey(W(deleted)));
    other.Delete();
  };
  int reads = 0, installs = 0, refused = 0;
  const RebuildReport report = RebuildTable(t, [&](TableWork work, int64_t, int64_t) {
    if (work == TableWork::Reading && ++reads == 1) learn("whileread", 10, 20);
    if (work != TableWork::Installing) return true;
    // Just before the table's file is locked; from then on nothing commits.
    if (++installs == 1) {
      learn("beforelock", 11, 30);
    } else {
      try {
        other.ProbeWrite({FieldValue::Of("late"), FieldValue::OfDate(1), FieldValue::OfDate(1)});
      } catch (const std::exception& e) {
        refused += IsLockError(e);
      }
    }
    return true;
  });
  EXPECT_GT(installs, 1);
  EXPECT_EQ(refused, installs - 1);
  EXPECT_EQ(report.carried, 6);
  EXPECT_EQ(report.records, kWords);

  ASSERT_TRUE(t.Op());
  EXPECT_EQ(t.RecordCount(), kWords);
  for (const char* kept : {"whileread", "beforelock"}) EXPECT_TRUE(t.FindKey(kept)) << kept;
  for (int gone : {20, 30}) EXPECT_FALSE(t.FindKey(W(gone))) << gone;
  for (int changed : {10, 11}) {
    ASSERT_TRUE(t.FindKey(W(changed)));
    EXPECT_EQ(t.GD("UPDATEDATE"), 70001);
  }
  EXPECT_TRUE(TableIntegrityProblems(t).empty());
  // The other program goes on with the new file.
  AddWord(other, "after", 70002);
  t.Refresh();
  EXPECT_TRUE(t.FindKey("after"));
}

TEST_F(MTSafeTest, BackupsAreKeptFiveDeepAndARestoreCanBeUndone) {
  MT other("other");
  SetUpWords(other, dir);
  ASSERT_TRUE(other.Op());  // another view stays open throughout
  std::vector<std::string> made;
  for (int i = 0; i < kBackupsKept + 2; ++i) {
    made.push_back(BackupTable(t, i % 2 ? "import" : "deleteall"));
    t.EmptyT();
    AddWord(t, "only" + std::to_string(i), 1);
  }
  const std::vector<TableBackup> kept = ListBackups(t);
  ASSERT_EQ(kept.size(), static_cast<size_t>(kBackupsKept));
  EXPECT_EQ(kept.front().path, made.back());
  EXPECT_EQ(kept.back().path, made[2]);
  EXPECT_FALSE(fs::exists(made[0]));
  EXPECT_EQ(kept[0].reason, "deleteall");
  EXPECT_EQ(kept[1].reason, "import");
  EXPECT_EQ(kept[0].records, 1);
  EXPECT_EQ(kept[4].records, 1);
  EXPECT_GT(kept[0].made, kept[1].made);
  EXPECT_LT(Now() - kept[0].made, 1.0);

  // Back to the oldest kept: the one word stored after the second emptying.
  t.Close();
  RestoreTable(t, kept.back().path);
  ASSERT_TRUE(t.Op());
  EXPECT_EQ(Words(t), std::vector<SjisString>{"only1"});
  other.Refresh();
  EXPECT_EQ(Words(other), std::vector<SjisString>{"only1"});  // the other view reads the new content
  const std::vector<TableBackup> after = ListBackups(t);
  EXPECT_EQ(after.front().reason, "restore");
  EXPECT_EQ(after.front().records, 1);  // "only6", what the restore replaced

  // Not a table file of this layout: refused, nothing changes.
  const std::string stranger = dir.str() + "other.DB";
  {
    MT x("x");
    x.SetDatabaseName(dir.str());
    x.SetTableName("other.DB");
    x.AddFieldDef("NAME,A,8");
    ASSERT_TRUE(x.Op());
  }
  t.Close();
  EXPECT_THROW(RestoreTable(t, stranger), GeneralError);
  EXPECT_EQ(CountRecords(t.FilePath()), 1);
}

TEST_F(MTSafeTest, EditAndDeleteLeaveARecordWhoseIdWasGivenToAnotherWord) {
  MT mine("mine");
  SetUpWords(mine, dir);
  mine.SetIndexFieldNames("KEYWORD");
  ASSERT_TRUE(mine.Op());
  ASSERT_TRUE(mine.FindKey(W(1)));
  const Bookmark shown = mine.GetBookmark();
  // Elsewhere the table is emptied and filled anew: ids start again.
  t.EmptyT();
  AddWord(t, "reused", 2);
  ASSERT_TRUE(t.FindKey("reused"));
  ASSERT_EQ(t.GetBookmark(), shown);

  for (bool del : {true, false}) {
    try {
      if (del) mine.Delete();
      else mine.Edit();
      ADD_FAILURE() << "acted on another word";
    } catch (const std::exception& e) {
      EXPECT_TRUE(IsRecordChanged(e)) << e.what();
    }
    EXPECT_EQ(mine.State(), DataSetState::Browse);
  }
  EXPECT_EQ(Words(t), std::vector<SjisString>{"reused"});
  EXPECT_FALSE(mine.RecordUnchanged());
  // Read again, the record is what it holds now, and can be deleted.
  mine.Refresh();
  EXPECT_TRUE(mine.RecordUnchanged());
  EXPECT_EQ(mine.GS("KEYWORD"), "reused");
  mine.Delete();
  EXPECT_TRUE(Words(t).empty());

  // A filtered view whose record was renamed out of the filter moves on.
  AddWord(t, "apple", 1);
  AddWord(t, "apricot", 2);
  mine.SetFilter("KEYWORD='ap*'");
  mine.SetFiltered(true);
  ASSERT_TRUE(mine.FindKey("apple"));
  t.FindKey("apple");
  t.Edit();
  t.SS("KEYWORD", "banana");
  t.Post();
  mine.Refresh();
  EXPECT_EQ(mine.GS("KEYWORD"), "apricot");
}

TEST_F(MTSafeTest, TheProbeWritesWhereAWordGoesAndTakesItBack) {
  const std::vector<FieldValue> row{FieldValue::Of(W(7)), FieldValue::OfDate(70000), FieldValue::OfDate(70000)};
  t.ProbeWrite(row);
  t.ProbeWrite({FieldValue::Of("brand new"), FieldValue::OfDate(1), FieldValue::OfDate(1)});
  EXPECT_EQ(CountRecords(t.FilePath()), kWords);
  ASSERT_TRUE(t.FindKey(W(7)));
  EXPECT_EQ(t.GD("UPDATEDATE"), 40007);
  // Another connection holding the write lock: fails at once, then passes.
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(t.FilePath().c_str(), &other), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  try {
    t.ProbeWrite(row);
    ADD_FAILURE();
  } catch (const std::exception& e) {
    EXPECT_TRUE(IsLockError(e));
  }
  sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(other);
  t.ProbeWrite(row);
  EXPECT_TRUE(TableFileWritable(t));
}

}  // namespace
}  // namespace wendul::test
