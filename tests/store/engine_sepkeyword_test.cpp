// Cutting text into words and storing them in a word table.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "engine_fake_editor.h"
#include "mt_test_util.h"
#include "store/mt.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "support/test_support.h"

namespace wendul {
namespace {

using test::Sj;

void DeclareWordTable(MT& t, const std::string& folder) {
  t.SetDatabaseName(folder);
  t.SetTableName("KWD.DB");
  for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
    t.AddFieldDef(decl);
}

class SepKeywordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorLogBase(dir.str());
    DeclareWordTable(table, dir.str());
    table.SetIndexName("IDX_UPDATEDATE");
    table.Open();
    handle = MuWGYInitStr(kWordPattern, kWordPatternLimit);
    SetWordPatternHandle(handle);
  }
  void TearDown() override {
    SetSepKeywordProgress(nullptr);
    SetWordPatternHandle(0);
    MuWGYTerm(handle);
  }

  struct Rec {
    SjisString word;
    TDateTime updated, appended;
  };
  // Every stored word, most recently used first.
  std::vector<Rec> Stored() {
    std::vector<Rec> out;
    for (table.First(); !table.Eof(); table.Next())
      out.push_back({table.GS("KEYWORD"), table.GD("UPDATEDATE"), table.GD("APPENDDATE")});
    return out;
  }
  std::vector<SjisString> Words() {
    std::vector<SjisString> out;
    for (const Rec& r : Stored()) out.push_back(r.word);
    return out;
  }
  SjisString Sep(const std::string& utf8, bool takeLast) { return SepKeyword(table, Sj(utf8), takeLast, false); }

  test::TempDir dir;
  test::RecordingUi ui;
  MT table{"tbMuKwd"};
  int handle = 0;
};

using WordList = std::vector<SjisString>;

TEST_F(SepKeywordTest, FinishedWordsLongerThanTwoBytesAreStored) {
  EXPECT_EQ(Sep("東京タワーに行った", false), Sj("行"));
  EXPECT_EQ(Words(), WordList{Sj("東京タワー")});  // 行 has 2 bytes
  EXPECT_EQ(table.IndexName(), "IDX_UPDATEDATE");
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SepKeywordTest, TheWordStillBeingTypedIsStoredOnlyWhenAskedFor) {
  EXPECT_EQ(Sep("テスト", false), Sj("テスト"));
  EXPECT_TRUE(Words().empty());
  EXPECT_EQ(Sep("テスト", true), Sj("テスト"));
  EXPECT_EQ(Words(), WordList{Sj("テスト")});
  // The dummy joins a text ending in a word, even one that spells the dummy.
  EXPECT_EQ(Sep("ダミイストリング", false), Sj("ダミイストリング"));
  EXPECT_EQ(Words(), WordList{Sj("テスト")});
  EXPECT_EQ(Sep("ダミイストリングの", false), Sj("ダミイストリング"));
  EXPECT_EQ(Words().size(), 2u);
}

TEST_F(SepKeywordTest, ShortWordsAndWordlessTextStoreNothing) {
  EXPECT_EQ(Sep("ab", true), "ab");
  EXPECT_EQ(Sep("ab", false), "ab");
  EXPECT_TRUE(Words().empty());
  // Without a word the table's order is left alone.
  table.SetIndexFieldNames("KEYWORD");
  EXPECT_EQ(Sep("", true), "");
  EXPECT_EQ(Sep("ですね。、　", true), "");
  EXPECT_EQ(table.IndexFieldNames(), "KEYWORD");
  EXPECT_TRUE(Words().empty());
}

TEST_F(SepKeywordTest, AWordSeenAgainKeepsItsAppendDateAndMovesToTheTop) {
  Sep("東京タワーと東京駅。", false);
  std::vector<Rec> first = Stored();
  ASSERT_EQ(first.size(), 2u);
  for (const Rec& r : first) EXPECT_DOUBLE_EQ(r.updated, r.appended);
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  Sep("東京タワー。", false);
  std::vector<Rec> second = Stored();
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].word, Sj("東京タワー"));
  const Rec& old = first[0].word == Sj("東京タワー") ? first[0] : first[1];
  EXPECT_DOUBLE_EQ(second[0].appended, old.appended);
  EXPECT_GT(second[0].updated, old.updated);
}

TEST_F(SepKeywordTest, EveryOccurrenceIsCountedAndTouchedButStoredOnce) {
  std::vector<std::pair<SjisString, SjisString>> calls;
  SetSepKeywordProgress([&](const SjisString& counter, const SjisString& word) {
    calls.emplace_back(counter, word);
  });
  Sep("ABC、DEF、ABC、x", false);  // x: the unfinished last word
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0], std::make_pair(SjisString("   1/   3"), SjisString("ABC")));
  EXPECT_EQ(calls[2], std::make_pair(SjisString("   3/   3"), SjisString("ABC")));
  WordList words = Words();
  std::sort(words.begin(), words.end());
  EXPECT_EQ(words, (WordList{"ABC", "DEF"}));

  // Twelve words, short ones included: the callback sees all of them.
  calls.clear();
  Sep("w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11 w12", true);
  ASSERT_EQ(calls.size(), 12u);
  EXPECT_EQ(calls[2].first, "   3/  12");
  EXPECT_EQ(calls[11].first, "  12/  12");
  EXPECT_EQ(Words().size(), 5u);  // w10, w11, w12 are longer than 2 bytes
}

TEST_F(SepKeywordTest, TextTooLongForTheEngineIsRefused) {
  EXPECT_EQ(SepKeyword(table, std::string(16367, 'a') + "!", true, false), "");
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "Wendul");
  EXPECT_EQ(ui.messages[0].text, Sj("単語を切り出せる文章の長さがオーバーしました。16386バイトあります。\r\n"
                                    "最大16384バイトまでです。"));
  EXPECT_EQ(SepKeyword(table, std::string(16367, 'a'), true, false), "");
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_NE(ui.messages[1].text.find("16385"), std::string::npos);
  EXPECT_EQ(SepKeyword(table, std::string(16366, 'a'), true, false), std::string(16366, 'a'));
  EXPECT_EQ(ui.messages.size(), 2u);
  // Longer than KEYWORD: the table keeps it cut to 64 bytes, and finds it again so.
  EXPECT_EQ(Words(), WordList{std::string(64, 'a')});
  SepKeyword(table, std::string(100, 'a') + "!", true, false);
  EXPECT_EQ(Words(), WordList{std::string(64, 'a')});
  EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(SepKeywordTest, ATextCutInsideACharacterLosesOnlyThatByte) {
  EXPECT_EQ(SepKeyword(table, Sj("東京タワー") + "\x83", true, false), Sj("東京タワー"));
  EXPECT_EQ(Words(), WordList{Sj("東京タワー")});
  // Lead-range bytes that pair up are whole characters: ャャ stays, a third byte goes.
  EXPECT_EQ(SepKeyword(table, "\x83\x83\x83\x83", true, true), Sj("ャャ"));
  EXPECT_EQ(SepKeyword(table, "\x83\x83\x83\x83\x83", true, true), Sj("ャャ"));
}

TEST_F(SepKeywordTest, AWordLockedElsewhereIsReportedAndSkipped) {
  Sep("ABC。", false);
  MT other("other");
  DeclareWordTable(other, dir.str());
  other.Open();
  ASSERT_TRUE(other.FindKey(SjisString("ABC")));
  other.Edit();  // holds the file's write lock
  Sep("ABC、DEF、", false);
  EXPECT_EQ(ui.messages.size(), 2u);  // one per word, and no exception
  EXPECT_EQ(ui.messages[0].caption, ui.principalCaption);
  EXPECT_NE(table.State(), DataSetState::Edit);
  EXPECT_NE(table.State(), DataSetState::Insert);
  EXPECT_EQ(table.IndexName(), "IDX_UPDATEDATE");
  other.Cancel();
  // The failed words left no lock behind.
  other.Edit();
  other.Cancel();
  Sep("GHI。", false);  // the table works on afterwards
  EXPECT_EQ(Words(), (WordList{"GHI", "ABC"}));
}

TEST_F(SepKeywordTest, TheWordsOfOneCallReachTheFileTogether) {
  MT other("other");
  DeclareWordTable(other, dir.str());
  other.SetIndexFieldNames("KEYWORD");
  other.Open();
  struct Watch : MTListener {
    MT* other;
    std::vector<int64_t> seen;  // what the other connection counts at each post
    void TableEvent(MT& t, DataEvent e) override {
      if (e == DataEvent::StateChanged && t.State() == DataSetState::Browse) seen.push_back(other->RecordCount());
    }
  } watch;
  watch.other = &other;
  table.AddListener(&watch);
  Sep("ABC、DEF、GHI、", false);
  table.RemoveListener(&watch);
  EXPECT_EQ(watch.seen, (std::vector<int64_t>{0, 0, 0}));  // nothing committed word by word
  EXPECT_EQ(other.RecordCount(), 3);
  ASSERT_TRUE(other.FindKey(SjisString("DEF")));
  other.Edit();  // the lock was given back
  other.Cancel();
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SepKeywordTest, AnErrorLeavingTheLoopKeepsTheWordsStoredBeforeIt) {
  Sep("DEF。", false);
  // A listener that fails when the second word is found stands for any
  // error that leaves the loop halfway.
  struct Fail : MTListener {
    void TableEvent(MT& t, DataEvent e) override {
      if (e == DataEvent::RecordMoved && t.GS("KEYWORD") == "DEF") throw std::runtime_error("stop");
    }
  } fail;
  table.AddListener(&fail);
  EXPECT_THROW(Sep("ABC、DEF、GHI、", false), std::runtime_error);
  table.RemoveListener(&fail);
  EXPECT_EQ(table.BatchDepth(), 0);
  EXPECT_EQ(table.State(), DataSetState::Browse);
  EXPECT_EQ(table.IndexName(), "IDX_UPDATEDATE");
  MT other("other");
  DeclareWordTable(other, dir.str());
  other.SetIndexFieldNames("KEYWORD");
  other.Open();
  EXPECT_EQ(other.RecordCount(), 2);  // ABC and DEF; GHI never came
  ASSERT_TRUE(other.FindKey(SjisString("ABC")));
  other.Edit();  // no transaction was left open
  other.Cancel();
}

TEST_F(SepKeywordTest, AFailedPostIsReportedAndCancelled) {
  Sep("ABC。", false);
  // Hidden by a filter, ABC is not found and appended again: the post fails.
  table.SetFilter("KEYWORD='X*'");
  table.SetFiltered(true);
  // Logged at once, shown only once the batch has ended (a box inside it
  // would keep the file's write lock while it is up).
  struct Watch : test::RecordingUi {
    MT* table = nullptr;
    std::vector<int> batchDepth;
    void ShowMessage(const SjisString& caption, const SjisString& text) override {
      batchDepth.push_back(table->BatchDepth());
      RecordingUi::ShowMessage(caption, text);
    }
  } watch;
  watch.table = &table;
  Sep("ABC、XYZ、", false);
  ASSERT_EQ(watch.messages.size(), 1u);
  EXPECT_EQ(watch.messages[0].text.rfind("SepKeyword_01:", 0), 0u);
  EXPECT_EQ(watch.batchDepth, std::vector<int>{0});
  EXPECT_NE(test::ReadAll(ErrorLogPath()).find("Method_Name:SepKeyword.Post\r\nSelf.Name:tbMuKwd\r\n"),
            std::string::npos);
  EXPECT_EQ(table.State(), DataSetState::Browse);

  // Given a place for them, the failures are kept for the caller and not shown.
  SepKeywordFailures failures;
  SepKeyword(table, Sj("ABC、"), false, false, &failures);
  ASSERT_EQ(failures.texts.size(), 1u);
  EXPECT_EQ(failures.category, SQLITE_CONSTRAINT);
  EXPECT_EQ(watch.messages.size(), 1u);
  table.SetFiltered(false);
  EXPECT_EQ(Words().size(), 2u);  // XYZ was stored after the failure
}

TEST_F(SepKeywordTest, AClosedTableOrAMissingPatternRaise) {
  SetWordPatternHandle(0);
  EXPECT_THROW(Sep("ABC。", false), GeneralError);
  SetWordPatternHandle(handle);
  table.Close();
  EXPECT_ANY_THROW(Sep("ABC。", false));
  EXPECT_EQ(SepKeyword(table, Sj("ABC。"), false, true), "ABC");  // no register: no lookup
}

TEST_F(SepKeywordTest, LearningAtTheCaretStoresTheSentenceBeforeIt) {
  test::FakeEditor ed(Sj("前の文書。東京タワーに行"));
  EXPECT_EQ(SepKeywordAtCaret(table, ed, false, false), Sj("行"));
  EXPECT_EQ(Words(), WordList{Sj("東京タワー")});
  EXPECT_EQ(SepKeywordAtCaret(table, ed, true, true), Sj("行"));  // no register: nothing more
  EXPECT_EQ(Words().size(), 1u);
}

}  // namespace
}  // namespace wendul
