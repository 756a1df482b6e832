// Background checkpoints: a table's commits never copy the log into the file
// nor start the log over (the keeper's thread does both, when asked), and a
// process killed while writing loses none of what it committed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "mt_test_util.h"

namespace wendul::test {

std::string IntegrityCheck(const std::string& file);  // mt_crash_test.cpp

namespace {

// Touches `count` words (appends the new, re-dates the known) in one batch,
// as a keystroke's learning does.
void Keystroke(MT& t, int first, int count, TDateTime when) {
  MTBatch batch(t);
  for (int i = first; i < first + count; ++i) {
    const SjisString word = "w" + std::to_string(i % 3000);
    if (t.FindKey(word)) {
      t.Edit();
    } else {
      t.Append();
      t.SS("KEYWORD", word);
      t.SD("APPENDDATE", when);
    }
    t.SD("UPDATEDATE", when + i * 1e-6);
    t.Post();
  }
  batch.End();
}

TEST(MTLogKeeper, CommitsLeaveTheCopyAndTheLogsStartOverToTheKeeper) {
  TempDir dir;
  MT t, other;
  SetUpWords(t, dir);
  SetUpWords(other, dir);
  t.SetBackgroundCheckpoints(true);
  other.SetBackgroundCheckpoints(true);
  ASSERT_TRUE(t.Op());
  ASSERT_TRUE(other.Op());
  t.SetIndexFieldNames("KEYWORD");
  const std::string file = t.FilePath();
  const std::string before = ReadAll(file);
  // More log than the engine's own copy waits for (4,000 pages), less than
  // makes the keeper copy without being asked.
  auto logPages = [&] { return (std::filesystem::file_size(file + "-wal") - 32) / (4096 + 24); };
  int k = 0;
  for (; k < 3000 && (k < 150 || logPages() < 4500); ++k) Keystroke(t, k * 7, 20, 45000 + k);
  ASSERT_GT(logPages(), 4500u);
  EXPECT_EQ(ReadAll(file), before) << "a commit copied the log into the file";

  // At a pause the keeper copies the log and starts it over: the next commit
  // only appends (the log's salt, which a start-over changes, stays).
  t.CheckpointSoon();
  t.WaitForBackgroundCheckpoint();
  EXPECT_NE(ReadAll(file), before);
  const std::string salt = ReadAll(file + "-wal").substr(16, 8);
  Keystroke(t, 1, 20, 46000);
  EXPECT_EQ(ReadAll(file + "-wal").substr(16, 8), salt) << "a commit started the log over";

  EXPECT_EQ(Words(other).size(), std::min<size_t>(3000, static_cast<size_t>((k - 1) * 7 + 20)));
  t.Close();
  other.Close();
  EXPECT_EQ(IntegrityCheck(file), "ok");
}

TEST(MTLogKeeper, AProcessKilledAfterItsCommitsKeepsThem) {
  TempDir dir;
  {
    MT t;
    SetUpWords(t, dir);
    ASSERT_TRUE(t.Op());
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    MT t;
    SetUpWords(t, dir);
    t.SetBackgroundCheckpoints(true);
    if (!t.Op()) _exit(2);
    t.SetIndexFieldNames("KEYWORD");
    for (int k = 0; k < 600; ++k) {
      Keystroke(t, k * 5, 10, 45000 + k);
      if (k % 50 == 0) t.CheckpointSoon();  // copies running while it writes
    }
    _exit(0);  // never closes: the log keeps what the file lacks
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  MT t;
  SetUpWords(t, dir);
  ASSERT_TRUE(t.Op());
  EXPECT_EQ(Words(t).size(), 3000u);
  t.Close();
  EXPECT_EQ(IntegrityCheck(dir.str() + "TABLE/KWD.DB"), "ok");
}

}  // namespace
}  // namespace wendul::test
