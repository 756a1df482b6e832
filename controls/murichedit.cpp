#include "controls/murichedit.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "controls/paralayout.h"
#include "controls/qsjis.h"
#include "controls/richeditview.h"
#include "util/codec.h"
#include "util/doctext.h"

namespace wendul {

namespace {

// Bytes per UTF-16 code unit in code page 932. A character that cannot be
// held counts 1 (it is read as '?'); a surrogate pair as a whole counts 1,
// which the counting loops arrange; the paragraph and line separators are
// read as CR LF.
const uint8_t* Widths() {
  static const std::unique_ptr<uint8_t[]> table = [] {
    auto t = std::make_unique<uint8_t[]>(0x10000);
    char buf[2];
    for (uint32_t c = 0; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) {
        t[c] = 1;
      } else if (c == 0x2028 || c == 0x2029) {
        t[c] = 2;
      } else {
        int n = EncodeCp932Char(static_cast<char32_t>(c), buf);
        t[c] = static_cast<uint8_t>(n == 0 ? 1 : n);
      }
    }
    return t;
  }();
  return table.get();
}

inline bool IsPair(const QChar* s, qsizetype n, qsizetype i) {
  return s[i].isHighSurrogate() && i + 1 < n && s[i + 1].isLowSurrogate();
}

// Bytes of s[0, n).
int64_t ByteCount(const QChar* s, qsizetype n) {
  const uint8_t* w = Widths();
  int64_t total = 0;
  for (qsizetype i = 0; i < n; ++i) {
    char16_t c = s[i].unicode();
    if (c < 0x80) {
      ++total;
    } else if (IsPair(s, n, i)) {
      ++total;
      ++i;
    } else {
      total += w[c];
    }
  }
  return total;
}

// Encodes the character at s[i]: returns its bytes in out and the code units
// it takes in *units.
inline int EncodeAt(const QChar* s, qsizetype n, qsizetype i, char out[2], int* units) {
  char16_t c = s[i].unicode();
  *units = 1;
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (IsPair(s, n, i)) {
    *units = 2;
    out[0] = '?';
    return 1;
  }
  if (c == 0x2028 || c == 0x2029) {
    out[0] = '\r';
    out[1] = '\n';
    return 2;
  }
  int k = EncodeCp932Char(c, out);
  if (k == 0) {
    out[0] = '?';
    return 1;
  }
  return k;
}

int64_t g_blocksMeasured = 0;
int64_t g_charsMeasured = 0;
int64_t g_rebuilds = 0;

// A block of at least kLongLine characters keeps its byte sums in runs of
// about kRun characters; it drops them again below kShortLine, so that a line
// typed around the threshold is not rebuilt on every key.
constexpr qsizetype kLongLine = 2048;
constexpr qsizetype kShortLine = 1024;
constexpr qsizetype kRun = 256;

inline bool SplitsPair(const QChar* s, qsizetype n, qsizetype cut) {
  return cut > 0 && cut < n && s[cut - 1].isHighSurrogate() && s[cut].isLowSurrogate();
}

// Cuts s[0, n) into runs of at most about kRun units, never between the two
// halves of a surrogate pair (a pair counts 1 byte as a whole), and measures
// them.
void MeasureRuns(const QChar* s, qsizetype n, std::vector<int64_t>& units, std::vector<int64_t>& bytes) {
  units.clear();
  bytes.clear();
  g_charsMeasured += n;
  if (n <= 0) return;
  const qsizetype count = (n + kRun - 1) / kRun;
  qsizetype from = 0;
  for (qsizetype r = 1; r <= count && from < n; ++r) {
    qsizetype to = r == count ? n : n * r / count;
    if (SplitsPair(s, n, to)) ++to;
    if (to <= from) continue;
    units.push_back(to - from);
    bytes.push_back(ByteCount(s + from, to - from));
    from = to;
  }
}

// Length of the common start of a and b, compared in blocks first.
qsizetype CommonPrefix(const QChar* a, const QChar* b, qsizetype n) {
  constexpr qsizetype kStep = 64;
  qsizetype i = 0;
  while (i + kStep <= n && std::memcmp(a + i, b + i, kStep * sizeof(QChar)) == 0) i += kStep;
  while (i < n && a[i] == b[i]) ++i;
  return i;
}

// Length of the common end of a[0, na) and b[0, nb), at most n.
qsizetype CommonSuffix(const QChar* a, qsizetype na, const QChar* b, qsizetype nb, qsizetype n) {
  constexpr qsizetype kStep = 64;
  qsizetype i = 0;
  while (i + kStep <= n && std::memcmp(a + na - i - kStep, b + nb - i - kStep, kStep * sizeof(QChar)) == 0)
    i += kStep;
  while (i < n && a[na - i - 1] == b[nb - i - 1]) ++i;
  return i;
}

// What a block keeps beside its text: the runs of a long line (UTF-16 units
// and bytes of each) and what the line had on disk (its origin).
//
// While the line is the one being edited its text is kept as well: an input
// method reports every change as the whole block, so what changed is found
// by comparing with the previous text (at memory speed) and only the runs
// around it are counted again.
class BlockData : public QTextBlockUserData {
 public:
  bool hasRuns = false;
  SumTree units;
  SumTree bytes;
  QString text;  // the text the runs describe; null unless being edited
  bool hasOrigin = false;
  LineOrigin origin;
  std::unique_ptr<ParaLayout> para;  // the view's layout of a long paragraph

  void Build(const QString& t) {
    std::vector<int64_t> u, b;
    MeasureRuns(t.constData(), t.size(), u, b);
    units.Assign(u);
    bytes.Assign(b);
    hasRuns = true;
  }

  void DropRuns() {
    hasRuns = false;
    units.Assign({});
    bytes.Assign({});
    text = QString();
  }

  // `text` is not null and the runs describe it; `now` replaces it.
  void Update(const QString& now) {
    const QChar* a = text.constData();
    const QChar* b = now.constData();
    const qsizetype na = text.size(), nb = now.size();
    const qsizetype p = CommonPrefix(a, b, std::min(na, nb));
    if (p == na && p == nb) return;
    const qsizetype q = CommonSuffix(a, na, b, nb, std::min(na, nb) - p);
    // From the run holding the last unchanged character before the change
    // to the run holding the first unchanged one after it: the new cuts then
    // lie between characters that did not change, and no pair can form
    // across them.
    int64_t within = 0;
    const int64_t first = units.Find(std::max<qsizetype>(p - 1, 0), &within);
    const int64_t start = std::max<qsizetype>(p - 1, 0) - within;
    const int64_t lastAt = std::min<qsizetype>(na - q, na - 1);
    const int64_t last = units.Find(lastAt, &within);
    const int64_t end = lastAt - within + units.At(last);  // old coordinates
    const int64_t newEnd = end + (nb - na);
    std::vector<int64_t> u, w;
    MeasureRuns(b + start, static_cast<qsizetype>(newEnd - start), u, w);
    units.Replace(first, last - first + 1, u);
    bytes.Replace(first, last - first + 1, w);
  }
};

inline BlockData* DataOf(const QTextBlock& b) { return static_cast<BlockData*>(b.userData()); }
inline BlockData* RunsOf(const QTextBlock& b) {
  BlockData* d = DataOf(b);
  return d && d->hasRuns ? d : nullptr;
}

// A long line that Qt gave fresh block data (a line break before it was
// replaced) has lost its runs; measuring it once builds them again.
inline bool LacksRuns(const QTextBlock& b) { return b.length() > kLongLine && !RunsOf(b); }

inline std::u16string_view View(const QString& t) {
  return {reinterpret_cast<const char16_t*>(t.utf16()), static_cast<size_t>(t.size())};
}

void SetOrigin(const QTextBlock& b, LineOrigin origin) {
  BlockData* d = DataOf(b);
  if (!d) {
    d = new BlockData;
    QTextBlock(b).setUserData(d);
  }
  d->hasOrigin = true;
  d->origin = std::move(origin);
}

// Any line break form of a search pattern becomes the editor's block break.
QString PatternForSearch(const SjisString& text) {
  QString q = ToQ(text);
  q.replace(QStringLiteral("\r\n"), QString(QChar::ParagraphSeparator));
  q.replace(QChar(u'\r'), QChar::ParagraphSeparator);
  q.replace(QChar(u'\n'), QChar::ParagraphSeparator);
  return q;
}

bool IsWordChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }

}  // namespace

TmuRichEdit::TmuRichEdit(QWidget* parent) : QPlainTextEdit(parent) {
  view_ = std::make_unique<RichEditView>(this);  // gives the editor its document
  active_ = QTextCursor(document());
  connect(document(), &QTextDocument::contentsChange, this, &TmuRichEdit::OnContentsChange);
  // Only a change of the text is a change: Qt also reports every update of
  // the input method's unfinished text.
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (imeOnly_ && !textTouched_) return;
    emit Change();
  });
  // The selection stays visible while another control has the focus.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
  RebuildIndex();
}

TmuRichEdit::~TmuRichEdit() = default;

ParaLayout* TmuRichEdit::ParaOf(const QTextBlock& b, bool create) const {
  BlockData* d = DataOf(b);
  if (!d && !create) return nullptr;
  if (!d) {
    d = new BlockData;
    QTextBlock(b).setUserData(d);
  }
  if (!d->para && create) d->para = std::make_unique<ParaLayout>();
  return d->para.get();
}

void TmuRichEdit::DropPara(const QTextBlock& b) const {
  BlockData* d = DataOf(b);
  if (!d || !d->para) return;
  if (!d->hasRuns && !d->hasOrigin) QTextBlock(b).setUserData(nullptr);
  else d->para.reset();
}

// ---------------------------------------------------------------------------
// byte index

int64_t TmuRichEdit::MeasureBlock(const QTextBlock& b, bool keepText) const {
  ++g_blocksMeasured;
  QTextBlock block = b;
  const QString t = b.text();
  BlockData* runs = RunsOf(b);
  if (t.size() < (runs ? kShortLine : kLongLine)) {
    if (runs && (runs->hasOrigin || runs->para)) runs->DropRuns();
    else if (runs) block.setUserData(nullptr);
    g_charsMeasured += t.size();
    return ByteCount(t.constData(), t.size()) + 2;
  }
  if (runs && !runs->text.isNull()) {
    // The runs describe the kept text, wherever the block's data went in a
    // split or a join, so comparing the two finds what changed.
    runs->Update(t);
  } else {
    if (!runs) {
      runs = DataOf(b);
      if (!runs) {
        runs = new BlockData;
        block.setUserData(runs);
      }
    }
    runs->Build(t);
  }
  runs->text = keepText ? t : QString();
  return runs->bytes.Total() + 2;
}

void TmuRichEdit::ReleaseBlock(const QTextBlock& b) {
  if (!b.isValid()) return;
  if (b.layout()) b.layout()->setCacheEnabled(false);
  if (BlockData* runs = RunsOf(b)) runs->text = QString();
}

void TmuRichEdit::SetActiveBlock(const QTextBlock& b) const {
  // The cursor follows the block through edits elsewhere; when its block is
  // joined to another it lands in the joined one.
  const QTextBlock previous = activeSet_ ? active_.block() : QTextBlock();
  if (previous != b) ReleaseBlock(previous);
  if (!b.isValid()) {
    activeSet_ = false;
    return;
  }
  // QTextLayout drops its shaped glyphs after laying out; the caret's x
  // (QTextCursor::setX after every edit) and cursorRect() then shape the
  // line again. Keeping them for the one line being typed halves Qt's work
  // per keystroke; other lines stay lean.
  b.layout()->setCacheEnabled(true);
  // Moved, never replaced: see activeSet_.
  if (previous != b) active_.setPosition(b.position());
  activeSet_ = true;
}

void TmuRichEdit::RebuildIndex() const {
  QTextDocument* doc = document();
  ++g_rebuilds;
  std::vector<int64_t> weights, lengths;
  weights.reserve(static_cast<size_t>(doc->blockCount()));
  lengths.reserve(static_cast<size_t>(doc->blockCount()));
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
    weights.push_back(MeasureBlock(b, false));
    lengths.push_back(b.length());
  }
  blocks_.Assign(weights);
  chars_.Assign(lengths);
  if (activeSet_) ReleaseBlock(active_.block());
  activeSet_ = false;
}

void TmuRichEdit::EnsureIndex() const {
  if (blocks_.Size() != document()->blockCount() || chars_.Size() != blocks_.Size()) RebuildIndex();
}

void TmuRichEdit::OnContentsChange(int position, int removed, int added) {
  // An update of the input method's unfinished text reports its block as
  // changed, but the document's text is as it was.
  if (imeOnly_ && removed == added) return;
  textTouched_ = true;
  QTextDocument* doc = document();
  if (!loading_ && anyOrigin_) SplitOrigins(position, removed, added);
  const int64_t oldCount = blocks_.Size();
  const int64_t newCount = doc->blockCount();
  const int64_t oldChars = chars_.Total();
  const int64_t newChars = doc->characterCount();
  removed = std::max(removed, 0);
  added = std::max(added, 0);
  if (oldCount == 0 || chars_.Size() != oldCount || position < 0 || position >= oldChars) {
    RebuildIndex();
    return;
  }
  // Qt's range [position, position + removed) of the old text became
  // [position, position + added): the text before and after it is as it was.
  // Old blocks from the one holding the range's start to the one holding its
  // end gave way to the new blocks between the same points, so the blocks
  // after them are the same in both documents and keep their lengths.
  int64_t within = 0;
  const int64_t f = chars_.Find(position, &within);
  int64_t oldEndWithin = 0;
  int64_t oldLast = chars_.Find(position + removed, &oldEndWithin);
  QTextBlock first = doc->findBlock(position);
  QTextBlock last = doc->findBlock(static_cast<int>(std::min<int64_t>(position + added, newChars - 1)));
  if (!first.isValid() || !last.isValid() || first.blockNumber() != f) {
    RebuildIndex();
    return;
  }
  // A range that ends just before a line start in both documents leaves the
  // block from there on untouched (an input method reports a change as its
  // whole block with the line break). Replacing a whole document reports a
  // character more than it changed; its ends are then not exact, and the
  // block after them is measured too.
  const bool exact = newChars - oldChars == static_cast<int64_t>(added) - removed;
  if (exact && oldEndWithin == 0 && oldLast > f && last.blockNumber() > f && last.position() == position + added &&
      !LacksRuns(last)) {
    --oldLast;
    last = last.previous();
  }
  const int64_t l = last.blockNumber();
  if (oldCount - oldLast != newCount - l) {
    RebuildIndex();
    return;
  }
  if (l == f && oldLast == f) {  // within one block, the usual keystroke
    blocks_.Set(f, MeasureBlock(first, true));
    chars_.Set(f, first.length());
    SetActiveBlock(first);
    return;
  }
  std::vector<int64_t> weights, lengths;
  weights.reserve(static_cast<size_t>(l - f + 1));
  lengths.reserve(static_cast<size_t>(l - f + 1));
  for (QTextBlock b = first;; b = b.next()) {
    const bool isLast = b == last;
    weights.push_back(MeasureBlock(b, isLast));
    lengths.push_back(b.length());
    if (isLast) break;
    ReleaseBlock(b);
  }
  blocks_.Replace(f, oldLast - f + 1, weights);
  chars_.Replace(f, oldLast - f + 1, lengths);
  SetActiveBlock(last);
}

int64_t TmuRichEdit::BlocksMeasured() { return g_blocksMeasured; }
int64_t TmuRichEdit::CharsMeasured() { return g_charsMeasured; }
int64_t TmuRichEdit::IndexRebuilds() { return g_rebuilds; }

bool TmuRichEdit::CheckByteIndex() const {
  QTextDocument* doc = document();
  if (blocks_.Size() != doc->blockCount() || chars_.Size() != doc->blockCount()) return false;
  int64_t i = 0;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next(), ++i) {
    const QString t = b.text();
    const int64_t bytes = ByteCount(t.constData(), t.size());
    if (blocks_.At(i) != bytes + 2 || chars_.At(i) != b.length()) return false;
    const BlockData* runs = RunsOf(b);
    if (!runs) continue;
    if (!runs->text.isNull() && runs->text != t) return false;
    if (runs->units.Total() != t.size() || runs->bytes.Total() != bytes) return false;
    qsizetype at = 0;
    for (int64_t r = 0; r < runs->units.Size(); ++r) {
      const qsizetype n = static_cast<qsizetype>(runs->units.At(r));
      if (n <= 0 || SplitsPair(t.constData(), t.size(), at)) return false;
      if (runs->bytes.At(r) != ByteCount(t.constData() + at, n)) return false;
      at += n;
    }
  }
  return true;
}

QString TmuRichEdit::BlockText(const QTextBlock& b) const {
  const BlockData* runs = RunsOf(b);
  return runs && !runs->text.isNull() ? runs->text : b.text();
}

int64_t TmuRichEdit::BytesInBlock(const QTextBlock& b, qsizetype k) const {
  if (k <= 0) return 0;
  if (k >= b.length() - 1) return blocks_.At(b.blockNumber()) - 2;  // the whole line
  const QString t = BlockText(b);
  if (const BlockData* runs = RunsOf(b)) {
    int64_t within = 0;
    const int64_t r = runs->units.Find(k, &within);
    return runs->bytes.Prefix(r) + ByteCount(t.constData() + (k - within), static_cast<qsizetype>(within));
  }
  return ByteCount(t.constData(), std::min<qsizetype>(k, t.size()));
}

int64_t TmuRichEdit::TextLength() const {
  EnsureIndex();
  return blocks_.Total() - 2;
}

int64_t TmuRichEdit::PosToByte(int pos) const {
  EnsureIndex();
  QTextDocument* doc = document();
  pos = std::clamp(pos, 0, doc->characterCount() - 1);
  QTextBlock b = doc->findBlock(pos);
  if (!b.isValid()) return TextLength();
  return blocks_.Prefix(b.blockNumber()) + BytesInBlock(b, pos - b.position());
}

int TmuRichEdit::ByteToPos(int64_t byte, bool forward, int64_t* snapped) const {
  EnsureIndex();
  const int64_t len = TextLength();
  byte = std::clamp<int64_t>(byte, 0, len);
  int64_t within = 0;
  const int64_t index = blocks_.Find(byte, &within);
  const int64_t blockStart = byte - within;
  QTextBlock b = document()->findBlockByNumber(static_cast<int>(index));
  const QString t = BlockText(b);
  const QChar* s = t.constData();
  const qsizetype n = t.size();
  const uint8_t* w = Widths();
  int64_t acc = 0;
  qsizetype i = 0;
  if (const BlockData* runs = RunsOf(b)) {  // start at the run that holds the byte
    if (within >= runs->bytes.Total()) {
      acc = runs->bytes.Total();
      i = n;
    } else {
      int64_t inRun = 0;
      const int64_t r = runs->bytes.Find(within, &inRun);
      acc = within - inRun;
      i = static_cast<qsizetype>(runs->units.Prefix(r));
    }
  }
  while (i < n) {
    if (acc == within) break;
    int units = IsPair(s, n, i) ? 2 : 1;
    int64_t cw = units == 2 ? 1 : (s[i].unicode() < 0x80 ? 1 : w[s[i].unicode()]);
    if (acc + cw > within) {  // inside this character
      if (forward) {
        acc += cw;
        i += units;
      }
      break;
    }
    acc += cw;
    i += units;
  }
  if (i == n && within > acc) {  // between CR and LF
    if (forward && b.next().isValid()) {
      if (snapped) *snapped = blockStart + acc + 2;
      return b.next().position();
    }
  }
  if (snapped) *snapped = blockStart + acc;
  return b.position() + static_cast<int>(i);
}

// ---------------------------------------------------------------------------
// reading text

void TmuRichEdit::AppendRange(int pos, int endPos, int64_t byteLimit, SjisString& out) const {
  QTextBlock b = document()->findBlock(pos);
  int64_t written = 0;
  char buf[2];
  while (b.isValid() && pos < endPos) {
    const QString t = BlockText(b);
    const QChar* s = t.constData();
    const qsizetype n = t.size();
    const int bpos = b.position();
    qsizetype i = pos - bpos;
    const qsizetype stop = std::min<qsizetype>(n, static_cast<qsizetype>(endPos) - bpos);
    while (i < stop) {
      int units;
      int k = EncodeAt(s, n, i, buf, &units);
      if (byteLimit >= 0 && written + k > byteLimit) return;
      out.append(buf, static_cast<size_t>(k));
      written += k;
      i += units;
    }
    QTextBlock next = b.next();
    if (!next.isValid() || bpos + n >= endPos) return;
    if (byteLimit >= 0 && written + 2 > byteLimit) return;
    out.append("\r\n", 2);
    written += 2;
    b = next;
    pos = b.position();
  }
}

QString TmuRichEdit::RangeString(int pos, int endPos) const {
  QString out;
  QTextBlock b = document()->findBlock(pos);
  while (b.isValid() && pos < endPos) {
    const QString t = BlockText(b);
    const int bpos = b.position();
    qsizetype from = pos - bpos;
    qsizetype stop = std::min<qsizetype>(t.size(), static_cast<qsizetype>(endPos) - bpos);
    if (stop > from) out.append(QStringView(t).mid(from, stop - from));
    QTextBlock next = b.next();
    if (!next.isValid() || bpos + t.size() >= endPos) break;
    out.append(QChar::ParagraphSeparator);
    b = next;
    pos = b.position();
  }
  return out;
}

SjisString TmuRichEdit::TextSlice(int64_t& from, int64_t to) const {
  const int64_t len = TextLength();
  from = std::clamp<int64_t>(from, 0, len);
  to = std::min(to, len);
  int64_t snapped = from;
  int pos = ByteToPos(from, true, &snapped);
  from = snapped;
  SjisString out;
  if (to <= from) return out;
  out.reserve(static_cast<size_t>(to - from));
  AppendRange(pos, INT_MAX, to - from, out);
  return out;
}

SjisString TmuRichEdit::Text() const {
  SjisString out;
  out.reserve(static_cast<size_t>(TextLength()));
  AppendRange(0, INT_MAX, -1, out);
  return out;
}

void TmuRichEdit::SetText(const SjisString& text) {
  setPlainText(ToQ(text));
  EnsureIndex();
}

// ---------------------------------------------------------------------------
// files

// A line cut by the change (Enter, a paste of lines) keeps its break on
// every piece, and its head and tail keep the bytes they were read from. Qt
// leaves the line's data with the first piece; the others are new blocks.
// When the change also joined lines, the tail came from another line whose
// data Qt has dropped: that piece is written from its text.
void TmuRichEdit::SplitOrigins(int position, int removed, int added) {
  QTextDocument* doc = document();
  const QTextBlock first = doc->findBlock(position);
  const QTextBlock last = doc->findBlock(std::min(position + std::max(added, 0), doc->characterCount() - 1));
  BlockData* d = DataOf(first);
  if (first == last || !d || !d->hasOrigin) return;
  int64_t within = 0;
  const bool oneOldLine =
      chars_.Size() == 0 || chars_.Find(position + std::max(removed, 0), &within) == chars_.Find(position, &within);
  // The line's text around the change: before it in the first piece, after it in the last.
  const QString head = first.text().left(position - first.position());
  const QString tail = oneOldLine ? last.text().mid(position + std::max(added, 0) - last.position()) : QString();
  auto [headOrigin, tailOrigin] = SplitOrigin(d->origin, codec_.encoding, View(head), View(tail));
  const LineEnd end = d->origin.end;
  d->origin = std::move(headOrigin);
  // Lines in between are new; only a break of their own needs saying.
  if (end != LineEnd::None)
    for (QTextBlock b = first.next(); b.isValid() && b != last; b = b.next()) SetOrigin(b, LineOrigin{end, false, {}});
  if (oneOldLine) SetOrigin(last, std::move(tailOrigin));
}

void TmuRichEdit::SetCodec(DocCodec codec) {
  if (codec.encoding != codec_.encoding) {
    // Bytes read in another encoding say nothing about this one.
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
      if (BlockData* d = DataOf(b); d && d->hasOrigin) {
        d->origin.keepsBytes = false;
        std::string().swap(d->origin.bytes);
      }
  }
  codec_ = codec;
}

void TmuRichEdit::LoadDocument(const DocText& doc) {
  loading_ = true;
  anyOrigin_ = false;
  setPlainText(QString(reinterpret_cast<const QChar*>(doc.text.data()), static_cast<qsizetype>(doc.text.size())));
  loading_ = false;
  usualEnd_ = doc.lineEnd == LineEnd::None ? LineEnd::CRLF : doc.lineEnd;
  codec_ = doc.codec;
  // Walk from one line that needs its origin to the next: findBlockByNumber
  // would cost a search each, a walk only the lines between.
  QTextBlock b = document()->begin();
  int at = 0;
  for (const auto& [line, origin] : doc.origins) {
    while (b.isValid() && at < static_cast<int>(line)) {
      b = b.next();
      ++at;
    }
    if (!b.isValid()) break;
    BlockData* d = DataOf(b);
    if (!d) {
      d = new BlockData;
      b.setUserData(d);
    }
    d->hasOrigin = true;
    d->origin = origin;
    anyOrigin_ = true;
  }
  document()->setModified(false);
  EnsureIndex();
}

void TmuRichEdit::WriteDocument(DocWriter& w) const {
  w.Reserve(static_cast<size_t>(TextLength()));
  w.KeptBytesIn(codec_.encoding);
  for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
    const BlockData* d = DataOf(b);
    const QString t = BlockText(b);
    w.Line(View(t), d && d->hasOrigin ? &d->origin : nullptr, !b.next().isValid());
  }
}

QString TmuRichEdit::PlainLines() const {
  QString out;
  out.reserve(document()->characterCount());
  for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) {
    if (b != document()->begin()) out += u'\n';
    out += BlockText(b);
  }
  return out;
}

int64_t TmuRichEdit::KeptLines() const {
  int64_t n = 0;
  for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
    if (const BlockData* d = DataOf(b); d && d->hasOrigin && d->origin.keepsBytes) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// caret and selection

int64_t TmuRichEdit::SelStart() const { return PosToByte(textCursor().selectionStart()); }

int64_t TmuRichEdit::SelLength() const {
  QTextCursor c = textCursor();
  if (!c.hasSelection()) return 0;
  return PosToByte(c.selectionEnd()) - PosToByte(c.selectionStart());
}

void TmuRichEdit::SetSelStart(int64_t pos) {
  FinishComposition();
  QTextCursor c = textCursor();
  c.setPosition(ByteToPos(pos));
  setTextCursor(c);
}

void TmuRichEdit::SetSelLength(int64_t len) {
  FinishComposition();
  QTextCursor c = textCursor();
  const int start = c.selectionStart();
  const int end = len < 0 ? document()->characterCount() - 1 : ByteToPos(PosToByte(start) + len);
  c.setPosition(start);
  c.setPosition(end, QTextCursor::KeepAnchor);
  setTextCursor(c);
}

void TmuRichEdit::SetSel(int64_t start, int64_t end) {
  FinishComposition();
  QTextCursor c = textCursor();
  const int a = ByteToPos(start);
  const int e = end < 0 ? document()->characterCount() - 1 : ByteToPos(end);
  c.setPosition(a);
  c.setPosition(e, QTextCursor::KeepAnchor);
  setTextCursor(c);
}

SjisString TmuRichEdit::SelText() const {
  QTextCursor c = textCursor();
  SjisString out;
  if (c.hasSelection()) AppendRange(c.selectionStart(), c.selectionEnd(), -1, out);
  return out;
}

void TmuRichEdit::SetSelText(const SjisString& text) {
  FinishComposition();
  QTextCursor c = textCursor();
  c.insertText(ToQ(text));
  setTextCursor(c);
}

void TmuRichEdit::insertFromMimeData(const QMimeData* source) {
  FinishComposition();
  if (!source || !source->hasText()) {
    QPlainTextEdit::insertFromMimeData(source);
    return;
  }
  // Line and paragraph separators would hide a line break inside a block;
  // they become ordinary line breaks.
  QString t = source->text();
  t.replace(QChar::LineSeparator, u'\n');
  t.replace(QChar::ParagraphSeparator, u'\n');
  QTextCursor c = textCursor();
  c.insertText(t);
  setTextCursor(c);
  ensureCursorVisible();
}

void TmuRichEdit::keyPressEvent(QKeyEvent* e) {
  if (view_->Key(e)) return;
  if (e->matches(QKeySequence::InsertLineSeparator)) {
    // Shift+Enter makes a line break like Enter, never a soft line separator.
    QKeyEvent plain(e->type(), e->key(), e->modifiers() & ~Qt::ShiftModifier, e->text(),
                    e->isAutoRepeat(), static_cast<ushort>(e->count()));
    QPlainTextEdit::keyPressEvent(&plain);
    e->setAccepted(plain.isAccepted());
    return;
  }
  QPlainTextEdit::keyPressEvent(e);
}

// ---------------------------------------------------------------------------
// search and lines

int64_t TmuRichEdit::FindText(const SjisString& text, int64_t from, int64_t to, bool caseSensitive,
                              bool wholeWord) const {
  if (text.empty()) return -1;
  const int64_t len = TextLength();
  if (to < 0 || to > len) to = len;
  from = std::clamp<int64_t>(from, 0, len);
  if (from >= to) return -1;
  const QString pattern = PatternForSearch(text);
  if (pattern.isEmpty()) return -1;
  const int pa = ByteToPos(from, true);
  const int pb = ByteToPos(to, false);
  if (pb <= pa) return -1;
  const QString hay = RangeString(pa, pb);
  const Qt::CaseSensitivity cs = caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
  QTextDocument* doc = document();
  for (qsizetype i = hay.indexOf(pattern, 0, cs); i >= 0; i = hay.indexOf(pattern, i + 1, cs)) {
    const int at = pa + static_cast<int>(i);
    if (wholeWord) {
      const int after = at + static_cast<int>(pattern.size());
      if (at > 0 && IsWordChar(doc->characterAt(at - 1))) continue;
      if (after < doc->characterCount() - 1 && IsWordChar(doc->characterAt(after))) continue;
    }
    return PosToByte(at);
  }
  return -1;
}

int TmuRichEdit::LineFromChar(int64_t pos) const {
  if (pos < 0) return document()->findBlock(textCursor().selectionStart()).blockNumber();
  EnsureIndex();
  int64_t within = 0;
  int64_t index = blocks_.Find(std::min(pos, TextLength()), &within);
  return static_cast<int>(std::max<int64_t>(index, 0));
}

int64_t TmuRichEdit::LineIndex(int line) const {
  if (line < 0) line = LineFromChar(-1);
  EnsureIndex();
  if (line >= blocks_.Size()) return -1;
  return blocks_.Prefix(line);
}

int TmuRichEdit::LineCount() const { return document()->blockCount(); }

int64_t TmuRichEdit::LineLength(int line) const {
  EnsureIndex();
  if (line < 0 || line >= blocks_.Size()) return 0;
  return blocks_.At(line) - 2;
}

SjisString TmuRichEdit::LineText(int line) const {
  SjisString out;
  QTextBlock b = document()->findBlockByNumber(line);
  if (b.isValid()) AppendRange(b.position(), b.position() + b.length() - 1, -1, out);
  return out;
}

int TmuRichEdit::ScrollPos() const { return verticalScrollBar()->value(); }

void TmuRichEdit::SetScrollPos(int pos) { verticalScrollBar()->setValue(pos); }

bool TmuRichEdit::WordWrap() const { return lineWrapMode() == QPlainTextEdit::WidgetWidth; }

void TmuRichEdit::SetWordWrap(bool on) {
  setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  view_->WrapOrFontChanged();
}

// ---------------------------------------------------------------------------
// input method

void TmuRichEdit::SetIMEColors(const std::array<ImeColor, 4>& colors) {
  imeColors_ = colors;
  imeColorsSet_ = true;
}

void TmuRichEdit::SetImeMode(ImeMode mode) {
  imeMode_ = mode;
  Qt::InputMethodHints h = inputMethodHints();
  if (mode == ImeMode::Closed) h |= Qt::ImhPreferLatin;
  else h &= ~Qt::ImhPreferLatin;
  setInputMethodHints(h);
  if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImHints);
}

QString TmuRichEdit::PreeditText() const { return textCursor().block().layout()->preeditAreaText(); }

void TmuRichEdit::FinishComposition() {
  // Without the focus there is nothing to finish: the toolkit committed it
  // when the focus left (a menu's action runs once the focus came back).
  if (inImeEvent_ || !hasFocus() || PreeditText().isEmpty()) return;
  QGuiApplication::inputMethod()->commit();
  // No input method took it (none serves this window): the editor commits
  // what it shows.
  const QString left = PreeditText();
  if (left.isEmpty()) return;
  QInputMethodEvent commit;
  commit.setCommitString(left);
  QCoreApplication::sendEvent(this, &commit);
}

void TmuRichEdit::inputMethodEvent(QInputMethodEvent* e) {
  // Composing, or cancelling a composition, leaves the text as it was; a
  // commit, a replacement or a composition begun over a selection changes it.
  const bool onlyPreedit =
      e->commitString().isEmpty() && e->replacementLength() == 0 && !textCursor().hasSelection();
  imeOnly_ = onlyPreedit;
  inImeEvent_ = true;
  textTouched_ = false;
  struct Reset {
    bool& flag;
    bool& inEvent;
    ~Reset() { flag = inEvent = false; }
  } reset{imeOnly_, inImeEvent_};
  ShowInputMethodEvent(e);
  view_->InputMethodDone(*e);
}

// The configured pairs replace the input method's colours; which part of the
// pre-edit is which is read in imecolors.cpp.
void TmuRichEdit::ShowInputMethodEvent(QInputMethodEvent* e) {
  if (!imeColorsSet_ || e->preeditString().isEmpty()) {
    QPlainTextEdit::inputMethodEvent(e);
    return;
  }
  ImeColorSet colors;
  for (size_t i = 0; i < colors.size(); ++i) colors[i] = {imeColors_[i].text, imeColors_[i].background};
  QInputMethodEvent changed(e->preeditString(), ColoredPreeditAttributes(*e, colors));
  changed.setCommitString(e->commitString(), e->replacementStart(), e->replacementLength());
  QPlainTextEdit::inputMethodEvent(&changed);
  e->setAccepted(changed.isAccepted());
}

}  // namespace wendul
