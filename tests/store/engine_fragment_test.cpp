// The fragment before the caret: where the backward scan stops, and what
// SepKeywordAtCaret hands to the extraction (nothing is stored here).
#include <gtest/gtest.h>

#include <string>

#include "engine_fake_editor.h"
#include "store/mt.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "support/test_support.h"

namespace wendul {
namespace {

using test::FakeEditor;
using test::Sj;

class FragmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    handle = MuWGYInitStr(kWordPattern, kWordPatternLimit);
    SetWordPatternHandle(handle);
  }
  void TearDown() override {
    SetWordPatternHandle(0);
    MuWGYTerm(handle);
  }
  // The word before the caret, as the automatic seek asks for it.
  SjisString Remainder(const FakeEditor& ed) { return SepKeywordAtCaret(table, ed, true, true); }

  int handle = 0;
  MT table;  // never opened: with "no register" the table is not touched
};

TEST_F(FragmentTest, BreaksRightBeforeTheCaretDoNotEndTheFragment) {
  for (const SjisString& brk : {Sj("。"), Sj("、"), SjisString("\r\n")}) {
    // The break's first byte 2, 3 or 4 positions before the caret: not tested.
    for (const char* tail : {"", "x", "xy"}) {
      FakeEditor ed("ABC" + brk + tail);
      EXPECT_EQ(FindFragmentStart(ed), 0);
      EXPECT_EQ(Remainder(ed), *tail ? SjisString(tail) : SjisString("ABC")) << tail;
    }
    // 5 positions and more: the fragment starts right after the break.
    EXPECT_TRUE(IsSentenceBreak(brk));
    FakeEditor ed("ABC" + brk + "xyz");
    EXPECT_EQ(FindFragmentStart(ed), 3);
    EXPECT_EQ(Remainder(ed), "xyz");
    // The nearest break wins.
    FakeEditor two("A" + brk + "B" + brk + "wxyz");
    EXPECT_EQ(FindFragmentStart(two), 4);
  }
}

TEST_F(FragmentTest, TheScanStopsAt301Positions) {
  // No break: the scan stops 301 back, the fragment starts 299 back.
  FakeEditor plain(std::string(400, 'a'));
  EXPECT_EQ(FindFragmentStart(plain), 99);
  EXPECT_EQ(Remainder(plain), std::string(299, 'a'));
  EXPECT_LE(plain.mostBytesRead, 305);
  // A break starting exactly 301 back is still seen; one 302 back is not.
  FakeEditor at301(std::string(97, 'b') + Sj("。") + std::string(299, 'a'));
  EXPECT_EQ(FindFragmentStart(at301), 97);
  FakeEditor at302(std::string(97, 'b') + Sj("。") + std::string(300, 'a'));
  EXPECT_EQ(FindFragmentStart(at302), 98);
  EXPECT_EQ(Remainder(at302), std::string(299, 'a'));
  // Near the start of the text the scan ends at 0 and the whole text is taken,
  // a break at position 0 included.
  FakeEditor start(Sj("。") + "abcdef");
  EXPECT_EQ(FindFragmentStart(start), 0);
  EXPECT_EQ(Remainder(start), "abcdef");
  FakeEditor tiny("ab");
  EXPECT_EQ(FindFragmentStart(tiny), 0);
  EXPECT_EQ(Remainder(tiny), "");  // 2 bytes are no fragment
  FakeEditor none("");
  EXPECT_EQ(FindFragmentStart(none), 0);
  EXPECT_EQ(Remainder(none), "");
}

TEST_F(FragmentTest, AStopInsideACharacterStartsTheFragmentAtTheNextOne) {
  // 200 ア: characters start at even positions, the scan stops at 99.
  SjisString a = Sj("ア");
  SjisString text;
  for (int i = 0; i < 200; ++i) text += a;
  FakeEditor ed(text);
  EXPECT_EQ(FindFragmentStart(ed), 99);
  SjisString expect;
  for (int i = 0; i < 149; ++i) expect += a;
  EXPECT_EQ(Remainder(ed), expect);
}

TEST_F(FragmentTest, ACharacterEndingIn0x81DoesNotMakeABreakWithTheNextByte) {
  // メ is 0x83 0x81: followed by B (0x42) or A (0x41) its trail byte and the
  // next byte read 0x81 0x42 "。" / 0x81 0x41 "、" if tested mid-character.
  for (const char* next : {"BCDEF", "ACDEF"}) {
    FakeEditor ed("XYZ" + Sj("メ") + next);
    EXPECT_EQ(FindFragmentStart(ed), 0) << next;
    EXPECT_EQ(Remainder(ed), "XYZ" + Sj("メ") + next);
  }
  // A real break next to it is still found.
  FakeEditor real(Sj("メ。") + "BCDEF");
  EXPECT_EQ(FindFragmentStart(real), 2);
  EXPECT_EQ(Remainder(real), "BCDEF");
}

TEST_F(FragmentTest, TheCaretInsideTheTextCutsThere) {
  FakeEditor ed(Sj("前の文。東京タワーに行った"), 0);
  ed.caret = static_cast<int64_t>(Sj("前の文。東京タワーに行").size());
  EXPECT_EQ(Remainder(ed), Sj("行"));
  EXPECT_EQ(SepKeywordAtCaret(table, ed, false, true), Sj("行"));
  EXPECT_EQ(ed.caret, static_cast<int64_t>(Sj("前の文。東京タワーに行").size()));
}

}  // namespace
}  // namespace wendul
