// The diary below the user interface: era years, day files, the first day of
// log mode, the byte search and the global search's walk.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/test_support.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/daygrep.h"
#include "util/codec.h"
#include "util/daylog.h"
#include "util/jera.h"
#include "util/messages.h"
#include "util/sjisfind.h"

namespace wendul {
namespace {

using test::Sj;
namespace fs = std::filesystem;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0) {
  return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, 0, 0));
}

void WriteBytes(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string ReadBytes(const fs::path& p) {
  SjisString s;
  EXPECT_TRUE(ReadWholeFile(p.string(), &s));
  return s;
}

TEST(JapaneseEra, BoundariesComeFromTheCalendar) {
  struct Case { TDateTime day; int era; int year; };
  const Case cases[] = {
      {At(2019, 5, 1), 4, 1},    // 令和 1
      {At(2019, 4, 30), 3, 31},  // 平成 31 stays 平成
      {At(2024, 1, 1), 4, 6},
      {At(1989, 1, 8), 3, 1},
      {At(1989, 1, 7), 2, 64},   // 昭和 64
      {At(1945, 8, 15), 2, 20},
      {At(1926, 12, 25), 2, 1},
      {At(1912, 7, 30), 1, 1},
      {At(1900, 1, 1), 0, 33},
      {At(1868, 1, 1), kNoEra, 1868},  // before 明治: the western year
      {At(1600, 10, 21), kNoEra, 1600},
  };
  for (const Case& c : cases) {
    const JEraYear e = JapaneseEra(c.day);
    EXPECT_EQ(e.era, c.era) << DateStr(c.day);
    EXPECT_EQ(e.year, c.year) << DateStr(c.day);
    if (e.era != kNoEra) {
      EXPECT_EQ(e.year + JEraOffset(e.era), DecodeDateTime(c.day).year);
    }
  }
  EXPECT_EQ((std::vector<int>{JEraOffset(0), JEraOffset(1), JEraOffset(2), JEraOffset(3), JEraOffset(4),
                              JEraOffset(kNoEra)}),
            (std::vector<int>{1867, 1911, 1925, 1988, 2018, 0}));
  EXPECT_EQ(JEraName(4), Sj("令和"));
  EXPECT_EQ(JEraName(0), Sj("明治"));
  EXPECT_EQ(JEraName(kNoEra), Sj("西暦"));
  EXPECT_EQ((std::vector<int>{JEraOfLetter('M'), JEraOfLetter('t'), JEraOfLetter('S'), JEraOfLetter('h'),
                              JEraOfLetter('R'), JEraOfLetter('x'), JEraOfLetter('1')}),
            (std::vector<int>{0, 1, 2, 3, 4, kNoEra, kNoEra}));
}

TEST(DayLog, PathAndHeaderOfThe3rdOfMay2001) {
  const TDateTime day = At(2001, 5, 3);
  EXPECT_EQ(DayLogRelPath(day), "2001/05/YDay03.TXT");
  EXPECT_EQ(DayLogRelPath(At(1998, 12, 31)), "1998/12/YDay31.TXT");
  const std::string stars = "********************************\r\n";
  EXPECT_EQ(DayLogHeader(day, 1),
            stars + "*       2001. 5. 3\x81\x69\x96\xd8\x81\x6a       *\r\n" + stars + Sj("99に起きる。") + "\r\n");
  EXPECT_EQ(DayLogHeader(At(2012, 12, 23), 0), stars + "*       2012.12.23" + Sj("（日）") + "       *\r\n" + stars);

  test::TempDir dir;
  test::RecordingUi ui;
  const std::string log = dir.str() + "log/";
  // A missing log folder and a zero date are errors, and nothing is created.
  try {
    GetMuLogPathName(log, true, day);
    ADD_FAILURE();
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()), log + Sj(" が存在しません GetMuLogPathName"));
  }
  EXPECT_FALSE(fs::exists(log));
  fs::create_directories(log);
  EXPECT_THROW(GetMuLogPathName(log, true, 0), GeneralError);
  EXPECT_EQ(GetMuLogPathName(log, false, day), log + "2001/05/YDay03.TXT");
  EXPECT_FALSE(fs::exists(log + "2001"));
  const std::string path = GetMuLogPathName(dir.str() + "log", true, day);  // "/" added
  EXPECT_EQ(path, log + "2001/05/YDay03.TXT");
  EXPECT_TRUE(fs::is_directory(log + "2001/05"));

  ASSERT_TRUE(CreateDayLogFile(path, day, 1));
  EXPECT_EQ(ReadBytes(path), DayLogHeader(day, 1));
  WriteBytes(path, "kept");
  ASSERT_TRUE(CreateDayLogFile(path, day, 1));  // an existing file is left alone
  EXPECT_EQ(ReadBytes(path), "kept");
  // A new day in the encoding chosen for new files.
  const std::string next = GetMuLogPathName(log, true, day + 1);
  ASSERT_TRUE(CreateDayLogFile(next, day + 1, 1, nullptr, {DocEncoding::Utf8, false}));
  EXPECT_EQ(ReadBytes(next), SjisToUtf8(DayLogHeader(day + 1, 1)));
}

TEST(DayLog, SaveAsksBeforeShrinkingByMoreThan30BytesAndWritesWholeFiles) {
  test::TempDir dir;
  test::RecordingUi ui;
  const std::string path = dir.str() + "YDay01.TXT";
  const std::string old(100, 'a');
  WriteBytes(path, old);

  // 30 bytes fewer: no question. Bytes that are no valid Shift-JIS stay as they are.
  std::string text(70, 'b');
  text[0] = '\x82';
  text[1] = '\x0a';
  EXPECT_EQ(SaveDayLog(path, text), DaySave::Written);
  EXPECT_EQ(ReadBytes(path), text);
  EXPECT_TRUE(ui.messages.empty());

  // 31 fewer: asked, No keeps the file.
  EXPECT_EQ(SaveDayLog(path, std::string(39, 'c')), DaySave::Declined);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].kind, "askNotYes");
  EXPECT_EQ(ui.messages[0].caption, "");
  EXPECT_EQ(ui.messages[0].text,
            Sj("変更後文章が元文章よりサイズが小さくなっています。続行しますか? ") + "70 > 39\r\n" + path);
  EXPECT_EQ(ReadBytes(path), text);
  ui.answers.push_back(MsgAnswer::Yes);
  EXPECT_EQ(SaveDayLog(path, std::string(39, 'c')), DaySave::Written);
  EXPECT_EQ(ReadBytes(path), std::string(39, 'c'));

  // A file its owner made read-only is refused as a document is, and stays.
  fs::permissions(path, fs::perms::owner_read);
  EXPECT_EQ(SaveDayLog(path, std::string(40, 'd')), DaySave::Failed);
  EXPECT_EQ(ReadBytes(path), std::string(39, 'c'));
  EXPECT_NE(ui.messages.back().text.find(Sj("アクセスが許可されていません")), std::string::npos);
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  // An unwritable folder: the old file stays, the user is told, nothing is left behind.
  fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(dir.str().c_str(), W_OK) != 0) {  // not when the tests run as root
    EXPECT_EQ(SaveDayLog(path, "new"), DaySave::Failed);
    EXPECT_EQ(ReadBytes(path), std::string(39, 'c'));
    EXPECT_EQ(ui.messages.back().kind, "message");
  }
  fs::permissions(dir.path(), fs::perms::owner_all);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(DayLog, FirstDayOfLogMode) {
  test::RecordingUi ui;
  const TDateTime morning = At(2024, 3, 2, 3);  // 03:00 belongs to the 1st
  EXPECT_EQ(FirstDiaryDay(true, "", morning), At(2024, 3, 1));
  EXPECT_EQ(FirstDiaryDay(true, "", At(2024, 3, 2, 5, 59)), At(2024, 3, 1));
  EXPECT_EQ(FirstDiaryDay(true, "", At(2024, 3, 2, 6)), At(2024, 3, 2));
  EXPECT_EQ(FirstDiaryDay(true, "", At(2024, 1, 1, 3)), At(2023, 12, 31));
  EXPECT_EQ(FirstDiaryDay(false, "2001/05/03", morning), At(2024, 3, 1));
  EXPECT_EQ(FirstDiaryDay(true, "-1", morning), At(2024, 2, 29));
  EXPECT_EQ(FirstDiaryDay(true, "-12", At(2024, 3, 2, 12)), At(2024, 2, 19));
  EXPECT_EQ(FirstDiaryDay(true, "-x", At(2024, 3, 2, 12)), At(2024, 3, 2));
  EXPECT_EQ(FirstDiaryDay(true, "2001/05/03", morning), At(2001, 5, 3));
  EXPECT_EQ(FirstDiaryDay(true, "12/24", morning), At(2024, 12, 24));
  EXPECT_EQ(FirstDiaryDay(true, "5/3", morning), At(2024, 5, 3));
  EXPECT_EQ(FirstDiaryDay(true, "7", morning), At(2024, 3, 7));
  EXPECT_THROW(FirstDiaryDay(true, "31", At(2024, 4, 2, 12)), GeneralError);  // no 31 April
  EXPECT_THROW(FirstDiaryDay(true, "2001/13/03", morning), GeneralError);
  EXPECT_THROW(FirstDiaryDay(true, "ab/cd", morning), GeneralError);
  EXPECT_EQ(EarliestDiaryDate(), At(1998, 4, 1));
}

TEST(SjisFind, AsciiCaseIgnoredAndOnlyAtCharacterStarts) {
  const SjisString text = Sj("ボ{ 東京Tower、tower。") + "\r\n" + Sj("ＡＢＣabc");
  EXPECT_EQ(SjisFinder("{").Find(text), 2u);  // not the trail byte of ボ (0x83 0x7B)
  EXPECT_EQ(SjisFinder(Sj("東京tOWER")).Find(text), 4u);
  EXPECT_EQ(SjisFinder("TOWER").Find(text), 8u);
  EXPECT_EQ(SjisFinder("TOWER").Find(text, 9), 15u);
  EXPECT_EQ(SjisFinder(Sj("ａｂｃ")).Find(text), SjisFinder::npos);  // full-width letters are not folded
  EXPECT_EQ(SjisFinder("ABC").Find(text), text.size() - 3);
  EXPECT_EQ(SjisFinder("").Find(text), SjisFinder::npos);
  EXPECT_EQ(SjisFinder("abcd").Find("abc"), SjisFinder::npos);
  // A trail byte that reads as a letter is never folded: ソ is 0x83 0x5C, ャ 0x83 0x83, ア 0x83 0x41 ("A").
  EXPECT_EQ(SjisFinder(Sj("ア")).Find(Sj("xアa")), 1u);
  EXPECT_EQ(SjisFinder("\x83\x61").Find(Sj("ア")), SjisFinder::npos);
  EXPECT_EQ(SjisFinder("a").Find(Sj("アa")), 2u);  // not inside ア
  // A lead byte whose pair is no character (0x85 0x93) stands alone, as the
  // document reading has it: the word after it is found, its "。" is a mark.
  EXPECT_EQ(SjisFinder(Sj("日記")).Find("\x85" + Sj("日記")), 1u);
  const SjisString stray = "\x85" + Sj("。") + "abcdef" + Sj("天");
  EXPECT_EQ(ContextStart(stray, stray.size() - 2), 1u);
  EXPECT_EQ(SjisCharLen("\x82\xA0", 0), 2u);  // あ
  EXPECT_EQ(SjisCharLen("\x85\x93", 0), 1u);

  // Context start: the nearest mark 5..301 bytes before the hit, else 301 back or 0.
  const SjisString line = Sj("今日は、晴れ。明日は雨") + "\r\n" + Sj("天気");
  const size_t hit = SjisFinder(Sj("天気")).Find(line);
  // The CR LF 2 bytes before the hit is too near; "。" at 12 is the context's start.
  EXPECT_EQ(ContextStart(line, hit), 12u);
  EXPECT_EQ(ContextStart(Sj("あいう天気"), 6), 0u);  // the first line: from the file's start
  const SjisString longLine = std::string(400, 'x') + Sj("天");
  EXPECT_EQ(ContextStart(longLine, 400), 99u);
  // 亜 is 0x88 0x9F, both bytes in the lead range: 301 back is its trail byte, so the excerpt starts after it.
  EXPECT_EQ(ContextStart(Sj("亜") + std::string(300, 'x') + Sj("天"), 302), 2u);
  EXPECT_EQ(ContextStart(Sj("亜亜") + std::string(299, 'x') + Sj("天"), 303), 2u);
  EXPECT_EQ(LineOfPos(line, hit), 2);
  EXPECT_EQ(LineOfPos("a\rb\nc\r\nd", 7), 4);
  EXPECT_EQ(CutAtChar(Sj("あいう"), 0, 5), Sj("あい"));
}

TEST(DayGrep, WalksBackOneHitPerDayAndCreatesNothing) {
  test::TempDir dir;
  const std::string log = dir.str();
  auto day = [&](TDateTime d, const std::string& text) { WriteBytes(log + DayLogRelPath(d), text); };
  day(At(2001, 5, 3), DayLogHeader(At(2001, 5, 3), 1) + Sj("朝は雨。午後に雨が止んだ。"));
  day(At(2001, 4, 30), Sj("晴れ"));
  day(At(2001, 4, 15), "\xF0\x9F\x98\x80 小雨\n");  // UTF-8: searched as the editor shows it
  day(At(2001, 3, 1), "\r\n" + Sj("雨") + Sj("。雨"));
  day(At(1998, 3, 31), Sj("雨"));  // before the earliest diary date
  day(At(2001, 5, 4), Sj("雨"));   // after today

  DayGrep grep(log, Sj("雨"), At(2001, 5, 3, 14, 30), EarliestDiaryDate());
  std::vector<DayHit> hits;
  DayHit hit;
  bool found = false;
  int files = 0;
  while (grep.Next(&hit, &found)) {
    if (found) hits.push_back(hit);
    if (!grep.LastFile().empty()) ++files;
  }
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].relPath, "2001/05/YDay03.TXT");
  EXPECT_EQ(hits[0].day, At(2001, 5, 3));
  EXPECT_EQ(hits[0].line, 5);
  EXPECT_EQ(hits[0].text, "\r\n" + Sj("朝は雨。午後に雨が止んだ。"));  // from the CR LF before the line
  EXPECT_EQ(hits[1].relPath, "2001/04/YDay15.TXT");
  EXPECT_EQ(hits[1].pos, 4u);
  EXPECT_EQ(hits[1].text, "? " + Sj("小雨") + "\r\n");
  EXPECT_EQ(hits[2].relPath, "2001/03/YDay01.TXT");
  EXPECT_EQ(hits[2].line, 2);
  EXPECT_EQ(grep.DaysWalked(), static_cast<int>(At(2001, 5, 3) - At(1998, 4, 1)) + 1);
  EXPECT_TRUE(grep.Done());
  // No folder of a day without a file came into being.
  EXPECT_FALSE(fs::exists(log + "2001/02"));
  EXPECT_FALSE(fs::exists(log + "2000"));
  EXPECT_TRUE(DayGrep(log, "", At(2001, 5, 3), EarliestDiaryDate()).Done());
}

}  // namespace
}  // namespace wendul
