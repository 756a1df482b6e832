// The document editor in bytes: positions, selection, unmappable characters,
// search, slices and the kept length through edits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextLayout>
#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "controls/murichedit.h"
#include "support/test_support.h"

using wendul::SjisString;
using wendul::TmuRichEdit;
using wendul::test::Sj;

namespace {

// The kept length must equal the encoded text, and every block's kept length
// must equal a fresh measurement.
void ExpectConsistent(const TmuRichEdit& ed) {
  EXPECT_EQ(ed.TextLength(), static_cast<int64_t>(ed.Text().size()));
  EXPECT_TRUE(ed.CheckByteIndex());
}

// Types text key by key. QTest::keyClicks knows only ASCII, so every
// character (a surrogate pair as one) is sent as a key event carrying it.
void Type(QWidget* w, const QString& text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    const QString ch = text.mid(i, n);
    QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, ch, Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, ch, Qt::NoModifier);
    i += n - 1;
  }
}

}  // namespace

TEST(TmuRichEdit, BytePositionsWithMixedTextAndLineBreaks) {
  TmuRichEdit ed;
  // a b 漢 字 CR LF ｶ ﾅ 全: 1+1+2+2+2+1+1+2
  const SjisString text = Sj("ab漢字\r\nｶﾅ全");
  ed.SetText(text);
  EXPECT_EQ(ed.TextLength(), 12);
  EXPECT_EQ(ed.Text(), text);
  EXPECT_EQ(ed.LineCount(), 2);
  EXPECT_EQ(ed.LineIndex(0), 0);
  EXPECT_EQ(ed.LineIndex(1), 8);
  EXPECT_EQ(ed.LineIndex(2), -1);
  EXPECT_EQ(ed.LineLength(0), 6);
  EXPECT_EQ(ed.LineText(1), Sj("ｶﾅ全"));
  EXPECT_EQ(ed.LineFromChar(7), 0);  // the LF still belongs to line 0
  EXPECT_EQ(ed.LineFromChar(8), 1);
  EXPECT_EQ(ed.LineFromChar(100), 1);

  // Every character start maps to an editor position and back.
  const int64_t starts[] = {0, 1, 2, 4, 6, 8, 9, 10, 12};
  for (int64_t b : starts) {
    int64_t snapped = -1;
    int pos = ed.ByteToPos(b, false, &snapped);
    EXPECT_EQ(snapped, b);
    EXPECT_EQ(ed.PosToByte(pos), b) << "byte " << b;
  }
  // Inside a character or between CR and LF: back to its start or on to its end.
  int64_t s = 0;
  ed.ByteToPos(3, false, &s);
  EXPECT_EQ(s, 2);
  ed.ByteToPos(3, true, &s);
  EXPECT_EQ(s, 4);
  ed.ByteToPos(7, false, &s);
  EXPECT_EQ(s, 6);
  EXPECT_EQ(ed.ByteToPos(7, true, &s), ed.ByteToPos(8));
  EXPECT_EQ(s, 8);
}

TEST(TmuRichEdit, CaretAndSelectionRoundTrip) {
  TmuRichEdit ed;
  ed.SetText(Sj("東京タワー\r\nabc"));
  ed.SetSelStart(4);
  EXPECT_EQ(ed.SelStart(), 4);
  EXPECT_EQ(ed.CaretPos(), 4);
  EXPECT_EQ(ed.SelLength(), 0);
  ed.SetSelLength(6);
  EXPECT_EQ(ed.SelStart(), 4);
  EXPECT_EQ(ed.SelLength(), 6);
  EXPECT_EQ(ed.SelText(), Sj("タワー"));

  // A selection across the line break reads it as CR LF.
  ed.SetSel(8, 14);
  EXPECT_EQ(ed.SelText(), Sj("ー\r\nab"));
  // Caret before the anchor: the selection start is still the smaller end.
  ed.SetSel(14, 8);
  EXPECT_EQ(ed.SelStart(), 8);
  EXPECT_EQ(ed.SelLength(), 6);

  // Inside a character the caret goes to the character's start.
  ed.SetSelStart(5);
  EXPECT_EQ(ed.SelStart(), 4);

  // Replacing the selection: any line break form becomes one line break.
  ed.SetSel(4, 10);
  ed.SetSelText(Sj("駅\nX"));
  EXPECT_EQ(ed.Text(), Sj("東京駅\r\nX\r\nabc"));
  EXPECT_EQ(ed.SelStart(), 9);  // after the inserted text
  ExpectConsistent(ed);

  ed.SetSel(0, -1);
  EXPECT_EQ(ed.SelText(), ed.Text());
}

TEST(TmuRichEdit, UnmappableCharactersCountOneByteAndReadAsQuestionMark) {
  TmuRichEdit ed;
  // An emoji and 𠮷 (both surrogate pairs) and Hangul (BMP, not in cp932).
  ed.insertPlainText(QString::fromUtf8("a\xF0\x9F\x98\x80" "b\xF0\xA0\xAE\xB7" "c\xED\x95\x9C" "d"));
  EXPECT_EQ(ed.TextLength(), 7);
  EXPECT_EQ(ed.Text(), "a?b?c?d");
  ExpectConsistent(ed);

  // The emoji is one byte: the caret after it is at byte 2 and at the
  // editor position after both halves of the pair.
  ed.SetSelStart(2);
  EXPECT_EQ(ed.textCursor().position(), 3);
  ed.SetSel(1, 2);
  EXPECT_EQ(ed.SelText(), "?");
  EXPECT_EQ(ed.toPlainText().mid(1, 2), QString::fromUtf8("\xF0\x9F\x98\x80"));

  int64_t from = 3;
  EXPECT_EQ(ed.TextSlice(from, 7), "?c?d");

  // Typed, the same: the character stays as typed in the document.
  TmuRichEdit typed;
  Type(&typed, QString::fromUtf8("x\xF0\xA0\xAE\xB7y"));
  EXPECT_EQ(typed.Text(), "x?y");
  EXPECT_EQ(typed.toPlainText(), QString::fromUtf8("x\xF0\xA0\xAE\xB7y"));
  EXPECT_EQ(typed.CaretPos(), 3);
}

TEST(TmuRichEdit, FindTextInRange) {
  TmuRichEdit ed;
  // 東京タワーと = 12 bytes, 東京駅 at 12..18, CR LF, then "abc ABC abcd" at 20.
  ed.SetText(Sj("東京タワーと東京駅\r\nabc ABC abcd"));
  EXPECT_EQ(ed.FindText(Sj("東京"), 0, -1), 0);
  EXPECT_EQ(ed.FindText(Sj("東京"), 1, -1), 12);  // from inside 東 moves on
  EXPECT_EQ(ed.FindText(Sj("東京駅"), 12, 17), -1);  // must lie wholly inside
  EXPECT_EQ(ed.FindText(Sj("東京駅"), 12, 18), 12);
  EXPECT_EQ(ed.FindText(Sj("駅\r\nab"), 0, -1), 16);
  EXPECT_EQ(ed.FindText("ABC", 0, -1), 20);                // not case-sensitive
  EXPECT_EQ(ed.FindText("ABC", 0, -1, true), 24);
  EXPECT_EQ(ed.FindText("abc", 21, -1), 24);
  EXPECT_EQ(ed.FindText("abc", 25, -1, true, true), -1);   // "abcd" is no whole word
  EXPECT_EQ(ed.FindText("abc", 25, -1, true, false), 28);
  EXPECT_EQ(ed.FindText("xyz", 0, -1), -1);
  EXPECT_EQ(ed.FindText("", 0, -1), -1);
  EXPECT_EQ(ed.FindText("abc", 10, 5), -1);
  // ソ is 0x83 0x5C, its trail byte being a backslash; the editor compares
  // characters, so a byte that is part of another character never matches.
  ed.SetText(Sj("ソ"));
  EXPECT_EQ(ed.FindText("\\", 0, -1), -1);
}

TEST(TmuRichEdit, TextSliceSnapsToCharacters) {
  TmuRichEdit ed;
  ed.SetText(Sj("漢字かな\r\nab"));
  int64_t from = 1;
  EXPECT_EQ(ed.TextSlice(from, 6), Sj("字か"));
  EXPECT_EQ(from, 2);
  from = 0;
  EXPECT_EQ(ed.TextSlice(from, 3), Sj("漢"));  // a character crossing `to` is left out
  from = 6;
  EXPECT_EQ(ed.TextSlice(from, 9), Sj("な"));   // to between CR and LF
  from = 6;
  EXPECT_EQ(ed.TextSlice(from, 11), Sj("な\r\na"));
  from = 9;  // between CR and LF: moves to the next line
  EXPECT_EQ(ed.TextSlice(from, 12), "ab");
  EXPECT_EQ(from, 10);
  from = -5;
  EXPECT_EQ(ed.TextSlice(from, 100), ed.Text());
  EXPECT_EQ(from, 0);
  from = 4;
  EXPECT_EQ(ed.TextSlice(from, 4), "");
}

TEST(TmuRichEdit, LengthKeptThroughTypingDeletingPastingAndUndo) {
  TmuRichEdit ed;
  std::vector<int64_t> lengthsAtChange;
  std::vector<int64_t> caretsAtChange;
  QObject::connect(&ed, &TmuRichEdit::Change, [&] {
    lengthsAtChange.push_back(ed.TextLength());
    caretsAtChange.push_back(ed.CaretPos());
  });

  Type(&ed, QString::fromUtf8("ab東京"));
  ASSERT_EQ(lengthsAtChange.size(), 4u);
  // The notification sees the new length and caret, as the learning needs.
  EXPECT_EQ(lengthsAtChange.back(), 6);
  EXPECT_EQ(caretsAtChange.back(), 6);
  ExpectConsistent(ed);

  QTest::keyClick(&ed, Qt::Key_Return);
  Type(&ed, QString::fromUtf8("駅x"));
  EXPECT_EQ(ed.Text(), Sj("ab東京\r\n駅x"));
  ExpectConsistent(ed);

  // Shift+Enter is an ordinary line break too.
  QTest::keyClick(&ed, Qt::Key_Return, Qt::ShiftModifier);
  EXPECT_EQ(ed.LineCount(), 3);
  EXPECT_EQ(ed.Text(), Sj("ab東京\r\n駅x\r\n"));
  ExpectConsistent(ed);

  // Backspace at a line start joins two lines.
  QTest::keyClick(&ed, Qt::Key_Backspace);
  ed.SetSelStart(8);  // start of the second line
  QTest::keyClick(&ed, Qt::Key_Backspace);
  EXPECT_EQ(ed.Text(), Sj("ab東京駅x"));
  ExpectConsistent(ed);

  // Deleting a selection.
  ed.SetSel(2, 6);
  QTest::keyClick(&ed, Qt::Key_Delete);
  EXPECT_EQ(ed.Text(), Sj("ab駅x"));
  ExpectConsistent(ed);

  // Pasting several lines (with a line separator, which becomes a break).
  auto* mime = new QMimeData;
  mime->setText(QString::fromUtf8("1\r\n2") + QChar(QChar::LineSeparator) + QStringLiteral("3\n"));
  QApplication::clipboard()->setMimeData(mime);
  ed.SetSelStart(2);
  ed.paste();
  EXPECT_EQ(ed.Text(), Sj("ab1\r\n2\r\n3\r\n駅x"));
  EXPECT_EQ(ed.LineCount(), 4);
  ExpectConsistent(ed);

  // Undo and redo go through the same bookkeeping.
  while (ed.document()->isUndoAvailable()) {
    ed.undo();
    ExpectConsistent(ed);
  }
  EXPECT_EQ(ed.TextLength(), 0);
  while (ed.document()->isRedoAvailable()) {
    ed.redo();
    ExpectConsistent(ed);
  }
  EXPECT_EQ(ed.Text(), Sj("ab1\r\n2\r\n3\r\n駅x"));

  // Loading a document notifies once and replaces everything.
  lengthsAtChange.clear();
  ed.SetText(Sj("新しい\r\n文書"));
  EXPECT_FALSE(lengthsAtChange.empty());
  EXPECT_EQ(lengthsAtChange.back(), 12);
  ExpectConsistent(ed);
  ed.SetText("");
  EXPECT_EQ(ed.TextLength(), 0);
  EXPECT_EQ(ed.LineIndex(0), 0);
}

TEST(TmuRichEdit, KeystrokeInLargeDocumentMeasuresOnlyItsLine) {
  // About 10 MB in 250,000 lines.
  SjisString line = Sj("東京タワーと東京駅の写真 abc 0123456789 ");
  SjisString text;
  const int lines = 250000;
  text.reserve((line.size() + 2) * lines);
  for (int i = 0; i < lines; ++i) {
    text += line;
    text += "\r\n";
  }
  TmuRichEdit ed;
  ed.SetText(text);
  ASSERT_EQ(ed.TextLength(), static_cast<int64_t>(text.size()));
  ASSERT_GT(ed.TextLength(), 10'000'000);

  const int64_t mid = ed.LineIndex(lines / 2) + 6;
  ed.SetSelStart(mid);
  const int64_t before = TmuRichEdit::BlocksMeasured();
  Type(&ed, QString::fromUtf8("駅"));
  EXPECT_LE(TmuRichEdit::BlocksMeasured() - before, 2);
  const int64_t afterChar = TmuRichEdit::BlocksMeasured();
  QTest::keyClick(&ed, Qt::Key_Return);
  EXPECT_LE(TmuRichEdit::BlocksMeasured() - afterChar, 3);
  const int64_t afterEnter = TmuRichEdit::BlocksMeasured();
  QTest::keyClick(&ed, Qt::Key_Backspace);
  EXPECT_LE(TmuRichEdit::BlocksMeasured() - afterEnter, 2);

  EXPECT_EQ(ed.TextLength(), static_cast<int64_t>(text.size()) + 2);
  EXPECT_EQ(ed.CaretPos(), mid + 2);
  int64_t from = mid - 6;
  EXPECT_EQ(ed.TextSlice(from, mid + 2), Sj("東京タ駅"));
  EXPECT_EQ(ed.LineFromChar(mid), lines / 2);
  EXPECT_EQ(ed.LineIndex(lines - 1), static_cast<int64_t>(line.size() + 2) * (lines - 1) + 2);
}

// A long line with a known byte offset for every character: ASCII, kanji,
// half-width katakana (1 byte), an emoji (a surrogate pair, 1 byte) and
// Hangul (not in code page 932, 1 byte), in a scrambled order.
struct LongLine {
  QString text;
  std::vector<int> pos;        // editor position of each character
  std::vector<int64_t> bytes;  // its byte offset
  std::vector<int> width;      // its bytes
  explicit LongLine(int chars, unsigned seed = 1) {
    const char* pieces[] = {"a", "\xE6\xBC\xA2", "\xEF\xBD\xB6", "\xF0\x9F\x98\x80", "\xED\x95\x9C", "Z"};
    const int widths[] = {1, 2, 1, 1, 1, 1};
    int64_t at = 0;
    for (int i = 0; i < chars; ++i) {
      seed = seed * 1103515245u + 12345u;
      const int k = static_cast<int>((seed >> 16) % 6);
      pos.push_back(static_cast<int>(text.size()));
      bytes.push_back(at);
      width.push_back(widths[k]);
      text += QString::fromUtf8(pieces[k]);
      at += widths[k];
    }
    pos.push_back(static_cast<int>(text.size()));
    bytes.push_back(at);
  }
};

// Every `step`-th character start of line `line` (at byte `lineStart`) maps
// to its position and back, and a byte inside a kanji snaps both ways.
void ExpectRoundTrips(const TmuRichEdit& ed, const LongLine& l, int blockPos, int64_t lineStart, size_t step,
                      size_t count = SIZE_MAX) {
  for (size_t i = 0; i < std::min(count, l.pos.size()); i += step) {
    const int pos = blockPos + l.pos[i];
    const int64_t byte = lineStart + l.bytes[i];
    ASSERT_EQ(ed.PosToByte(pos), byte) << "character " << i;
    int64_t snapped = -1;
    ASSERT_EQ(ed.ByteToPos(byte, false, &snapped), pos) << "character " << i;
    ASSERT_EQ(snapped, byte);
    if (i < l.width.size() && l.width[i] == 2) {
      EXPECT_EQ(ed.ByteToPos(byte + 1, false), pos);
      EXPECT_EQ(ed.ByteToPos(byte + 1, true, &snapped), blockPos + l.pos[i + 1]);
      EXPECT_EQ(snapped, byte + 2);
    }
  }
}

TEST(TmuRichEdit, LongLineConvertsThroughItsRuns) {
  const LongLine l(20000);
  TmuRichEdit ed;
  ed.setPlainText(QStringLiteral("first\n") + l.text + QStringLiteral("\nlast"));
  ExpectConsistent(ed);
  EXPECT_EQ(ed.LineLength(1), l.bytes.back());
  ExpectRoundTrips(ed, l, 6, 7, 1);
  EXPECT_EQ(ed.ByteToPos(7 + l.bytes.back() + 1, true), 6 + l.pos.back() + 1);  // CR LF after the line

  // Slices inside the line encode only what they cover.
  const size_t mid = 12345;
  int64_t from = 7 + l.bytes[mid];
  const int64_t to = 7 + l.bytes[mid + 40];
  const SjisString slice = ed.TextSlice(from, to);
  EXPECT_EQ(slice, ed.Text().substr(static_cast<size_t>(from), static_cast<size_t>(to - from)));
  ed.SetSel(from, to);
  EXPECT_EQ(ed.SelText(), slice);
  EXPECT_EQ(ed.SelLength(), to - from);
  size_t kanji = mid;
  while (l.width[kanji] != 2) ++kanji;
  EXPECT_EQ(ed.FindText(Sj("漢"), from, -1), 7 + l.bytes[kanji]);
}

TEST(TmuRichEdit, LongLineEditsCountOnlyTheRunsAroundThem) {
  const LongLine l(100000, 7);
  TmuRichEdit ed;
  ed.setPlainText(l.text);
  ExpectConsistent(ed);

  // Typing, deleting and committing from an input method in the middle:
  // each counts a few runs, not the line (an input method reports the whole
  // block as changed).
  const int mid = l.pos[50000];
  QTextCursor c = ed.textCursor();
  c.setPosition(mid);
  ed.setTextCursor(c);
  int64_t before = TmuRichEdit::CharsMeasured();
  Type(&ed, QString::fromUtf8("駅"));
  EXPECT_LT(TmuRichEdit::CharsMeasured() - before, 2000);
  before = TmuRichEdit::CharsMeasured();
  QTest::keyClick(&ed, Qt::Key_Backspace);
  EXPECT_LT(TmuRichEdit::CharsMeasured() - before, 2000);
  before = TmuRichEdit::CharsMeasured();
  QInputMethodEvent preedit(QString::fromUtf8("とうきょう"), {});
  QApplication::sendEvent(&ed, &preedit);
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("東京"));
  QApplication::sendEvent(&ed, &commit);
  EXPECT_LT(TmuRichEdit::CharsMeasured() - before, 4000);
  EXPECT_EQ(ed.CaretPos(), l.bytes[50000] + 4);
  ExpectConsistent(ed);

  // What the learning reads before the caret.
  int64_t from = ed.CaretPos() - 6;
  EXPECT_EQ(ed.TextSlice(from, ed.CaretPos()), ed.Text().substr(static_cast<size_t>(from), 6));
  ExpectRoundTrips(ed, l, 0, 0, 97, 50000);  // the part before the edit is unchanged

  // Undo back to the loaded line, then redo.
  while (ed.document()->isUndoAvailable()) ed.undo();
  ExpectConsistent(ed);
  EXPECT_EQ(ed.toPlainText(), l.text);
  ExpectRoundTrips(ed, l, 0, 0, 499);
  while (ed.document()->isRedoAvailable()) ed.redo();
  ExpectConsistent(ed);
  EXPECT_EQ(ed.TextLength(), l.bytes.back() + 4);
}

TEST(TmuRichEdit, LongLineSplitJoinedShrunkAndRegrown) {
  const LongLine l(6000, 3);
  TmuRichEdit ed;
  ed.setPlainText(l.text);

  // Enter in the middle, at a run's edge and between two halves of the text.
  for (int at : {3000, 256, 2047}) {
    QTextCursor c = ed.textCursor();
    c.setPosition(l.pos[at]);
    ed.setTextCursor(c);
    QTest::keyClick(&ed, Qt::Key_Return);
    ExpectConsistent(ed);
    EXPECT_EQ(ed.LineIndex(1), l.bytes[at] + 2);
    QTest::keyClick(&ed, Qt::Key_Backspace);
    ExpectConsistent(ed);
    EXPECT_EQ(ed.toPlainText(), l.text);
  }

  // A line break replaced by another in one edit, before a second long line
  // (seen by the editor as a change of the first line only).
  const LongLine second(5000, 9);
  ed.setPlainText(l.text + QChar(u'\n') + second.text);
  ed.SetSel(l.bytes.back() - 1, l.bytes.back() + 2);
  ed.SetSelText(Sj("東\r\n"));
  EXPECT_EQ(ed.LineCount(), 2);
  ExpectConsistent(ed);
  const int64_t secondAt = l.bytes.back() - l.width.back() + 4;
  ExpectRoundTrips(ed, second, ed.document()->lastBlock().position(), secondAt, 3);
  ed.setPlainText(l.text);

  // Deleting most of the line drops its runs; typing it long again builds
  // them anew; undo brings the whole line back.
  ed.SetSel(10, ed.TextLength() - 10);
  QTest::keyClick(&ed, Qt::Key_Delete);
  ExpectConsistent(ed);
  SjisString chunk;
  for (int i = 0; i < 300; ++i) chunk += Sj("東京abc");
  for (int i = 0; i < 5; ++i) {
    ed.SetSelText(chunk);
    ExpectConsistent(ed);
  }
  EXPECT_EQ(ed.TextLength(), 20 + 5 * static_cast<int64_t>(chunk.size()));
  while (ed.document()->isUndoAvailable()) ed.undo();
  EXPECT_EQ(ed.toPlainText(), l.text);
  ExpectConsistent(ed);
  ExpectRoundTrips(ed, l, 0, 0, 7);
  ed.clear();
  EXPECT_EQ(ed.TextLength(), 0);
  ExpectConsistent(ed);
}

TEST(TmuRichEdit, OnlyTheLineBeingEditedKeepsItsGlyphs) {
  TmuRichEdit ed;
  ed.SetText(Sj("one\r\ntwo\r\nthree"));
  auto cached = [&](int line) { return ed.document()->findBlockByNumber(line).layout()->cacheEnabled(); };
  ed.SetSelStart(ed.LineIndex(0) + 3);
  Type(&ed, QStringLiteral("x"));
  EXPECT_TRUE(cached(0));
  ed.SetSelStart(ed.LineIndex(2));
  Type(&ed, QStringLiteral("y"));
  EXPECT_FALSE(cached(0));
  EXPECT_TRUE(cached(2));
  QTest::keyClick(&ed, Qt::Key_Return);  // the new line is the one being typed
  EXPECT_FALSE(cached(2));
  EXPECT_TRUE(cached(3));
  QTest::keyClick(&ed, Qt::Key_Backspace);  // joined back
  EXPECT_TRUE(cached(2));
  EXPECT_EQ(ed.Text(), Sj("onex\r\ntwo\r\nythree"));
  ExpectConsistent(ed);
}

TEST(TmuRichEdit, LongLineSurrogateHalvesJoinedAcrossEdits) {
  // A high and a low surrogate with a character between them become one
  // character (1 byte) when that character goes. A line of 3,000 units is
  // cut into runs every 250 units when loaded, so moving the trio across
  // unit 250 puts the cut before, inside and after it.
  const QChar high(0xD83D), low(0xDE00);
  for (int h = 244; h <= 256; ++h) {
    QString line(3000, QChar(u'x'));
    line[h] = high;
    line[h + 1] = QChar(u'-');
    line[h + 2] = low;
    TmuRichEdit ed;
    ed.setPlainText(line);
    ASSERT_EQ(ed.TextLength(), 3000);
    QTextCursor c(ed.document());
    c.setPosition(h + 1);
    c.deleteChar();  // the pair forms
    EXPECT_EQ(ed.TextLength(), 2998) << h;
    ExpectConsistent(ed);
    EXPECT_EQ(ed.PosToByte(h + 2), h + 1);
    c.setPosition(h + 1);
    c.insertText(QStringLiteral("="));  // and parts again
    EXPECT_EQ(ed.TextLength(), 3000) << h;
    ExpectConsistent(ed);
  }
}

TEST(TmuRichEdit, ImeColorsReplaceThePreeditColours) {
  TmuRichEdit ed;
  ed.SetIMEColors({{{Qt::black, Qt::yellow}, {Qt::white, Qt::blue}, {Qt::red, Qt::green}, {Qt::gray, Qt::cyan}}});
  auto preeditFormats = [&] { return ed.textCursor().block().layout()->formats(); };

  // Being typed: the input method only underlines.
  QTextCharFormat underline;
  underline.setFontUnderline(true);
  QInputMethodEvent typing(QString::fromUtf8("とうきょう"),
                           {{QInputMethodEvent::TextFormat, 0, 5, underline}});
  QApplication::sendEvent(&ed, &typing);
  auto f = preeditFormats();
  ASSERT_FALSE(f.isEmpty());
  EXPECT_EQ(f[0].format.background().color(), QColor(Qt::yellow));
  EXPECT_EQ(f[0].format.foreground().color(), QColor(Qt::black));
  EXPECT_TRUE(f[0].format.fontUnderline());  // the method's own marks stay

  // Converting: the clause with a background is the current one.
  QTextCharFormat current;
  current.setBackground(Qt::darkBlue);
  QInputMethodEvent converting(QString::fromUtf8("東京に"), {{QInputMethodEvent::TextFormat, 0, 2, current},
                                                          {QInputMethodEvent::TextFormat, 2, 1, underline}});
  QApplication::sendEvent(&ed, &converting);
  f = preeditFormats();
  ASSERT_EQ(f.size(), 2);
  EXPECT_EQ(f[0].format.background().color(), QColor(Qt::blue));
  EXPECT_EQ(f[0].format.foreground().color(), QColor(Qt::white));
  EXPECT_EQ(f[1].format.background().color(), QColor(Qt::green));

  // Committing puts the text into the document like typing.
  QInputMethodEvent commit;
  commit.setCommitString(QString::fromUtf8("東京に"));
  QApplication::sendEvent(&ed, &commit);
  EXPECT_EQ(ed.Text(), Sj("東京に"));
  EXPECT_EQ(ed.TextLength(), 6);

  ed.SetImeMode(TmuRichEdit::ImeMode::Closed);
  EXPECT_TRUE(ed.inputMethodHints() & Qt::ImhPreferLatin);
  ed.SetImeMode(TmuRichEdit::ImeMode::Hiragana);
  EXPECT_FALSE(ed.inputMethodHints() & Qt::ImhPreferLatin);
  EXPECT_EQ(ed.imeMode(), TmuRichEdit::ImeMode::Hiragana);
}

TEST(TmuRichEdit, OnlyAChangeOfTheTextIsAChange) {
  TmuRichEdit ed;
  ed.SetText("ab");
  ed.SetSelStart(2);
  int changes = 0;
  QObject::connect(&ed, &TmuRichEdit::Change, [&] { ++changes; });
  auto send = [&](QInputMethodEvent&& e) { QApplication::sendEvent(&ed, &e); };
  auto preedit = [&](const char* utf8) { send(QInputMethodEvent(QString::fromUtf8(utf8), {})); };
  auto commit = [&](const char* utf8, int from = 0, int length = 0) {
    QInputMethodEvent e;
    e.setCommitString(QString::fromUtf8(utf8), from, length);
    send(std::move(e));
  };

  // Composing and cancelling leave the text, the length and the modified
  // state as they were, with or without the composition colours.
  preedit("\xE3\x81\x8B");                      // か
  preedit("\xE3\x81\x8B\xE3\x82\x93");          // かん
  ed.SetIMEColors({{{Qt::black, Qt::yellow}, {Qt::white, Qt::blue}, {Qt::red, Qt::green}, {Qt::gray, Qt::cyan}}});
  preedit("\xE3\x81\x8B\xE3\x82\x93\xE3\x81\x98");  // かんじ
  EXPECT_EQ(ed.TextLength(), 2);
  send(QInputMethodEvent());  // cancelled
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(ed.Text(), "ab");
  EXPECT_FALSE(ed.document()->isModified());
  EXPECT_TRUE(ed.CheckByteIndex());

  // A commit is one change, also one that replaces the character before.
  preedit("\xE3\x81\x8B");
  commit("\xE6\xBC\xA2\xE5\xAD\x97");  // 漢字
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(ed.Text(), Sj("ab漢字"));
  commit("\xE6\x96\x87", -1, 1);  // 文 over 字
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(ed.Text(), Sj("ab漢文"));

  // A composition begun over a selection removes it: a change, and the
  // cancel that follows is none.
  ed.SetSel(0, 2);
  changes = 0;
  preedit("\xE3\x81\xA8");  // と
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(ed.Text(), Sj("漢文"));
  send(QInputMethodEvent());
  EXPECT_EQ(changes, 1);
  // Typing is a change as before.
  QTest::keyClick(&ed, Qt::Key_X);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(ed.Text(), Sj("x漢文"));
  EXPECT_TRUE(ed.CheckByteIndex());
}

TEST(TmuRichEdit, WordWrapAndScrollPosition) {
  TmuRichEdit ed;
  ed.SetWordWrap(false);
  EXPECT_FALSE(ed.WordWrap());
  ed.SetWordWrap(true);
  EXPECT_TRUE(ed.WordWrap());
  SjisString text;
  for (int i = 0; i < 500; ++i) text += "line\r\n";
  ed.resize(300, 200);
  ed.show();
  ed.SetText(text);
  ed.SetScrollPos(120);
  EXPECT_EQ(ed.ScrollPos(), 120);
}
