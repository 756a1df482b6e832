// The word pattern engine: the word class, runs, markers, limits and the
// pattern language itself.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

#include <random>
#include <string>
#include <vector>

#include "store/muwgy.h"
#include "store/sepkeyword.h"

namespace wendul {
namespace {

const std::string M = "{wndl}";

class WordPatternTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = MuWGYInitStr(kWordPattern, kWordPatternLimit);
    ASSERT_GT(handle, 0);
  }
  void TearDown() override { MuWGYTerm(handle); }
  std::string Out(std::string_view text) {
    auto out = MuWGYStr(handle, text);
    EXPECT_TRUE(out.has_value());
    return out.value_or("<nil>");
  }
  int handle = 0;
};

std::string D(unsigned code) { return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}; }

TEST_F(WordPatternTest, PatternIsThe64ByteText) { EXPECT_EQ(kWordPattern.size(), 64u); }

TEST_F(WordPatternTest, EveryListedCharacterIsAWordOfItsOwn) {
  std::vector<std::string> members = {
      D(0x8145), D(0x8175), D(0x8176),            // ・「」
      D(0x8340), D(0x8341), D(0x8383), D(0x8396),  // ァ ア ャ ヶ: the katakana range and its ends
      D(0x815B), D(0x8158),                        // ー 々
      D(0x889F), D(0x8AbF), D(0x9F40), D(0xE040), D(0xEAA4), D(0xFA40), D(0xFC4B),  // 亜 .. 0xFC4B
      "0", "5", "9", "a", "m", "z", "A", "Q", "Z",
      "-", "_", ".", ",", "(", ")", "/", ":", "~", "#", "&", "*", "\\", "@"};
  for (const std::string& c : members) EXPECT_EQ(Out(c), c + M) << std::hex << (unsigned char)c[0];
}

TEST_F(WordPatternTest, CharactersOutsideTheClassSeparate) {
  std::vector<std::string> others = {
      D(0x82A0), D(0x829F), D(0x82F1),             // あ ぁ ん: hiragana
      D(0x8142), D(0x8141), D(0x8140),             // 。 、 full-width blank
      D(0x8152), D(0x8397), D(0x833F),             // ヽ and the codes just outside the katakana range
      D(0x8260), D(0x824F), D(0x815F), D(0x814D),  // Ａ ０ ＼ ｀ (their trail bytes are A O _ M)
      D(0x889E), D(0xFC4C), D(0x8754),             // around the kanji range, ①-area
      "\xB1", "\xDF", "\xA5",                      // half-width katakana and dot
      " ", "\t", "\r\n", "!", "\"", "$", "%", "'", "+", ";", "<", "=", ">", "?", "[", "]",
      "^", "`", "{", "|", "}", std::string(1, '\0'), "\x7F", "\x80", "\xFD", "\xFF"};
  for (const std::string& c : others) EXPECT_EQ(Out(c), "") << std::hex << (unsigned char)c[0];
}

TEST_F(WordPatternTest, MaximalRunsInOrderEachFollowedByTheMarker) {
  // 東京タワーに行った
  std::string text = D(0x938C) + D(0x8B9E) + D(0x835E) + D(0x838F) + D(0x815B) + D(0x82C9) +
                     D(0x8D73) + D(0x82C1) + D(0x82BD);
  EXPECT_EQ(Out(text), D(0x938C) + D(0x8B9E) + D(0x835E) + D(0x838F) + D(0x815B) + M + D(0x8D73) + M);
  EXPECT_EQ(Out("abc def,ghi"), "abc" + M + "def,ghi" + M);
  EXPECT_EQ(Out("  x  "), "x" + M);
  EXPECT_EQ(Out(""), "");
  // Half-width katakana and hiragana both cut words.
  EXPECT_EQ(Out("AB\xB1" "CD"), "AB" + M + "CD" + M);
  EXPECT_EQ(Out(D(0x834A) + D(0x82A0) + D(0x834A)), D(0x834A) + M + D(0x834A) + M);
}

TEST_F(WordPatternTest, DoubleByteCharactersAreNeverSplit) {
  // ＼ (0x815F) ends in '_' and ｀ (0x814D) in 'M': no word may come out of them.
  EXPECT_EQ(Out("a" + D(0x815F) + "b" + D(0x814D)), "a" + M + "b" + M);
  // A lead byte at the end, or before a byte that cannot follow it, stands alone.
  EXPECT_EQ(Out("ab\x83"), "ab" + M);
  EXPECT_EQ(Out("\x83"), "");
  EXPECT_EQ(Out("x\x83\r\ny"), "x" + M + "y" + M);
  // A class byte after a lone lead byte is read as itself.
  EXPECT_EQ(Out("\x83\x1F" "ab"), "ab" + M);
}

TEST_F(WordPatternTest, LengthLimitAndUnknownHandles) {
  std::string max(kMuWGYMaxInput, 'a');
  EXPECT_EQ(Out(max), max + M);
  EXPECT_FALSE(MuWGYStr(handle, max + "a").has_value());
  EXPECT_FALSE(MuWGYStr(0, "abc").has_value());
  EXPECT_FALSE(MuWGYStr(-1, "abc").has_value());
  EXPECT_FALSE(MuWGYStr(handle + 1000, "abc").has_value());
  int other = MuWGYInitStr(kWordPattern, kWordPatternLimit);
  ASSERT_GT(other, 0);
  EXPECT_NE(other, handle);
  MuWGYTerm(other);
  EXPECT_FALSE(MuWGYStr(other, "abc").has_value());
  EXPECT_TRUE(MuWGYStr(handle, "abc").has_value());  // the other handle is untouched
  int again = MuWGYInitStr(kWordPattern, kWordPatternLimit);
  EXPECT_NE(again, other);  // a released handle never comes back to life
  MuWGYTerm(again);
}

// A plain, slow reading of the word class to check the engine against random
// byte soup: lone lead bytes, bad trail bytes, members and separators mixed.
bool RefMember(unsigned code, bool dbl) {
  if (!dbl) {
    if (code >= 0x80) return false;
    return isalnum(static_cast<int>(code)) || std::string("-_.,()/:~#&*\\@").find(static_cast<char>(code)) != std::string::npos;
  }
  return code == 0x8145 || code == 0x8175 || code == 0x8176 || code == 0x815B || code == 0x8158 ||
         (code >= 0x8340 && code <= 0x8396) || (code >= 0x889F && code <= 0xFC4B);
}

std::string RefRun(const std::string& s) {
  std::string out, word;
  for (size_t i = 0; i < s.size();) {
    auto b = static_cast<unsigned char>(s[i]);
    bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    unsigned t = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
    bool dbl = lead && i + 1 < s.size() && ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC));
    size_t len = dbl ? 2 : 1;
    if (RefMember(dbl ? (b << 8 | t) : b, dbl)) {
      word += s.substr(i, len);
    } else if (!word.empty()) {
      out += word + M;
      word.clear();
    }
    i += len;
  }
  if (!word.empty()) out += word + M;
  return out;
}

TEST_F(WordPatternTest, AgreesWithAPlainReadingOnRandomText) {
  const std::vector<std::string> pool = {"a", "Z", "7", "-", "\\", " ", "!", "\xB1", "\x83", "\x81", "\xFC",
                                         "\x40", "\x5F", "\x7F", "\x9F", "\xFD", D(0x8340), D(0x82A0),
                                         D(0x8142), D(0x889F), D(0xFC4B), D(0xFC4C), D(0x815F)};
  std::mt19937 rng(12345);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    int len = static_cast<int>(rng() % 24);
    for (int k = 0; k < len; ++k) text += pool[rng() % pool.size()];
    ASSERT_EQ(Out(text), RefRun(text)) << "round " << round;
  }
}

// Long texts: the engine reads 64 bytes at a time, so chains of bytes that may
// both lead and trail (0x81-0x9F, 0xE0-0xFC) run across those groups, and
// texts end at every offset within one. Each text lies at the very end of a
// readable page, followed by one that is not, so any read past it faults.
TEST_F(WordPatternTest, LongTextsAgreeAndNothingPastTheTextIsRead) {
  const long page = sysconf(_SC_PAGESIZE);
  const size_t span = (kMuWGYMaxInput / page + 2) * page;
  void* mem = mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mem, MAP_FAILED);
  ASSERT_EQ(mprotect(static_cast<char*>(mem) + span, page, PROT_NONE), 0);
  char* const fence = static_cast<char*>(mem) + span;

  const std::vector<std::string> pool = {"a", "7", "\\", " ", "\xB1", "\x83", "\x88", "\x9F", "\xE0", "\xFC",
                                         "\x40", "\x7F", "\xFD", D(0x8340), D(0x82A0), D(0x889F), D(0xFC4B),
                                         D(0x815F), "\x83\x83\x83\x83\x83", "\x88\x9F\x88\x9F\x88", "abc,de"};
  std::mt19937 rng(777);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const size_t want = round < 200 ? 60 + rng() % 140 : rng() % (kMuWGYMaxInput + 1);
    while (text.size() < want) text += pool[rng() % pool.size()];
    text.resize(want);  // may end in the middle of a character, as input may
    std::memcpy(fence - text.size(), text.data(), text.size());
    ASSERT_EQ(Out(std::string_view(fence - text.size(), text.size())), RefRun(text)) << "round " << round;
  }
  munmap(mem, span + page);
}

TEST(PatternLanguage, RulesLiteralsAnyAndCopying) {
  // Digits become "#", each lower-case letter is echoed with "!", the rest is copied.
  int h = MuWGYInitStr("[0-9]+_#\r\n[a-z]_+!", 0);
  ASSERT_GT(h, 0);
  EXPECT_EQ(*MuWGYStr(h, "ab12X3"), "a!b!#X#");
  MuWGYTerm(h);
  // "?" matches anything, a lone lead byte included; the first matching rule wins.
  h = MuWGYInitStr("x_X\r\n?_+.\r\n", 0);
  ASSERT_GT(h, 0);
  EXPECT_EQ(*MuWGYStr(h, "ax\x83"), "a.X\x83.");
  MuWGYTerm(h);
  // Escapes, "-" at the ends of a class, double-byte ranges, "\+" in an action.
  h = MuWGYInitStr("[-\\]a\x82\x9f-\x82\xa3-]+_+|\r\n?_\\+", 0);
  ASSERT_GT(h, 0);
  EXPECT_EQ(*MuWGYStr(h, "-]a\x82\xa0" "b\x82\xa4"), "-]a\x82\xa0|++");
  MuWGYTerm(h);
}

TEST(PatternLanguage, WordPatternsWithOtherMarkers) {
  const std::string mark = "<a marker longer than sixteen bytes>";
  int h = MuWGYInitStr("[a-z]+_+" + mark + "\r\n?_", 0);
  ASSERT_GT(h, 0);
  EXPECT_EQ(*MuWGYStr(h, "ab, cd"), "ab" + mark + "cd" + mark);
  MuWGYTerm(h);
  h = MuWGYInitStr("[a-z]+_+\r\n?_", 0);  // no marker at all
  ASSERT_GT(h, 0);
  EXPECT_EQ(*MuWGYStr(h, "ab, cd"), "abcd");
  MuWGYTerm(h);
}

TEST(PatternLanguage, MalformedPatternsAndTheMatchLimit) {
  for (const char* bad : {"", "\r\n", "[abc_x", "[]_x", "_x", "+_x", "[z-a]_x", "abc", "a_\\", "[a\\"})
    EXPECT_EQ(MuWGYInitStr(bad, 0), 0) << bad;
  // The limit bounds the match part: the word pattern's is exactly 50 bytes.
  EXPECT_EQ(MuWGYInitStr(kWordPattern, 49), 0);
  int h = MuWGYInitStr(kWordPattern, 0);
  EXPECT_GT(h, 0);
  MuWGYTerm(h);
}

}  // namespace
}  // namespace wendul
