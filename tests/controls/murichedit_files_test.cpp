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

// Enter cuts a line in two: both pieces keep the line's own break, and the
// characters on either side of the cut keep the bytes they were read from.
TEST(TmuRichEditFiles, EnterKeepsTheLinesBreakAndItsUntouchedBytes) {
  TmuRichEdit ed;
  const std::string file = "one\r\nab LF cd\nnext\r\n\x87\x90\xED\x40 nec\r\nlast";
  Load(ed, file);
  ed.SetSelStart(ed.LineIndex(1) + 5);  // "ab LF| cd"
  QTest::keyClick(&ed, Qt::Key_Return);
  EXPECT_EQ(Saved(ed), "one\r\nab LF\n cd\nnext\r\n\x87\x90\xED\x40 nec\r\nlast");
  ed.SetSelStart(ed.LineIndex(4));  // the start of the NEC line
  QTest::keyClick(&ed, Qt::Key_Return);
  QTest::keyClicks(&ed, "x");
  EXPECT_EQ(Saved(ed), "one\r\nab LF\n cd\nnext\r\n\r\nx\x87\x90\xED\x40 nec\r\nlast");
  // Enter inside it, and a pasted line: the NEC bytes stay on both sides.
  ed.SetSelStart(ed.LineIndex(5) + 3);  // "x≒|ｍ nec"
  QTest::keyClick(&ed, Qt::Key_Return);
  ed.insertPlainText(QStringLiteral("p1\np2"));
  EXPECT_EQ(Saved(ed), "one\r\nab LF\n cd\nnext\r\n\r\nx\x87\x90\r\np1\r\np2\xED\x40 nec\r\nlast");
  EXPECT_TRUE(ed.CheckByteIndex());
}

TEST(TmuRichEditFiles, AUtf8FileKeepsWhatShiftJisCannotHold) {
  TmuRichEdit ed;
  const std::string file = "\xEF\xBB\xBF\xE6\x9D\xB1\xF0\xA0\xAE\xB7 caf\xC3\xA9\n\xF0\x9F\x98\x80\n";
  ed.LoadDocument(DecodeDocument(file));
  EXPECT_EQ(ed.Codec(), (DocCodec{DocEncoding::Utf8, true}));
  // The system's bytes: "東" two, "𠮷", "é" and the emoji one each, read as "?".
  EXPECT_EQ(ed.Text(), Sj("東") + "? caf?\r\n?\r\n");
  ed.SetSelStart(ed.LineIndex(1) + 1);
  QTest::keyClicks(&ed, "!");
  DocWriter w(ed.UsualLineEnd(), ed.Codec());
  ed.WriteDocument(w);
  EXPECT_FALSE(w.HasLoss());
  EXPECT_EQ(w.Bytes(), "\xEF\xBB\xBF\xE6\x9D\xB1\xF0\xA0\xAE\xB7 caf\xC3\xA9\n\xF0\x9F\x98\x80!\n");
}

// Typing, Enter, Backspace and pasted lines anywhere in a file with kept
// lines: what is saved always reads back as the text the editor shows.
TEST(TmuRichEditFiles, RandomEditsOfKeptLinesSaveTheTextShown) {
  TmuRichEdit ed;
  std::mt19937 rng(19);
  // Valid text only: NEC and IBM duplicates, a user character, mixed breaks.
  const std::vector<std::string> pieces = {"a", " ", Sj("東"), "\x87\x90", "\xED\x40", "\xFA\x5C", "\xF0\x40",
                                           "\r\n", "\n", "\r", Sj("ｱ")};
  for (int round = 0; round < 200; ++round) {
    std::string bytes;
    for (int n = static_cast<int>(rng() % 40); n > 0; --n) bytes += pieces[rng() % pieces.size()];
    const DocEncoding e = round % 2 ? DocEncoding::EucJp : DocEncoding::ShiftJis;
    if (e == DocEncoding::EucJp) bytes = EncodeDocText(DecodeSjisDocument(bytes), {e, false});
    const DocText doc = DecodeDocument(bytes, {e, false});
    ed.LoadDocument(doc);
    for (int k = static_cast<int>(rng() % 6); k > 0; --k) {
      QTextCursor c = ed.textCursor();
      c.setPosition(static_cast<int>(rng() % static_cast<unsigned>(ed.document()->characterCount())));
      ed.setTextCursor(c);
      switch (rng() % 4) {
        case 0: QTest::keyClick(&ed, Qt::Key_Return); break;
        case 1: QTest::keyClick(&ed, Qt::Key_Backspace); break;
        case 2: ed.insertPlainText(QString::fromUtf8("x\n東")); break;
        default: QTest::keyClicks(&ed, "y"); break;
      }
    }
    DocWriter w(ed.UsualLineEnd(), ed.Codec());
    ed.WriteDocument(w);
    const DocText back = DecodeDocument(w.Bytes(), {e, false});
    ASSERT_EQ(QString::fromStdU16String(back.text), ed.PlainLines()) << "round " << round;
    ASSERT_TRUE(ed.CheckByteIndex());
  }
}
