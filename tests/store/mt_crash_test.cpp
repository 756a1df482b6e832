// A learning process killed at any moment leaves a sound word table.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "mt_test_util.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "util/datetime.h"

namespace wendul::test {
namespace {

// Runs in the child: learns sentences until it is killed.
[[noreturn]] void LearnForever(const TempDir& dir) {
  MT t("tbMuKwd");
  SetUpWords(t, dir);
  t.SetIndexName("IDX_UPDATEDATE");
  if (!t.Op()) _exit(2);
  SetWordPatternHandle(MuWGYInitStr(kWordPattern, kWordPatternLimit));
  std::mt19937 rng(static_cast<unsigned>(getpid()));
  std::uniform_int_distribution<int> kata(0x40, 0x96);
  for (;;) {
    SjisString text;
    for (int w = 0; w < 15; ++w) {
      for (int c = 0; c < 3; ++c) {
        int b = kata(rng);
        if (b == 0x7F) b = 0x80;
        text += '\x83';
        text += static_cast<char>(b);
      }
      text += "\x82\xcc";  // の
    }
    SepKeyword(t, text, true, false);
  }
}

}  // namespace

std::string IntegrityCheck(const std::string& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return "cannot open";
  std::string result;
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr);
  while (sqlite3_step(st) == SQLITE_ROW) result += reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  sqlite3_finalize(st);
  sqlite3_close(db);
  return result;
}

namespace {

TEST(MTCrash, KilledWhileLearningLeavesAConsistentTable) {
  TempDir dir;
  {
    MT t;
    SetUpWords(t, dir);
    ASSERT_TRUE(t.Op());
  }
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> delay(20, 120);
  for (int round = 0; round < 6; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) LearnForever(dir);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(rng)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the learner stopped by itself";
    ASSERT_EQ(IntegrityCheck(dir.str() + "TABLE/KWD.DB"), "ok") << "round " << round;
  }
  // And the table still works: every stored word can be found again by key.
  MT t;
  SetUpWords(t, dir);
  ASSERT_TRUE(t.Op());
  const auto words = Words(t);
  EXPECT_FALSE(words.empty());
  t.SetIndexFieldNames("KEYWORD");
  for (size_t i = 0; i < words.size(); i += 97) EXPECT_TRUE(t.FindKey(words[i]));
}

}  // namespace
}  // namespace wendul::test
