// A random differential probe of the document editor's byte index: edits as
// a user makes them (typing, Enter, Backspace and Delete, selections, pastes
// with every line break form, input-method commits, undo and redo, long lines,
// characters code page 932 cannot hold), and after every step each byte
// position, length, line query and slice compared with a recount of the
// whole text. Deterministic; WENDUL_PROBE_SEED and WENDUL_PROBE_STEPS run
// another seed or more steps.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "controls/murichedit.h"
#include "controls/richeditview.h"
#include "support/test_support.h"
#include "util/codec.h"

using wendul::SjisString;
using wendul::TmuRichEdit;
using wendul::test::Sj;

namespace {

// The text recounted from the editor's characters, independently of its index.
struct Recount {
  SjisString bytes;
  std::vector<int64_t> posByte;    // byte of each editor position; -1 inside a surrogate pair
  std::vector<int64_t> charByte;   // byte where each character starts, then the length
  std::vector<int> charPos;        // its editor position, then the end
  std::vector<int64_t> lineStart;  // byte where each line starts

  explicit Recount(const QTextDocument& doc) {
    const QString raw = doc.toRawText();
    const qsizetype n = raw.size();
    lineStart.push_back(0);
    for (qsizetype i = 0; i < n;) {
      const char16_t c = raw.at(i).unicode();
      const auto at = static_cast<int64_t>(bytes.size());
      posByte.push_back(at);
      charByte.push_back(at);
      charPos.push_back(static_cast<int>(i));
      if (raw.at(i).isHighSurrogate() && i + 1 < n && raw.at(i + 1).isLowSurrogate()) {
        bytes += '?';
        posByte.push_back(-1);
        i += 2;
        continue;
      }
      if (c == 0x2029) {
        bytes += "\r\n";
        lineStart.push_back(static_cast<int64_t>(bytes.size()));
      } else if (c == 0x2028) {
        bytes += "\r\n";
      } else {
        char out[2];
        const int k = wendul::EncodeCp932Char(c, out);
        if (k == 0) bytes += '?';
        else bytes.append(out, static_cast<size_t>(k));
      }
      ++i;
    }
    posByte.push_back(static_cast<int64_t>(bytes.size()));
    charByte.push_back(static_cast<int64_t>(bytes.size()));
    charPos.push_back(static_cast<int>(n));
  }

  // Index of the character holding byte b (the end for b at the length).
  size_t CharAt(int64_t b) const {
    return static_cast<size_t>(std::upper_bound(charByte.begin(), charByte.end(), b) - charByte.begin() - 1);
  }
  size_t LineAt(int64_t b) const {
    return static_cast<size_t>(std::upper_bound(lineStart.begin(), lineStart.end(), b) - lineStart.begin() - 1);
  }
};

// Every query against the recount; the first difference, or "".
std::string Compare(const TmuRichEdit& ed, std::mt19937& rng) {
  if (!ed.CheckByteIndex()) return "kept block lengths differ from a fresh measurement";
  const Recount r(*ed.document());
  const auto len = static_cast<int64_t>(r.bytes.size());
  std::ostringstream err;
  auto same = [&](const auto& got, const auto& want, std::string_view what, int64_t at = -1) {
    if (got == want) return true;
    err << what << (at >= 0 ? "(" + std::to_string(at) + ")" : "") << ": " << got << ", recount " << want;
    return false;
  };
  auto sub = [&](int64_t from, int64_t to) {
    return to > from ? r.bytes.substr(static_cast<size_t>(from), static_cast<size_t>(to - from)) : SjisString();
  };
  if (!same(ed.TextLength(), len, "TextLength") || !same(ed.Text(), r.bytes, "Text")) return err.str();
  for (size_t p = 0; p < r.posByte.size(); ++p)
    if (r.posByte[p] >= 0 && !same(ed.PosToByte(static_cast<int>(p)), r.posByte[p], "PosToByte", p)) return err.str();
  for (int64_t b = 0; b <= len; ++b) {
    const size_t k = r.CharAt(b), next = r.charByte[k] == b ? k : k + 1;
    int64_t back = -1, fwd = -1;
    if (!same(ed.ByteToPos(b, false, &back), r.charPos[k], "ByteToPos", b) || !same(back, r.charByte[k], "snapped", b) ||
        !same(ed.ByteToPos(b, true, &fwd), r.charPos[next], "ByteToPos forward", b) ||
        !same(fwd, r.charByte[next], "snapped forward", b) ||
        !same(ed.LineFromChar(b), static_cast<int>(r.LineAt(b)), "LineFromChar", b))
      return err.str();
  }
  const auto lines = static_cast<int>(r.lineStart.size());
  if (!same(ed.LineCount(), lines, "LineCount") || !same(ed.LineIndex(lines), int64_t{-1}, "LineIndex past the end"))
    return err.str();
  for (int i = 0; i < lines; ++i) {
    const int64_t start = r.lineStart[static_cast<size_t>(i)];
    const int64_t end = i + 1 < lines ? r.lineStart[static_cast<size_t>(i) + 1] - 2 : len;
    if (!same(ed.LineIndex(i), start, "LineIndex", i) || !same(ed.LineLength(i), end - start, "LineLength", i) ||
        !same(ed.LineText(i), sub(start, end), "LineText", i))
      return err.str();
  }
  // Slices: `from` moves to a character's end, a character crossing `to` is left out.
  std::uniform_int_distribution<int64_t> any(0, len);
  for (int i = 0; i < 24; ++i) {
    const int64_t asked = any(rng), to = i % 4 == 0 ? len : any(rng);
    const size_t k = r.CharAt(asked);
    const int64_t start = r.charByte[r.charByte[k] == asked ? k : k + 1];
    int64_t from = asked;
    if (!same(ed.TextSlice(from, to), sub(start, r.charByte[r.CharAt(to)]), "TextSlice to " + std::to_string(to), asked) ||
        !same(from, start, "TextSlice's start", asked))
      return err.str();
  }
  const QTextCursor c = ed.textCursor();
  const int64_t selStart = r.posByte[static_cast<size_t>(c.selectionStart())];
  const int64_t selEnd = r.posByte[static_cast<size_t>(c.selectionEnd())];
  if (selStart < 0 || selEnd < 0) return "the caret is inside a surrogate pair";
  if (!same(ed.SelStart(), selStart, "SelStart") || !same(ed.CaretPos(), selStart, "CaretPos") ||
      !same(ed.SelLength(), selEnd - selStart, "SelLength") || !same(ed.SelText(), sub(selStart, selEnd), "SelText"))
    return err.str();
  return {};
}

// What a user may type or paste: ASCII, kana, kanji, half-width katakana, a
// long vowel mark, punctuation, and characters code page 932 cannot hold (an
// emoji and 𠮷 as surrogate pairs, Hangul).
const char* const kPieces[] = {"a", "Z", " ", "\xE3\x81\x82", "\xE6\xBC\xA2", "\xEF\xBD\xB6", "\xE3\x83\xBC",
                               "\xE3\x80\x81", "\xE3\x80\x82", "\xF0\x9F\x98\x80", "\xF0\xA0\xAE\xB7",
                               "\xED\x95\x9C"};
const QString kBreaks[] = {QStringLiteral("\n"), QStringLiteral("\r"), QStringLiteral("\r\n"),
                           QString(QChar(QChar::LineSeparator)), QString(QChar(QChar::ParagraphSeparator))};

class Probe {
 public:
  // longLines: paragraphs of thousands of characters (pasted often, rarely
  // broken by Enter), and the keys and clicks that move by lines.
  Probe(TmuRichEdit& ed, uint32_t seed, bool longLines = false) : ed_(ed), rng_(seed), longLines_(longLines) {}

  // One user action; returns its name for the failure report.
  std::string Step() {
    const int len = ed_.document()->characterCount() - 1;
    if (len > (longLines_ ? 6000 : 2500)) {  // keep the document small enough to recount every step
      Select(Pick(0, len / 4), Pick(len / 2, len));
      QTest::keyClick(&ed_, Qt::Key_Delete);
      return "delete a large part";
    }
    const int op = Pick(0, 99);
    if (longLines_ && op < 12) {
      static const Qt::Key kMoves[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End, Qt::Key_PageUp,
                                       Qt::Key_PageDown};
      const Qt::Key k = kMoves[Pick(0, 5)];
      QTest::keyClick(&ed_, k, Pick(0, 3) == 0 ? Qt::ShiftModifier : Qt::NoModifier);
      return "line key " + std::to_string(k);
    }
    if (longLines_ && op < 16) {
      const QPoint at(Pick(0, ed_.viewport()->width() - 1), Pick(0, ed_.viewport()->height() - 1));
      QTest::mouseClick(ed_.viewport(), Qt::LeftButton, Pick(0, 3) == 0 ? Qt::ShiftModifier : Qt::KeyboardModifiers(),
                        at);
      return "click at " + std::to_string(at.x()) + "," + std::to_string(at.y());
    }
    if (op < 30 || (longLines_ && op < 38)) {
      const QString t = Piece();
      QTest::sendKeyEvent(QTest::Press, &ed_, Qt::Key_unknown, t, Qt::NoModifier);
      QTest::sendKeyEvent(QTest::Release, &ed_, Qt::Key_unknown, t, Qt::NoModifier);
      return "type " + t.toStdString();
    }
    if (op < 40) {
      QTest::keyClick(&ed_, Qt::Key_Return, Pick(0, 3) == 0 ? Qt::ShiftModifier : Qt::NoModifier);
      return "Enter";
    }
    if (op < 47) {
      QTest::keyClick(&ed_, Qt::Key_Backspace);
      return "Backspace";
    }
    if (op < 52) {
      QTest::keyClick(&ed_, Qt::Key_Delete);
      return "Delete";
    }
    if (op < 64) {  // a selection or a caret move, by bytes or by editor positions
      const int64_t bytes = ed_.TextLength();
      if (Pick(0, 1) == 0) {
        const int64_t a = Pick64(0, bytes), b = Pick(0, 2) == 0 ? a : Pick64(0, bytes);
        ed_.SetSel(a, b);
        return "SetSel " + std::to_string(a) + " " + std::to_string(b);
      }
      const int a = Pick(0, len), b = Pick(0, 2) == 0 ? a : Pick(0, len);
      Select(a, b);
      return "select positions " + std::to_string(a) + " " + std::to_string(b);
    }
    if (op < 72) {
      QString t;
      for (int i = Pick(1, 6); i > 0; --i) t += Pick(0, 2) == 0 ? kBreaks[Pick(0, 4)] : Pieces(Pick(1, 5));
      if (Pick(0, longLines_ ? 3 : 20) == 0) t += Pieces(longLines_ ? Pick(900, 2600) : Pick(2050, 2300));  // a long line
      QApplication::clipboard()->setText(t);
      ed_.paste();
      return "paste " + std::to_string(t.size()) + " units";
    }
    if (op < 84) return InputMethod();
    if (op < 89) {
      ed_.undo();
      return "undo";
    }
    if (op < 92) {
      ed_.redo();
      return "redo";
    }
    if (op < 96) {
      ed_.SetSelText(Pick(0, 1) ? Sj("\xE8\xA1\xA8\r\nx") : Sj("\r\n\r\n"));
      return "SetSelText with CR LF";
    }
    QTest::keyClick(&ed_, Pick(0, 1) ? Qt::Key_Home : Qt::Key_End, Qt::ControlModifier);
    return "caret to an end";
  }

 private:
  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  int64_t Pick64(int64_t lo, int64_t hi) { return std::uniform_int_distribution<int64_t>(lo, hi)(rng_); }
  QString Piece() { return QString::fromUtf8(kPieces[Pick(0, std::size(kPieces) - 1)]); }
  QString Pieces(int n) {
    QString t;
    for (int i = 0; i < n; ++i) t += Piece();
    return t;
  }
  // A user's caret never parts a surrogate pair.
  int Whole(int pos) const {
    const QTextDocument* doc = ed_.document();
    return pos > 0 && doc->characterAt(pos).isLowSurrogate() && doc->characterAt(pos - 1).isHighSurrogate()
               ? pos - 1
               : pos;
  }
  void Select(int anchor, int pos) {
    anchor = Whole(anchor);
    pos = Whole(pos);
    QTextCursor c = ed_.textCursor();
    c.setPosition(anchor);
    c.setPosition(pos, QTextCursor::KeepAnchor);
    ed_.setTextCursor(c);
  }
  // A composition of a few updates, then committed (sometimes replacing the
  // character before the caret, as a reconversion does) or cancelled.
  std::string InputMethod() {
    for (int i = Pick(0, 3); i > 0; --i) {
      QInputMethodEvent pre(Pieces(i), {});
      QApplication::sendEvent(&ed_, &pre);
    }
    QInputMethodEvent end;
    const int how = Pick(0, 4);
    if (how == 0) {
      QApplication::sendEvent(&ed_, &end);
      return "composition cancelled";
    }
    const QString commit = Pieces(Pick(1, 4));
    if (how == 1 && ed_.textCursor().position() > 0 && !ed_.textCursor().hasSelection())
      end.setCommitString(commit, -1, 1);
    else
      end.setCommitString(commit);
    QApplication::sendEvent(&ed_, &end);
    return "commit " + commit.toStdString() + (how == 1 ? " over the character before" : "");
  }

  TmuRichEdit& ed_;
  std::mt19937 rng_;
  bool longLines_;
};

}  // namespace

TEST(TmuRichEditProbe, ByteIndexMatchesARecountAfterEveryEdit) {
  // Found by the probe: a selection across a line break replaced by a line break.
  {
    TmuRichEdit ed;
    ed.SetText("ab\r\ncd");
    ed.SetSel(1, 5);
    QTest::keyClick(&ed, Qt::Key_Return);
    EXPECT_EQ(ed.Text(), "a\r\nd");
    EXPECT_EQ(ed.TextLength(), 4);
    EXPECT_TRUE(ed.CheckByteIndex());
    ed.SetSelStart(3);
    QTest::keyClick(&ed, Qt::Key_Return);
    EXPECT_EQ(ed.Text(), "a\r\n\r\nd");
  }

  std::vector<uint32_t> seeds = {1, 2, 3};
  int steps = 1000;
  if (const char* s = std::getenv("WENDUL_PROBE_SEED")) seeds = {static_cast<uint32_t>(std::strtoul(s, nullptr, 10))};
  if (const char* s = std::getenv("WENDUL_PROBE_STEPS")) steps = std::atoi(s);
  for (uint32_t seed : seeds) {
    TmuRichEdit ed;
    ed.SetText(Sj("\xE6\x9D\xB1\xE4\xBA\xAC\r\nab\r\n\r\ncd"));  // 東京
    Probe probe(ed, seed);
    std::mt19937 checks(seed);
    std::vector<std::string> recent;
    for (int step = 0; step < steps; ++step) {
      const int64_t rebuilds = TmuRichEdit::IndexRebuilds();
      recent.push_back(probe.Step());
      if (recent.size() > 6) recent.erase(recent.begin());
      std::string diff = Compare(ed, checks);
      // An edit is followed in place: the whole document is never measured again.
      if (diff.empty() && TmuRichEdit::IndexRebuilds() != rebuilds) diff = "the whole index was measured again";
      if (!diff.empty()) {
        std::string ops;
        for (const std::string& o : recent) ops += "\n  " + o;
        FAIL() << "seed " << seed << ", step " << step << ": " << diff << "\nlast steps:" << ops;
      }
    }
  }
}

// The same with paragraphs of thousands of characters in a shown editor, so
// that the editor's own layout of long paragraphs follows every edit (and the
// line keys and clicks that depend on it): after every step the byte index
// against a recount, the caret in view, and now and then every long
// paragraph's lines against Qt's layout of its text.
TEST(TmuRichEditProbe, LongLinesKeepTheByteIndexTheCaretAndTheLinesThroughEdits) {
  std::vector<uint32_t> seeds = {11, 12};
  int steps = 300;
  if (const char* s = std::getenv("WENDUL_PROBE_SEED")) seeds = {static_cast<uint32_t>(std::strtoul(s, nullptr, 10))};
  if (const char* s = std::getenv("WENDUL_PROBE_STEPS")) steps = std::atoi(s);
  const QString sentence = QString::fromUtf8("東京タワーと東京駅の写真を撮りました。abc 0123456789 四月の旅行記です、");
  auto repeat = [&](int n) {
    QString t;
    while (t.size() < n) t += sentence;
    return t.left(n);
  };
  for (uint32_t seed : seeds) {
    TmuRichEdit ed;
    ed.setFont(QFont(QStringLiteral("IPAGothic"), 11));
    ed.resize(420, 260);
    ed.SetWordWrap(seed % 2 == 1);
    ed.show();
    ed.setPlainText(QStringLiteral("ab\n") + repeat(1800) + QStringLiteral("\ncd\n") + repeat(1200));
    ed.setFocus();
    QApplication::processEvents();
    Probe probe(ed, seed, true);
    std::mt19937 checks(seed);
    std::vector<std::string> recent;
    auto fail = [&](int step, const std::string& diff) {
      std::string ops;
      for (const std::string& o : recent) ops += "\n  " + o;
      return "seed " + std::to_string(seed) + ", step " + std::to_string(step) + ": " + diff + "\nlast steps:" + ops;
    };
    int longSeen = 0;
    for (int step = 0; step < steps; ++step) {
      recent.push_back(probe.Step());
      if (recent.size() > 6) recent.erase(recent.begin());
      QApplication::processEvents();
      const std::string diff = Compare(ed, checks);
      ASSERT_EQ(diff, "") << fail(step, diff);
      ASSERT_TRUE(ed.viewport()->rect().intersects(ed.TextView().CaretRect())) << fail(step, "the caret is out of view");
      if (step % 5) continue;
      const QTextDocument* doc = ed.document();
      const qreal width = ed.viewport()->width() - 2 * doc->documentMargin();
      for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        if (!ed.TextView().IsLong(b)) continue;
        ++longSeen;
        QTextLayout qt(b.text(), doc->defaultFont());
        qt.setTextOption(doc->defaultTextOption());
        qt.beginLayout();
        std::vector<std::pair<int, int>> want;
        for (QTextLine l = qt.createLine(); l.isValid(); l = qt.createLine()) {
          l.setLineWidth(width);
          want.emplace_back(l.textStart(), l.textLength());
        }
        qt.endLayout();
        ASSERT_EQ(ed.TextView().LinesIn(b), want) << fail(step, "the lines of block " + std::to_string(b.blockNumber()));
      }
    }
    EXPECT_GT(longSeen, 0);
  }
}
