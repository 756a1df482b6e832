// Table text: the written format, the round trip, and what bad files do.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "store/mt.h"
#include "support/test_support.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "wordbook/tabletext.h"

namespace wendul::test {
namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, 0));
}

class TableTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetErrorLogBase(dir.str());
    Declare(t);
    t.SetIndexFieldNames("KEYWORD");
    t.Open();
  }
  void Declare(MT& table, const std::string& file = "KWD.DB") {
    table.SetDatabaseName(dir.str() + "TABLE/");
    table.SetTableName(file);
    for (const char* decl : {"KEYWORD,A,64", "UPDATEDATE,@", "APPENDDATE,@", "KEYWORD,P", "UPDATEDATE,i"})
      table.AddFieldDef(decl);
  }
  void Add(MT& table, const SjisString& word, TDateTime updated, TDateTime appended) {
    table.Append();
    table.SS("KEYWORD", word);
    table.SD("UPDATEDATE", updated);
    table.SD("APPENDDATE", appended);
    table.Post();
  }
  // Every word with its two dates to the second ("" when empty), in keyword order.
  std::map<SjisString, std::pair<SjisString, SjisString>> Rows(MT& table) {
    table.Refresh();
    auto date = [&](const char* field) { return table.GS(field).empty() ? "" : DateTimeStr(table.GD(field)); };
    std::map<SjisString, std::pair<SjisString, SjisString>> rows;
    for (table.First(); !table.Eof(); table.Next()) rows[table.GS("KEYWORD")] = {date("UPDATEDATE"), date("APPENDDATE")};
    return rows;
  }
  std::string File(const char* name) { return dir.str() + name; }
  int Import(const std::string& file, bool emptyFirst = true,
             const std::function<void(const SjisString&)>& progress = {}, bool skipHeader = false) {
    TmuText text;
    text.DatabaseName = t.DatabaseName();
    text.IsSkipTableCheck = true;
    return text.TextImport(file, "KWD.DB", emptyFirst, skipHeader, progress);
  }
  // The error that ends an import without a callback.
  std::string ImportError(const std::string& file) {
    try {
      Import(file);
    } catch (const GeneralError& e) {
      return e.what();
    }
    return "(no error)";
  }

  TempDir dir;
  RecordingUi ui;
  MT t{"tbMuKwd"};
};

TEST_F(TableTextTest, ExportWritesTheFormatByteForByte) {
  Add(t, Sj("東京,駅"), At(2001, 5, 3, 10, 20, 30), At(2001, 5, 3));
  Add(t, "abc", At(1999, 12, 31, 23, 59, 59), 0);
  TextExport(t, File("words.txt"), false, true);
  EXPECT_EQ(ReadAll(File("words.txt")),
            "\"abc\",\"1999/12/31 23:59:59\",\"\",\r\n" + ("\"" + Sj("東京,駅") + "\"") +
                ",\"2001/05/03 10:20:30\",\"2001/05/03\",\r\n");
  TextExport(t, File("bare.txt"), true, false);
  EXPECT_EQ(ReadAll(File("bare.txt")), "KEYWORD,UPDATEDATE,APPENDDATE,\r\nabc,1999/12/31 23:59:59,,\r\n" +
                                           Sj("東京,駅") + ",2001/05/03 10:20:30,2001/05/03,\r\n");

  // Numbers with two decimals, memo text between its markers, a blank memo as nothing.
  MT other("other");
  other.SetDatabaseName(dir.str());
  other.SetTableName("OTHER.DB");
  for (const char* decl : {"NAME,A,8", "N,N", "NOTE,M", "NAME,P"}) other.AddFieldDef(decl);
  other.Open();
  for (auto [name, n, note] : {std::tuple{"a", 1.005, " "}, std::tuple{"b", -2.5, "x,y"}}) {
    other.Append();
    other.SS("NAME", name);
    other.SetField("N", FieldValue::OfNumber(n));
    other.SS("NOTE", note);
    other.Post();
  }
  TextExport(other, File("other.txt"), false, false);
  EXPECT_EQ(ReadAll(File("other.txt")), "a,1.00,,\r\nb,-2.50,{muMemoStart}x,y{muMemoEnd},\r\n");

  // Dates as the general conversion writes them: to the second, midnight
  // without its time, also before 1899 and a hair before midnight.
  EXPECT_EQ(TableTextDate(At(2020, 1, 2, 3, 4, 5)), "2020/01/02 03:04:05");
  EXPECT_EQ(TableTextDate(At(2020, 1, 2)), "2020/01/02");
  uint64_t seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
    double v = static_cast<double>(seed >> 11) / 9007199254740992.0 * 3000000.0 - 700000.0;
    if (i % 3 == 0) v = std::trunc(v);
    if (i % 7 == 0) v = std::trunc(v) + (i % 2 ? 0.9999999999 : 0.5 / 86400000.0);
    const DateParts p = DecodeDateTime(v);
    EXPECT_EQ(TableTextDate(v), p.hour || p.minute || p.second || p.msec ? DateTimeStr(v) : DateStr(v)) << v;
  }
}

TEST_F(TableTextTest, RoundTripRestoresEveryWordAndBothDates) {
  t.BeginBatch();
  for (int i = 0; i < 300; ++i) {
    SjisString w = Sj("単語") + std::to_string(i);
    if (i % 7 == 0) w += ",";  // a comma inside a word is kept: the value is quoted
    if (i % 11 == 0) w = Sj("ｶﾀｶﾅ ") + w;
    // Fractions of a second are not written; midnight has no time.
    Add(t, w, At(2000 + i % 20, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 60) + 0.4 / 86400,
        i % 5 == 0 ? At(1990, 2, 3) : At(1995, 6, 7, 8, 9, 10));
  }
  t.EndBatch();
  const auto before = Rows(t);
  t.SetIndexName("IDX_UPDATEDATE");  // the latest-first order, as the word book exports
  TextExport(t, File("words.txt"), false, true);

  MT copy("copy");
  Declare(copy, "COPY.DB");
  copy.Open();
  Add(copy, "gone", 1, 1);  // replaced by the import
  TmuText text;
  text.DatabaseName = copy.DatabaseName();
  EXPECT_EQ(text.TextImport(File("words.txt"), "COPY.DB", true, false), 0);
  EXPECT_EQ(text.LinesRead(), 300);
  EXPECT_EQ(text.RowsPosted(), 300);
  EXPECT_EQ(Rows(copy), before);

  // The reader takes a header, bare values, no last ",", LF alone, blank lines
  // and blanks before a line; more values than fields are ignored, fewer leave fields empty.
  WriteAll(File("loose.txt"), "KEYWORD,UPDATEDATE,APPENDDATE,\r\n  bare,2001/02/03 04:05:06,2001/02/03\n\n\r\n"
                              "\"q\",\"2002/01/01\",\"2003/01/01\",extra,more\r\nshort\r\n");
  EXPECT_EQ(Import(File("loose.txt"), true, {}, true), 0);
  const auto rows = Rows(t);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows.at("bare"), std::make_pair(SjisString("2001/02/03 04:05:06"), SjisString("2001/02/03 00:00:00")));
  EXPECT_EQ(rows.at("q"), std::make_pair(SjisString("2002/01/01 00:00:00"), SjisString("2003/01/01 00:00:00")));
  EXPECT_EQ(rows.at("short"), std::make_pair(SjisString(), SjisString()));
}

TEST_F(TableTextTest, WithoutCallbackTheFirstFaultEndsTheImportAndTheTableIsAsBefore) {
  Add(t, Sj("大切な単語"), At(2010, 1, 1), At(2010, 1, 1));
  const auto before = Rows(t);
  const std::string file = File("bad.txt");
  const std::string shown = file;  // ASCII path: shown as it is

  // A 65-byte word for the 64-byte field: the error is shown, then the line's context ends the import.
  const SjisString long65 = std::string(63, 'x') + Sj("字");
  WriteAll(file, "\"good\",\"2001/01/01\",\"2001/01/01\",\r\n\"" + long65 + "\",\"2001/01/01\",\"2001/01/01\",\r\n");
  const SjisString over = Sj("FIELD LENGTH OVER: フィールド名:") + "KEYWORD 64 < 65  " + long65;
  EXPECT_EQ(ImportError(file), over + " " + shown + " 000002: 'KWD.DB' :(" + long65 + ")");
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().text, over);
  EXPECT_EQ(Rows(t), before);  // neither emptied nor "good" kept

  struct Case {
    std::string bytes;
    SjisString error;
  };
  const SjisString unbalanced = "\"" + Sj("の数が合いません");
  const Case cases[] = {
      // An unclosed quote.
      {"\"good\",\"2001/01/01\",\r\n\"open,2001/01/01,\r\n", unbalanced + " " + shown + " 000002: 'KWD.DB' :(###)"},
      // A NUL byte inside a word.
      {"ok,,\r\nwo" + std::string(1, '\0') + "rd,2001/01/01,\r\n",
       "NOT SJIS CODE\r\n" + shown + " 000002: 'KEYWORD' :(wo<NUL>rd)"},
      // UTF-8 with its byte order mark.
      {"\xEF\xBB\xBF\"\xE6\x9D\xB1\xE4\xBA\xAC\",\"2001/01/01\",\r\n",
       "NOT SJIS CODE\r\n" + shown + " 000001: 'KEYWORD' :(\xEF\xBB\xBF\"\xE6\x9D\xB1\xE4\xBA\xAC\")"},
      // A date that is none.
      {"w,2001/13/01,\r\n", "'2001/13/01' is not Date (Convert Error from MuStrToDateTime)  " + shown +
                                " 000001: 'KWD.DB' :(2001/13/01)"},
  };
  for (const Case& c : cases) {
    WriteAll(file, c.bytes);
    EXPECT_EQ(ImportError(file), c.error);
    EXPECT_EQ(Rows(t), before);
  }
}

TEST_F(TableTextTest, WithCallbackEveryErrorIsReportedAndTheRestIsRead) {
  Add(t, "old", 1, 1);
  const std::string file = File("mixed.txt");
  WriteAll(file,
           "a,2001/01/01,\r\n"
           "a,2002/02/02,\r\n"            // duplicate: dropped, the first kept
           "b,notadate,\r\n"              // conversion error: the line is dropped
           "\x82\xA0\x85\x40,2001/01/01,\r\n"  // not Shift-JIS: reported, stored all the same
           "c,2003/03/03,2004/04/04\r\n");
  std::vector<SjisString> heard;
  const int errors = Import(file, false, [&](const SjisString& s) { heard.push_back(s); });
  EXPECT_EQ(errors, 2);
  ASSERT_EQ(heard.size(), 3u);
  EXPECT_EQ(heard[0], "Dupkey: " + file + ": 2");
  EXPECT_EQ(heard[1], "'notadate' is not Date (Convert Error from MuStrToDateTime)  " + file +
                          " 000003: 'KWD.DB' :(notadate)");
  EXPECT_EQ(heard[2], "NOT SJIS CODE\r\n" + file + " 000004: 'KEYWORD' :(\x82\xA0\x85\x40)");
  const auto rows = Rows(t);
  EXPECT_EQ(rows.size(), 4u);  // old (not emptied), a, the odd bytes, c
  EXPECT_EQ(rows.at("a").first, "2001/01/01 00:00:00");
  EXPECT_EQ(rows.at("c").second, "2004/04/04 00:00:00");
  EXPECT_EQ(rows.count("b"), 0u);

  // A word already in a table that is not emptied is a duplicate too.
  WriteAll(file, "old,2009/09/09,\r\n");
  heard.clear();
  EXPECT_EQ(Import(file, false, [&](const SjisString& s) { heard.push_back(s); }), 0);
  EXPECT_EQ(heard, std::vector<SjisString>{"Dupkey: " + file + ": 1"});
  EXPECT_EQ(Rows(t).at("old").first, "1899/12/31 00:00:00");
}

TEST_F(TableTextTest, EmptyMissingAndDuplicateFiles) {
  Add(t, "old", 1, 1);
  WriteAll(File("empty.txt"), "");
  WriteAll(File("blank.txt"), "  \r\n\t\r\n");
  EXPECT_EQ(Import(File("empty.txt"), false), 0);
  EXPECT_EQ(Rows(t).size(), 1u);
  EXPECT_EQ(Import(File("blank.txt"), true), 0);  // the import replaces the table: now empty
  EXPECT_TRUE(Rows(t).empty());

  EXPECT_EQ(ImportError(File("none.txt")), File("none.txt") + Sj(" が存在しません"));
  TmuText text;
  text.DatabaseName = dir.str() + "TABLE/";
  try {
    text.TextImport(File("empty.txt"), "NONE.DB", true, false);
    ADD_FAILURE();
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()), Sj("NONE.DB が存在しません"));
  }

  // A million copies of one line: one word, no error.
  std::string lines;
  for (int i = 0; i < 1000000; ++i) lines += "\"dup\",\"2001/01/01 01:01:01\",\"2001/01/01\",\r\n";
  WriteAll(File("dups.txt"), lines);
  TmuText big;
  big.DatabaseName = t.DatabaseName();
  int64_t calls = 0;
  big.OnCount = [&](int64_t, int64_t) { return ++calls > 0; };
  EXPECT_EQ(big.TextImport(File("dups.txt"), "KWD.DB", true, false), 0);
  EXPECT_EQ(big.LinesRead(), 1000000);
  EXPECT_EQ(big.RowsPosted(), 1);
  EXPECT_GT(calls, 200);
  EXPECT_EQ(Rows(t).size(), 1u);
}

TEST_F(TableTextTest, CancelOrFailureChangesNeitherTableNorFile) {
  t.BeginBatch();
  for (int i = 0; i < 5000; ++i) Add(t, "w" + std::to_string(i), 40000 + i, 40000);
  t.EndBatch();
  TextExport(t, File("all.txt"), false, true);
  const std::string written = ReadAll(File("all.txt"));
  WriteAll(File("keep.txt"), "before");
  const auto before = Rows(t);

  // An export cancelled at its first count: the old file stays, no stray file.
  EXPECT_THROW(TextExport(t, File("keep.txt"), false, true, [](int64_t, int64_t) { return false; }),
               TextExchangeCancelled);
  EXPECT_EQ(ReadAll(File("keep.txt")), "before");
  EXPECT_THROW(TextExport(t, File("new.txt"), false, true, [](int64_t, int64_t) { return false; }),
               TextExchangeCancelled);
  EXPECT_FALSE(std::filesystem::exists(File("new.txt")));
  size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 2u);  // all.txt, keep.txt

  // An import cancelled halfway: the table as it was, though it was to be emptied.
  TmuText text;
  text.DatabaseName = t.DatabaseName();
  text.OnCount = [](int64_t lines, int64_t bytes) {
    EXPECT_EQ(lines, 4096);
    EXPECT_GT(bytes, 0);
    return false;
  };
  WriteAll(File("other.txt"), [] {
    std::string s;
    for (int i = 0; i < 5000; ++i) s += "x" + std::to_string(i) + ",2001/01/01,\r\n";
    return s;
  }());
  EXPECT_THROW(text.TextImport(File("other.txt"), "KWD.DB", true, false), TextExchangeCancelled);
  EXPECT_EQ(Rows(t), before);

  // A folder that takes no file: a Japanese message, nothing written.
  const std::string locked = dir.str() + "locked/";
  std::filesystem::create_directory(locked);
  chmod(locked.c_str(), 0500);
  if (geteuid() != 0) {
    try {
      TextExport(t, locked + "x.txt", false, true);
      ADD_FAILURE();
    } catch (const GeneralError& e) {
      EXPECT_EQ(std::string(e.what()).find(locked + "x.txt" + Sj(" に書き込めません")), 0u);
    }
  }
  chmod(locked.c_str(), 0700);
  EXPECT_EQ(ReadAll(File("all.txt")), written);
}

}  // namespace
}  // namespace wendul::test

namespace wendul::test {
namespace {

TEST_F(TableTextTest, EveryWordReadsBackAndOldFilesReadAsBefore) {
  // Words a table may hold from before: quotes, commas, a line break, a tab.
  const std::vector<SjisString> odd = {Sj("i\""), "\"", Sj("\"引用\""), "a\"\"b", Sj("東京\r\n大阪"), "x\ty,",
                                       Sj("行末\n"), Sj("行末\r")};
  for (size_t i = 0; i < odd.size(); ++i) Add(t, odd[i], At(2001, 1, 1 + static_cast<int>(i)), At(2000, 1, 1));
  Add(t, Sj("普通"), At(2002, 2, 2, 2, 2, 2), At(2000, 1, 1));
  const auto before = Rows(t);
  TextExport(t, File("odd.txt"), false, true);
  EXPECT_NE(ReadAll(File("odd.txt")).find("\"i\"\"\","), std::string::npos);  // a quote doubled
  EXPECT_EQ(Import(File("odd.txt")), 0);
  EXPECT_EQ(Rows(t), before);

  // A file as exports wrote it before quotes were doubled imports as it did.
  WriteAll(File("old.txt"), Sj("\"東京駅\",\"2024/05/03 10:20:30\",\"2020/01/01\",\r\n\"a,b\",\"2001/01/01\",\"\",\r\n"));
  EXPECT_EQ(Import(File("old.txt")), 0);
  const auto rows = Rows(t);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows.at(Sj("東京駅")), std::make_pair(SjisString("2024/05/03 10:20:30"), SjisString("2020/01/01 00:00:00")));
  EXPECT_EQ(rows.count("a,b"), 1u);
  // A quote never closed is still the error it was, also on the last line.
  WriteAll(File("open.txt"), "\"ok\",\"2001/01/01\",\r\n\"open,2001/01/01,\r\n\"never\r\n");
  EXPECT_EQ(ImportError(File("open.txt")), "\"" + Sj("の数が合いません") + " " + File("open.txt") +
                                               " 000002: 'KWD.DB' :(###)");
}

TEST_F(TableTextTest, ASurveyTellsTheEncodingAndTheRecordsBeforeAnythingIsRead) {
  struct Case {
    std::string bytes;
    TextEncoding encoding;
    int64_t records;
  };
  const Case cases[] = {
      {Sj("\"東京\",\"2001/01/01\",\r\n\r\n  \r\n\"大\r\n阪\",\"2001/01/01\",\r\nlast"), TextEncoding::ShiftJis, 3},
      {"", TextEncoding::ShiftJis, 0},
      {" \r\n\t\r\n", TextEncoding::ShiftJis, 0},
      {"\xE6\x9D\xB1\xE4\xBA\xAC\r\n\xE3\x83\xA1\xE3\x83\xA2\r\nabc\r\n", TextEncoding::Utf8, 0},  // a UTF-8 memo
      {"\xEF\xBB\xBF" "abc\r\n", TextEncoding::Utf8, 0},
      {std::string("\xFF\xFE" "a\0b\0", 6), TextEncoding::Utf16, 0},
      {std::string("a\0b\0\r\0\n\0c\0", 10), TextEncoding::Utf16, 0},
      {std::string("\x00\x00\xFE\xFF", 4), TextEncoding::Utf32, 0},
      {std::string("PK\x03\x04\x14\0\0\0\x08\0abcdefghijklmnopqrstuvwxyz0123456789", 46), TextEncoding::Binary, 0},
  };
  for (const Case& c : cases) {
    WriteAll(File("s.txt"), c.bytes);
    const TableTextSurvey s = SurveyTableText(File("s.txt"));
    EXPECT_EQ(s.encoding, c.encoding) << c.bytes;
    EXPECT_EQ(s.records, c.records) << c.bytes;
  }
  EXPECT_THROW(SurveyTableText(File("none.txt")), GeneralError);
}

TEST_F(TableTextTest, CancelActsWhileTheIndexesAreBuilt) {
  std::string lines;
  for (int i = 0; i < 50000; ++i) lines += "\"w" + std::to_string(i) + "\",\"2001/01/01\",\"2001/01/01\",\r\n";
  WriteAll(File("many.txt"), lines);
  Add(t, "kept", 1, 1);
  const auto before = Rows(t);
  TmuText text;
  text.DatabaseName = t.DatabaseName();
  int64_t calls = 0, afterRead = 0;
  text.OnCount = [&](int64_t read, int64_t) {
    ++calls;
    if (read < 50000) return true;
    return ++afterRead < 3;  // the count at the end of the file, then the builds' own calls
  };
  EXPECT_THROW(text.TextImport(File("many.txt"), "KWD.DB", true, false), TextExchangeCancelled);
  EXPECT_GE(afterRead, 3);
  EXPECT_EQ(Rows(t), before);
}

}  // namespace
}  // namespace wendul::test
