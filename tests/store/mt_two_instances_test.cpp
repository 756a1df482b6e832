// Two programs learning into one word table at the same moment: each keeps
// every word it learned, neither meets an error (which the editor would show
// as a box and a learning pause), and the file stays sound.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "mt_test_util.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "util/strutil.h"

namespace wendul::test {

std::string IntegrityCheck(const std::string& file);  // mt_crash_test.cpp

namespace {

constexpr int kKeystrokes = 300;

// A word of the learner's own, and one both learners type.
SjisString OwnWord(char who, int i) { return std::string(1, who) + "word" + std::to_string(i); }
const SjisString kShared = "\x93\x8c\x8b\x9e\x83\x5e\x83\x8f\x81\x5b";  // 東京タワー
const SjisString kNo = "\x82\xcc";                                  // の

// Runs in a child: waits for the start, then "types" kKeystrokes sentences.
// The exit status is the number of learning calls that met a failure.
[[noreturn]] void Learner(const TempDir& dir, char who, int startFd) {
  char go;
  if (read(startFd, &go, 1) < 0) _exit(100);
  SetErrorLogBase(dir.str());
  MT t("tbMuKwd");
  SetUpWords(t, dir);
  t.SetIndexName("IDX_UPDATEDATE");
  if (!t.Op()) _exit(101);
  SetWordPatternHandle(MuWGYInitStr(kWordPattern, kWordPatternLimit));
  int failed = 0;
  for (int i = 0; i < kKeystrokes; ++i) {
    SepKeywordFailures failures;
    try {
      SepKeyword(t, OwnWord(who, i) + kNo + kShared + kNo + OwnWord(who, i + 1) + kNo, false, false, &failures);
    } catch (const std::exception&) {
      ++failed;
    }
    if (failures.Any()) ++failed;
    usleep(1000);  // a thousand keys a second, far beyond any typist
  }
  _exit(failed > 99 ? 99 : failed);
}

TEST(MTTwoInstances, TwoLearnersAtOnceLoseNoWordAndMeetNoError) {
  TempDir dir;
  {
    MT t;
    SetUpWords(t, dir);
    ASSERT_TRUE(t.Op());
  }
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t kids[2];
  for (int k = 0; k < 2; ++k) {
    kids[k] = fork();
    ASSERT_GE(kids[k], 0);
    if (kids[k] == 0) {
      close(start[1]);
      Learner(dir, k ? 'B' : 'A', start[0]);
    }
  }
  close(start[0]);
  close(start[1]);  // both start now
  for (pid_t kid : kids) {
    int status = 0;
    ASSERT_EQ(waitpid(kid, &status, 0), kid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "learning calls that met a failure";
  }
  EXPECT_EQ(IntegrityCheck(dir.str() + "TABLE/KWD.DB"), "ok");
  MT t;
  SetUpWords(t, dir);
  ASSERT_TRUE(t.Op());
  const auto stored = Words(t);
  const std::set<SjisString> words(stored.begin(), stored.end());
  EXPECT_EQ(words.size(), stored.size());
  EXPECT_EQ(words.size(), 2u * (kKeystrokes + 1) + 1);
  for (char who : {'A', 'B'})
    for (int i = 0; i <= kKeystrokes; ++i) EXPECT_TRUE(words.count(OwnWord(who, i))) << who << i;
  EXPECT_TRUE(words.count(kShared));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "TABLE" / "ERROR_LOG.TXT")) << ReadAll(dir.str() + "TABLE/ERROR_LOG.TXT");
}

}  // namespace
}  // namespace wendul::test
