#include <gtest/gtest.h>

#include "support/test_support.h"
#include "util/codec.h"

namespace wendul {
namespace {

std::string Bytes(unsigned code) {
  if (code < 0x100) return std::string(1, static_cast<char>(code));
  return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

unsigned Encoded(char32_t cp) {
  char out[2];
  int n = EncodeCp932Char(cp, out);
  if (n == 1) return static_cast<unsigned char>(out[0]);
  if (n == 2) return static_cast<unsigned char>(out[0]) << 8 | static_cast<unsigned char>(out[1]);
  return 0;
}

char32_t Decoded(unsigned code, int* len = nullptr) {
  int l = 0;
  char32_t u = DecodeCp932Char(Bytes(code), 0, &l);
  if (len) *len = l;
  return u;
}

TEST(Codec, EveryCharacterRoundTrips) {
  int mapped = 0, duplicates = 0;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsSjisLeadByte(static_cast<unsigned char>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      unsigned code = lead << 8 | trail;
      int len = 0;
      char32_t u = Decoded(code, &len);
      if (u == U'\uFFFD') {
        EXPECT_EQ(len, 1);
        EXPECT_FALSE(MuIsValidStr(Bytes(code))) << std::hex << code;
        continue;
      }
      ++mapped;
      EXPECT_EQ(len, 2);
      EXPECT_TRUE(MuIsValidStr(Bytes(code))) << std::hex << code;
      unsigned back = Encoded(u);
      ASSERT_NE(back, 0u) << std::hex << code;
      EXPECT_EQ(Decoded(back), u) << std::hex << code;
      if (back != code) ++duplicates;
    }
  }
  // JIS X 0208, NEC row 13, both IBM extension blocks and the user area.
  EXPECT_EQ(mapped, 7724 + 1880);
  // NEC-selected IBM rows (374), and the NEC/IBM characters that Windows
  // writes in another row (24).
  EXPECT_EQ(duplicates, 374 + 24);
  for (unsigned b = 0; b < 0x100; ++b) {
    if (IsSjisLeadByte(static_cast<unsigned char>(b))) continue;
    char32_t u = Decoded(b);
    if (u == U'\uFFFD') continue;
    EXPECT_EQ(Encoded(u), b) << b;
  }
}

TEST(Codec, WindowsMappings) {
  const std::pair<unsigned, char32_t> pairs[] = {
      {0x815F, 0xFF3C}, {0x8160, 0xFF5E}, {0x8161, 0x2225}, {0x817C, 0xFF0D},
      {0x8191, 0xFFE0}, {0x8192, 0xFFE1}, {0x81CA, 0xFFE2}, {0x815C, 0x2015},
      {0x818F, 0xFFE5}, {0x8740, 0x2460}, {0x8754, 0x2160}, {0x8782, 0x2116},
      {0xFA40, 0x2170}, {0xFA5C, 0x7E8A}, {0x81E0, 0x2252}, {0x5C, 0x5C},
      {0x7E, 0x7E},     {0xA1, 0xFF61},   {0xDF, 0xFF9F},   {0xF040, 0xE000}};
  for (auto [code, u] : pairs) {
    EXPECT_EQ(Decoded(code), u) << std::hex << code;
    EXPECT_EQ(Encoded(u), code) << std::hex << code;
  }
  // Duplicates decode alike and are written where Windows writes them.
  EXPECT_EQ(Decoded(0xED40), U'\u7E8A');
  EXPECT_EQ(Decoded(0xFA54), U'\uFFE2');
  EXPECT_EQ(Decoded(0x8790), U'\u2252');
  // Controls are the code page's own, not IBM's swapped ones.
  for (unsigned b : {0x1Au, 0x1Cu, 0x7Fu}) EXPECT_EQ(Decoded(b), static_cast<char32_t>(b));
}

TEST(Codec, LookAlikesAreWrittenAsWindowsCharacters) {
  EXPECT_EQ(Encoded(0x301C), 0x8160u);
  EXPECT_EQ(Encoded(0x2016), 0x8161u);
  EXPECT_EQ(Encoded(0x2212), 0x817Cu);
  EXPECT_EQ(Encoded(0x00A5), 0x818Fu);
  EXPECT_EQ(Encoded(0x2014), 0x815Cu);
  EXPECT_EQ(test::Sj("〜−"), "\x81\x60\x81\x7C");
}

TEST(Codec, UnmappableIsReportedNotReplaced) {
  for (char32_t u : {0x00E9u, 0x0080u, 0x20ACu, 0x1F600u, 0xD83Du, 0xFFFDu, 0x110000u})
    EXPECT_EQ(Encoded(u), 0u) << std::hex << static_cast<unsigned>(u);

  SjisString out;
  size_t bad = 99;
  EXPECT_FALSE(TryUtf16ToSjis(u"ab\u00E9c", out, &bad));
  EXPECT_EQ(bad, 2u);
  EXPECT_FALSE(TryUtf16ToSjis(u"a\U0001F600", out, &bad));  // a surrogate pair
  EXPECT_EQ(bad, 1u);
  EXPECT_TRUE(TryUtf16ToSjis(u"a\u6F22\u5B57", out));
  EXPECT_EQ(out, "a\x8a\xbf\x8e\x9a");

  EXPECT_THROW(Utf8ToSjis("caf\xc3\xa9"), GeneralError);
  EXPECT_THROW(Utf8ToSjis("\xe6\xbc"), GeneralError);  // cut UTF-8
  EXPECT_THROW(Utf8ToSjis("\xed\xa0\xbd"), GeneralError);  // encoded surrogate
}

TEST(Codec, InvalidBytes) {
  int len = 0;
  EXPECT_EQ(DecodeCp932Char("\x81", 0, &len), U'\uFFFD');  // lead at the end
  EXPECT_EQ(len, 1);
  EXPECT_EQ(DecodeCp932Char("\x81\x7f", 0, &len), U'\uFFFD');
  EXPECT_EQ(len, 1);
  for (const char* s : {"\x80", "\xa0", "\xfd", "\xff", "\x85\x40"}) {
    std::u16string u;
    size_t bad = 99;
    EXPECT_FALSE(TrySjisToUtf16(std::string("ok") + s, u, &bad)) << s;
    EXPECT_EQ(bad, 2u);
  }
  EXPECT_EQ(SjisToUtf16("a\x80" "b"), u"a\uFFFDb");
  // A bad trail byte costs only the lead: the next byte is read again.
  EXPECT_EQ(SjisToUtf16("\x85\x40"), u"\uFFFD@");
  EXPECT_EQ(SjisToUtf8("\x8a\xbf\x8e\x9a\xb1\x80"), "\xe6\xbc\xa2\xe5\xad\x97\xef\xbd\xb1\xef\xbf\xbd");
}

TEST(Codec, MuIsValidStr) {
  EXPECT_TRUE(MuIsValidStr(""));
  EXPECT_TRUE(MuIsValidStr("abc\r\n"));
  EXPECT_TRUE(MuIsValidStr("\xb1\xb2\xdf"));                // half-width katakana
  EXPECT_TRUE(MuIsValidStr(test::Sj("漢字かなカナ①ⅰ")));
  EXPECT_FALSE(MuIsValidStr("abc\x82"));                    // cut character
  EXPECT_FALSE(MuIsValidStr("\x82\x20"));                   // trail out of range
  EXPECT_FALSE(MuIsValidStr("\x86\x9f"));                   // empty code
  EXPECT_FALSE(MuIsValidStr("x\xa0"));
}

}  // namespace
}  // namespace wendul
