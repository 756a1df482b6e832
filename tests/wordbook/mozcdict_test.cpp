// The word table as a Mozc user dictionary: readings, the written file, and
// such a file read back into the table.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "store/mt_test_util.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "wordbook/mozcdict.h"
#include "wordbook/tabletext.h"
#include "wordbook/wordreading.h"

namespace wendul::test {
namespace {

TEST(WordReading, ReadsInHiraganaOrSaysWhyNot) {
  TWordReading reading;
  using K = TWordReading::Kind;
  struct Case {
    const char* word;
    K kind;
    const char* reading;
    bool proper;
  } cases[] = {
      {"東京駅", K::Read, "とうきょうえき", true},  // a proper noun with its suffix
      {"山田太郎", K::Read, "やまだたろう", true},
      {"新宿御苑前", K::Read, "しんじゅくぎょえんまえ", false},
      {"一ヶ月", K::Read, "いちかげつ", false},  // the dictionary's reading before the katakana's own
      {"コンピュータ", K::Read, "こんぴゅーた", false},
      {"ヴァイオリン", K::Read, "ゔぁいおりん", false},
      {"ｶﾞｯｺｳﾊﾟｰﾃｨｰ", K::Read, "がっこうぱーてぃー", false},  // half-width, marks joined
      {"ズンドコ節", K::Read, "ずんどこぶし", false},  // an unknown katakana part reads as itself
      {"第3回", K::Read, "だい3かい", false},  // digits as themselves
      {"（株）", K::Read, "(かぶ)", false},    // full-width signs folded as Mozc folds them
      {"Ｗｅｎｄｕｌ用", K::Read, "Wendulよう", false},
      {"Wendul", K::LatinDigits, "Wendul", false},
      {"ＡＢＣ１２３", K::LatinDigits, "ABC123", false},
      {"C++", K::LatinDigits, "C++", false},
      {"彁", K::Unreadable, "", false},       // a kanji the dictionary does not know
      {"東京彁", K::Unreadable, "", false},   // not whole
      {"ヽ", K::Unreadable, "", false},       // no hiragana Mozc takes in a reading
      {"", K::Unreadable, "", false},
      {"\xff", K::Unreadable, "", false},     // not UTF-8
  };
  for (const Case& c : cases) {
    const TWordReading::Result r = reading.Read(c.word);
    EXPECT_EQ(r.kind, c.kind) << c.word;
    EXPECT_EQ(r.reading, c.reading) << c.word;
    EXPECT_EQ(r.proper, c.proper) << c.word;
  }
  try {
    TWordReading missing("/nonexistent/ipadic");
    ADD_FAILURE() << "opened a missing dictionary";
  } catch (const GeneralError& e) {
    EXPECT_NE(SjisToUtf8(e.what()).find("MeCab"), std::string::npos);
  }
}

class MozcDictTest : public WordTableTest {
 protected:
  void Add(const char* utf8, TDateTime appended) { AddWord(t, Sj(utf8), appended); }
  // word (UTF-8) -> its two dates as numbers
  std::map<std::string, std::pair<double, double>> Rows() {
    t.Refresh();
    std::map<std::string, std::pair<double, double>> rows;
    for (t.First(); !t.Eof(); t.Next())
      rows[SjisToUtf8(t.GS("KEYWORD"))] = {t.GD("UPDATEDATE"), t.GD("APPENDDATE")};
    return rows;
  }
  std::string File(const char* name) { return dir.str() + name; }
  int Import(const std::string& file, const std::function<void(const SjisString&)>& progress = {}) {
    TmuText text;
    text.Format = TextFormat::MozcDictionary;
    text.DatabaseName = t.DatabaseName();
    text.IsSkipTableCheck = true;
    const int errors = text.TextImport(file, "KWD.DB", false, false, progress);
    posted = text.RowsPosted();
    duplicates = text.Duplicates();
    return errors;
  }
  std::string ImportError(const std::string& file) {
    try {
      Import(file);
    } catch (const GeneralError& e) {
      return SjisToUtf8(e.what());
    }
    return "(no error)";
  }

  int64_t posted = 0, duplicates = 0;
};

TEST_F(MozcDictTest, ExportWritesMozcsFormatSortedByReading) {
  const TDateTime old = EncodeDate(2020, 1, 1), recent = EncodeDate(2024, 5, 3);
  Add("東京駅", recent);
  Add("コンピュータ", old);
  Add("第3回", recent);
  Add("Wendul", recent);
  Add("彁", recent);
  Add("山田太郎", old);
  TWordReading reading;
  const std::string file = File("mozc.txt");

  // written, unreadable, Latin and digits alone, registered before the date
  auto counts = [](const MozcExportCounts& n) { return std::array<int64_t, 4>{n.written, n.unreadable, n.latinDigits, n.older}; };
  MozcExportCounts n = MozcDictExport(t, file, {}, reading);
  EXPECT_EQ(ReadAll(file),
            "こんぴゅーた\tコンピュータ\t名詞\tWendul\n"
            "だい3かい\t第3回\t名詞\tWendul\n"
            "とうきょうえき\t東京駅\t固有名詞\tWendul\n"
            "やまだたろう\t山田太郎\t固有名詞\tWendul\n");
  EXPECT_EQ(counts(n), (std::array<int64_t, 4>{4, 1, 1, 0}));

  // Since a date, Latin words asked for.
  n = MozcDictExport(t, file, {true, recent, true}, reading);
  EXPECT_EQ(ReadAll(file),
            "Wendul\tWendul\t名詞\tWendul\n"
            "だい3かい\t第3回\t名詞\tWendul\n"
            "とうきょうえき\t東京駅\t固有名詞\tWendul\n");
  EXPECT_EQ(counts(n), (std::array<int64_t, 4>{3, 1, 0, 2}));

  // Cancelled or failed: whatever was there stays.
  for (int i = 0; i < 5000; ++i) Add(("語" + std::to_string(i)).c_str(), recent);
  EXPECT_THROW(MozcDictExport(t, file, {}, reading, [](int64_t, int64_t) { return false; }), TextExchangeCancelled);
  EXPECT_EQ(n.written, 3);
  EXPECT_EQ(ReadAll(file).substr(0, 6), "Wendul");
  EXPECT_THROW(MozcDictExport(t, "/proc/wendul-mozc.txt", {}, reading), GeneralError);
}

TEST_F(MozcDictTest, ImportAddsTheWordsAllOrNothing) {
  const TDateTime old = EncodeDate(2010, 1, 1);
  Add("東京駅", old);
  const std::string file = File("user_dictionary.txt");
  // Mozc's own export: LF, a comment, a known word, one that suppresses a
  // word, a CR LF line; a byte order mark before it all.
  WriteAll(file,
           "\xEF\xBB\xBF# exported\n"
           "とうきょうえき\t東京駅\t固有名詞\tWendul\n"
           "うぇんどぅる\tWendul\t名詞\t\n"
           "ぐぐる\tググる\t抑制単語\t\n"
           "やまだ\t山田\t姓\r\n"
           "\n"
           "かっこ\t（株）\t名詞\n");
  const TDateTime before = Now();
  EXPECT_EQ(Import(file), 0);
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows["東京駅"], std::make_pair(old, old));  // known: its dates kept
  EXPECT_GE(rows["Wendul"].second, before - 1.0 / 86400);
  EXPECT_EQ(rows["Wendul"].first, rows["Wendul"].second);
  EXPECT_TRUE(rows.count("山田") && rows.count("（株）"));
  EXPECT_EQ(posted, 3);
  EXPECT_EQ(duplicates, 1);

  // Any faulty line leaves the table as it was, with the table import's texts.
  const auto kept = Rows();
  const std::string shown = file;
  const std::string long65 = std::string(63, 'x') + "字";
  struct Case {
    std::string bytes;
    std::string error;
  } cases[] = {
      {"a\tA\t名詞\nno tab here\n",
       "Mozc の辞書の行ではありません（読み、タブ、単語の順に書きます） " + shown + " 000003: 'KWD.DB' :(###)"},
      {"# c\nよし\t𠮷野家\t固有名詞\n", "NOT SJIS CODE\r\n" + shown + " 000003: 'KEYWORD' :(?野家)"},
      {"a\t\xff\xfe\t名詞\n", "NOT UTF-8 CODE\r\n" + shown + " 000002: 'KEYWORD' :(?" "?)"},
      {"a\t\t名詞\n", "単語が空です " + shown + " 000002: 'KWD.DB' :(###)"},
      {"a\tA\x01B\t名詞\n", "改行や制御文字を含む文字列は単語にできません。 " + shown + " 000002: 'KWD.DB' :(###)"},
      {"x\t" + long65 + "\t名詞\n",
       "FIELD LENGTH OVER: フィールド名:KEYWORD 64 < 65  " + long65 + " " + shown + " 000002: 'KWD.DB' :(" + long65 + ")"},
  };
  for (const Case& c : cases) {
    WriteAll(file, "ok\tOK\t名詞\n" + c.bytes);  // a good first line
    EXPECT_EQ(ImportError(file), c.error) << c.bytes;
    EXPECT_EQ(Rows(), kept);
  }

  // The round trip: what was exported comes back.
  TWordReading reading;
  MozcDictExport(t, File("again.txt"), {false, 0, true}, reading);
  t.EmptyT();
  EXPECT_EQ(Import(File("again.txt")), 0);
  EXPECT_EQ(posted, 4);
}

}  // namespace
}  // namespace wendul::test
