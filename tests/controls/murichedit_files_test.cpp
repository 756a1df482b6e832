// The document editor with files: what is loaded is written back byte for
// byte, and an edit changes only the lines it touched.
#include <gtest/gtest.h>

#include <QTest>
#include <QTextBlock>
#include <random>

#include "controls/murichedit.h"
#include "support/test_support.h"
#include "util/codec.h"
#include "util/doctext.h"

using namespace wendul;
using wendul::test::Sj;

namespace {

std::string Saved(const TmuRichEdit& ed) {
  DocWriter w(ed.UsualLineEnd());
  ed.WriteDocument(w);
  return w.Bytes();
}

void Load(TmuRichEdit& ed, const std::string& bytes) { ed.LoadDocument(DecodeSjisDocument(bytes)); }

}  // namespace

TEST(TmuRichEditFiles, WhatIsLoadedIsSavedByteForByteAndEditsStayOnTheirLines) {
  TmuRichEdit ed;
  // Duplicates, invalid bytes, NUL, a user character, mixed line breaks, a
  // long line with a duplicate in it, no break at the end, a lone lead byte.
  const std::string longLine = std::string(3000, 'a') + "\x87\x90" + std::string(10, 'b');
  const std::string file = Sj("一行目") + "\r\n" + "\x87\x90\xED\x40\xFA\x5C\n" + "\x85\x40\x80" + std::string(1, '\0') +
                           "\xF0\x40\r" + longLine + "\r\n" + Sj("最後") + "\x88";
  Load(ed, file);
  EXPECT_EQ(ed.LineCount(), 5);
  EXPECT_EQ(Saved(ed), file);
  EXPECT_EQ(ed.KeptLines(), 2);
  // Raw bytes count one byte each and read as "?", so positions and words keep their meaning.
  EXPECT_EQ(ed.LineLength(2), 6);
  EXPECT_EQ(ed.LineText(2), "?@??" "\xF0\x40");
  EXPECT_TRUE(ed.CheckByteIndex());

  // Typing at the end of line 0 changes only line 0.
  ed.SetSelStart(ed.LineIndex(0) + ed.LineLength(0));
  QTest::keyClicks(&ed, "x");
  std::string expected = file;
  expected.insert(Sj("一行目").size(), "x");
  EXPECT_EQ(Saved(ed), expected);
  // An edit inside the long line encodes only what was typed: the duplicate
  // after it keeps its NEC bytes (Windows would write 0x81E0).
  ed.SetSelStart(ed.LineIndex(3) + 5);
  QTest::keyClicks(&ed, "y");
  std::string dupLine = longLine;
  dupLine.insert(5, "y");
  expected.replace(expected.find(longLine), longLine.size(), dupLine);
  EXPECT_EQ(Saved(ed), expected);
  EXPECT_EQ(ed.KeptLines(), 2);
  EXPECT_TRUE(ed.CheckByteIndex());

  // An LF file gets LF for a new line.
  Load(ed, "one\ntwo\n");
  ed.SetSelStart(3);
  QTest::keyClick(&ed, Qt::Key_Return);
  QTest::keyClicks(&ed, "new");
  EXPECT_EQ(Saved(ed), "one\nnew\ntwo\n");
}

TEST(TmuRichEditFiles, RandomBytesSurviveTheEditor) {
  TmuRichEdit ed;
  std::mt19937 rng(7);
  for (int round = 0; round < 800; ++round) {
    std::string bytes(rng() % 600, '\0');
    for (char& b : bytes) b = (rng() % 4 == 0) ? "\r\n\x81\x88\xFA\xF0"[rng() % 6] : static_cast<char>(rng());
    Load(ed, bytes);
    ASSERT_EQ(Saved(ed), bytes) << "round " << round;
    ASSERT_TRUE(ed.CheckByteIndex());
  }
}

// Replacing the whole text clears the document, and Qt reports the empty
// first line while its cursors are set aside: the editor must not drop its
// own cursor then, or Qt later writes through a freed one.
TEST(TmuRichEditFiles, ReplacingTheTextAfterAnEditIsSafe) {
  TmuRichEdit ed;
  ed.resize(600, 400);
  ed.show();
  std::string text;
  for (int i = 0; i < 3000; ++i) text += Sj("東京タワーと東京駅の写真を撮りました。") + "\r\n";
  for (int round = 0; round < 80; ++round) {
    Load(ed, round % 2 ? text : "");
    ed.SetSelStart(ed.TextLength());
    QTest::keyClicks(&ed, "ab");
    ed.repaint();
    ed.SetText(round % 3 ? "x" : text);
    QTest::keyClicks(&ed, "c");
    ASSERT_TRUE(ed.CheckByteIndex());
  }
}
