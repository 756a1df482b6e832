#include <gtest/gtest.h>

#include "support/test_support.h"
#include "util/datetime.h"
#include "util/messages.h"

namespace wendul {
namespace {

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return ComposeDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, ms));
}

TEST(DateTime, KnownDayNumbers) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
  EXPECT_DOUBLE_EQ(EncodeTime(12, 0, 0, 0), 0.5);
}

TEST(DateTime, EncodeDecodeRoundTripOverTheWholeCalendar) {
  for (int day = -693593; day <= 2958465; ++day) {
    DateParts p = DecodeDateTime(day);
    TDateTime back;
    ASSERT_TRUE(TryEncodeDate(p.year, p.month, p.day, &back)) << day;
    ASSERT_EQ(back, day);
  }
  DateParts p = DecodeDateTime(At(2024, 2, 29, 23, 59, 58, 999));
  EXPECT_EQ((std::vector<int>{p.year, p.month, p.day, p.hour, p.minute, p.second, p.msec}),
            (std::vector<int>{2024, 2, 29, 23, 59, 58, 999}));
}

TEST(DateTime, BeforeTheOrigin) {
  // The fraction's magnitude is the time of day, the day counting towards zero.
  EXPECT_DOUBLE_EQ(At(1899, 12, 29, 6), -1.25);
  EXPECT_EQ(DateTimeStr(-1.25), "1899/12/29 06:00:00");
  EXPECT_EQ(DateTimeStr(-0.25), "1899/12/30 06:00:00");
  EXPECT_EQ(DateTimeStr(At(1850, 3, 4, 5, 6, 7)), "1850/03/04 05:06:07");
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1);
}

TEST(DateTime, RangeErrors) {
  EXPECT_THROW(EncodeDate(2001, 2, 29), GeneralError);
  EXPECT_THROW(EncodeDate(2001, 13, 1), GeneralError);
  EXPECT_THROW(EncodeDate(0, 1, 1), GeneralError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), GeneralError);
  EXPECT_THROW(EncodeTime(0, 0, 60, 0), GeneralError);
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
}

TEST(DateTime, DayOfWeek) {
  EXPECT_EQ(DayOfWeek(0), 7);  // 1899-12-30 was a Saturday
  EXPECT_EQ(DayOfWeek(At(2024, 1, 1, 23)), 2);
  EXPECT_EQ(DWeek2Str(1), test::Sj("日"));
  EXPECT_EQ(DWeek2Str(7), test::Sj("土"));
  EXPECT_EQ(DWeek2Str(DayOfWeek(At(2024, 1, 3))), test::Sj("水"));
  test::RecordingUi ui;
  try {
    DWeek2Str(0);
    FAIL();
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "Error DWeek2Str");
  }
}

TEST(DateTime, TextForms) {
  TDateTime t = At(2001, 5, 5, 7, 8, 9, 10);
  EXPECT_EQ(TimeStampStr(t), "2001/05/05 07:08:09.010");
  EXPECT_EQ(DateTimeStr(t), "2001/05/05 07:08:09");
  EXPECT_EQ(DateStr(t), "2001/05/05");
  EXPECT_EQ(TimeStampStr(At(99, 1, 2)), "  99/01/02 00:00:00.000");
  // The last half millisecond of a day rounds into the next day.
  EXPECT_EQ(TimeStampStr(EncodeDate(2001, 12, 31) + 0.9999999999), "2002/01/01 00:00:00.000");
}

TEST(DateTime, LogicalDate) {
  EXPECT_EQ(LogicalDate(At(2024, 3, 2, 5, 59, 59, 999)), EncodeDate(2024, 3, 1));
  EXPECT_EQ(LogicalDate(At(2024, 3, 2, 6)), EncodeDate(2024, 3, 2));
  EXPECT_EQ(LogicalDate(At(2024, 1, 1, 3)), EncodeDate(2023, 12, 31));
  EXPECT_EQ(LogicalDate(At(2024, 12, 31, 23, 59)), EncodeDate(2024, 12, 31));
  EXPECT_EQ(LogicalDate(At(1899, 12, 30, 3)), EncodeDate(1899, 12, 29));
  EXPECT_EQ(LogicalDate(At(1899, 12, 29, 3)), EncodeDate(1899, 12, 28));
  TDateTime first = At(1, 1, 1, 3);
  EXPECT_EQ(LogicalDate(first), first);  // no day before it
}

class StrToDateTime : public ::testing::Test {
 protected:
  void SetUp() override { SetQuietFlag(false); }
  void TearDown() override { SetQuietFlag(false); }
  test::RecordingUi ui;
};

TEST_F(StrToDateTime, Patterns) {
  EXPECT_EQ(MuStrToDateTime("1998/04/01 00:00:00", "yyyy/mm/dd hh:nn:ss"), EncodeDate(1998, 4, 1));
  EXPECT_DOUBLE_EQ(MuStrToDateTime("1998/04/01 12:30:15", "yyyy/mm/dd hh:nn:ss"),
                   At(1998, 4, 1, 12, 30, 15));
  EXPECT_EQ(MuStrToDateTime("2001/05/06", "yyyy/mm/dd"), EncodeDate(2001, 5, 6));
  EXPECT_EQ(MuStrToDateTime("2001/05/06", "yyyy/mm/dd hh:nn:ss"), EncodeDate(2001, 5, 6));
  EXPECT_EQ(MuStrToDateTime("", "yyyy/mm/dd"), 0);
  EXPECT_EQ(MuStrToDateTime("", ""), 0);
  // Out of range: the encoder's error, and the quiet flag is left alone.
  EXPECT_THROW(MuStrToDateTime("2001/13/01 00:00:00", "yyyy/mm/dd hh:nn:ss"), GeneralError);
  EXPECT_THROW(MuStrToDateTime("2001/01/01 24:00:00", "yyyy/mm/dd hh:nn:ss"), GeneralError);
  EXPECT_THROW(MuStrToDateTime("2001-01-01", "yyyy/mm/dd"), GeneralError);
  EXPECT_FALSE(QuietFlag());
}

TEST_F(StrToDateTime, LocaleForm) {
  for (const char* f : {"", "MU_DATEFORMAT_YYYYMMDD"}) {
    EXPECT_DOUBLE_EQ(MuStrToDateTime("12:30", f), 0.5 + 1.0 / 48);
    EXPECT_DOUBLE_EQ(MuStrToDateTime("2001/5/6 7:08:09", f), At(2001, 5, 6, 7, 8, 9));
    EXPECT_DOUBLE_EQ(MuStrToDateTime(" 2001/05/06 ", f), EncodeDate(2001, 5, 6));
    EXPECT_DOUBLE_EQ(MuStrToDateTime("1850/1/2 3:04", f), At(1850, 1, 2, 3, 4));
  }
  EXPECT_FALSE(QuietFlag());
}

TEST_F(StrToDateTime, FailureSetsTheQuietFlag) {
  try {
    MuStrToDateTime("abc", "MU_DATEFORMAT_YYYYMMDD");
    FAIL();
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not Date (Convert Error from MuStrToDateTime) ");
  }
  EXPECT_TRUE(QuietFlag());
  EXPECT_EQ(ui.beeps, 0);
  EXPECT_THROW(PgmError("later"), GeneralError);
  EXPECT_EQ(ui.beeps, 0);  // errors no longer beep
  for (const char* bad : {"2001/2/30", "2001/1/1 25:00", "12:60", "2001/1", "2001/1/1x", "1:2:3:4"})
    EXPECT_THROW(MuStrToDateTime(bad, ""), GeneralError) << bad;
}

TEST(DateTime, SeparateWithOtherSeparators) {
  SeparatedDateTime r;
  ASSERT_TRUE(MuDateTimeStringSeparate("yyyy/mm/dd hh:nn:ss", "2001-2-3T04.05.06", '-', '.', 'T', &r));
  EXPECT_EQ((std::vector<int>{r.year, r.month, r.day, r.hour, r.minute, r.second}),
            (std::vector<int>{2001, 2, 3, 4, 5, 6}));
  ASSERT_TRUE(MuDateTimeStringSeparate("yyyy/mm/dd", "2001/02/03", '/', ':', ' ', &r));
  EXPECT_EQ(r.hour + r.minute + r.second, 0);
  EXPECT_FALSE(MuDateTimeStringSeparate("yyyy/mm/dd", "2001/02", '/', ':', ' ', &r));
  EXPECT_FALSE(MuDateTimeStringSeparate("yyyy/mm/dd", "2001/02/03 1", '/', ':', ' ', &r));
  EXPECT_FALSE(MuDateTimeStringSeparate("yyyy/mm/dd", "20010203", '/', ':', ' ', &r));
}

TEST(DateTime, NowIsToday) {
  TDateTime now = Now();
  EXPECT_GT(now, EncodeDate(2020, 1, 1));
  EXPECT_LT(now, EncodeDate(2200, 1, 1));
}

}  // namespace
}  // namespace wendul
