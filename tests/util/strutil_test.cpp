#include <gtest/gtest.h>

#include "support/test_support.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {
namespace {

using List = std::vector<SjisString>;

List Tok(std::string_view text, std::string_view delim) {
  List list{"stale"};
  StrTok(text, &list, delim);
  return list;
}

TEST(StrTok, Fields) {
  EXPECT_EQ(Tok("a,,b", ","), (List{"a", "", "b"}));
  EXPECT_EQ(Tok("a,", ","), (List{"a"}));
  EXPECT_EQ(Tok("a , b", ","), (List{"a ", "b"}));
  EXPECT_EQ(Tok("  a,b", ","), (List{"  a", "b"}));  // the first field is not trimmed
  EXPECT_EQ(Tok("a\t\tb", "\t"), (List{"a", "b"}));
  EXPECT_EQ(Tok("", ","), List{});
  EXPECT_EQ(Tok("abc", ","), (List{"abc"}));
  EXPECT_EQ(Tok("w1{wndl}w2{wndl}", "{wndl}"), (List{"w1", "w2"}));
}

TEST(StrTok, Quotes) {
  EXPECT_EQ(Tok("\"x,y\",z", ","), (List{"x,y", "z"}));
  EXPECT_EQ(Tok("\"x\"y,z", ","), (List{"x", "", "z"}));
  EXPECT_EQ(Tok("\"x\"", ","), (List{"x"}));
  EXPECT_EQ(Tok("a,\"\",b", ","), (List{"a", "", "b"}));
}

TEST(StrTok, Errors) {
  SetQuietFlag(false);
  test::RecordingUi ui;
  List list;
  try {
    StrTok("a,\"b,c", &list, ",");
    FAIL();
  } catch (const GeneralError& e) {
    EXPECT_EQ(std::string(e.what()), "\"" + test::Sj("の数が合いません"));
  }
  EXPECT_EQ(list, (List{"a"}));  // what came before stays
  EXPECT_EQ(ui.beeps, 1);
  try {
    StrTok("a", nullptr, ",");
    FAIL();
  } catch (const GeneralError& e) {
    EXPECT_STREQ(e.what(), "pgm error StrTok() PP is NULL");
  }
}

TEST(StrTok, EmptyDelimiterDoesNotLoop) {
  EXPECT_EQ(Tok("a,b", ""), (List{"a,b"}));
}

TEST(StrStr, BytePositions) {
  EXPECT_EQ(StrStrPos("abcabc", "ca"), 3);
  EXPECT_EQ(StrStrPos("abc", "x"), 0);
  EXPECT_EQ(StrStrPos("abc", ""), 0);
  EXPECT_EQ(StrStrPos(test::Sj("漢字abc"), "abc"), 5);
  // ボ is 0x83 0x7B: its trail byte is "{" and must not start a match.
  SjisString text = test::Sj("ボwndl}x{wndl}");
  EXPECT_EQ(StrStrPos(text, "{wndl}"), 9);
  EXPECT_EQ(Tok(text, "{wndl}"), (List{test::Sj("ボwndl}x")}));
}

TEST(StrUtil, IntegerText) {
  EXPECT_TRUE(IsIntStr(" 12 "));
  EXPECT_TRUE(IsIntStr("\t-2147483648\r\n"));
  EXPECT_TRUE(IsIntStr("+7"));
  for (const char* s : {"", " ", "1.5", "2147483648", "-", "12a", "0x10", "1 2"})
    EXPECT_FALSE(IsIntStr(s)) << s;
  EXPECT_EQ(StrToIntZ(" 42 "), 42);
  EXPECT_EQ(StrToIntZ("a"), 0);
  EXPECT_EQ(StrToIntZ("99999999999"), 0);
  EXPECT_EQ(IntToStrZ(-12), "-12");
}

TEST(StrUtil, Padding) {
  EXPECT_EQ(ZeroPadStr(7, 2), "07");
  EXPECT_EQ(ZeroPadStr(123, 2), "123");
  EXPECT_EQ(ZeroPadStr(-7, 3), "-007");
  EXPECT_EQ(ZeroPadStr(5, 0), "5");
  EXPECT_EQ(SpacePadStr(7, 4), "   7");
  EXPECT_EQ(SpacePadStr(12, 4), "  12");
  EXPECT_EQ(SpacePadStr(12345, 4), "12345");
  EXPECT_EQ(SpacePadStr(1, 200).size(), 200u);
  EXPECT_EQ(HexPairStr(0x12AB0C0Du), "0x12AB:0C0D");
  EXPECT_EQ(HexPairStr(0), "0x0000:0000");
  EXPECT_EQ(HexPairStr(0xFFFFFFFFu), "0xFFFF:FFFF");
}

TEST(StrUtil, UpperStrLeavesTrailBytes) {
  EXPECT_EQ(UpperStr("abcXyz1"), "ABCXYZ1");
  EXPECT_EQ(UpperStr(test::Sj("ａｚＡ")), test::Sj("ＡＺＡ"));
  EXPECT_EQ(UpperStr(test::Sj("αωаяё")), test::Sj("ΑΩАЯЁ"));
  // ヂ is 0x83 0x61 and ャ 0x83 0x83: trail bytes in the a..z range stay.
  EXPECT_EQ(UpperStr(test::Sj("ヂャa")), test::Sj("ヂャA"));
  EXPECT_EQ(UpperStr("\xb1z"), "\xb1Z");  // half-width katakana is one byte
  EXPECT_EQ(UpperStr("a\x82"), "A\x82");  // a cut lead byte at the end
}

TEST(StrUtil, SmallHelpers) {
  EXPECT_EQ(Trim("\t a b \r\n"), "a b");
  EXPECT_EQ(Trim(test::Sj("　全角")), test::Sj("　全角"));  // the ideographic space is text
  EXPECT_EQ(FKeyName("F05"), "F5");
  EXPECT_EQ(FKeyName("F5"), "F5");
  EXPECT_EQ(FKeyName("F12"), "F12");
  EXPECT_EQ(FKeyName("F10"), "F10");
  EXPECT_TRUE(IsDigitKey(48) && IsDigitKey(57) && IsDigitKey(96) && IsDigitKey(105));
  EXPECT_FALSE(IsDigitKey(47) || IsDigitKey(58) || IsDigitKey(95) || IsDigitKey(106));
  EXPECT_TRUE(IsBetween(5, 5, 6) && IsBetween(6, 5, 6) && !IsBetween(7, 5, 6));
  EXPECT_TRUE(IsValidStr(test::Sj("単語")));
  EXPECT_FALSE(IsValidStr("\x81"));
}

}  // namespace
}  // namespace wendul
