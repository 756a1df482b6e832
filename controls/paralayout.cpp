#include "controls/paralayout.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QPainterPath>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace wendul {

namespace {

// Per position of the text: a line may break before it, the cursor may stand
// before it, it is a blank (hangs at a line's end), it ends its line, it is a
// tab, it lies inside a run of right-to-left text (never broken).
enum : uint8_t { kBreak = 1, kCursor = 2, kBlank = 4, kHardBreak = 8, kTab = 16, kInsideRtl = 32 };

// Runs are cut at a break opportunity once they hold this many positions,
// and at any cursor position when none comes before the maximum.
constexpr int kRunTarget = 48;
constexpr int kRunMax = 96;
// Context given to Qt's boundary finder on each side of a window.
constexpr int kContext = 32;

int64_t g_charsShaped = 0;

// Paragraphs holding their glyphs, the last used first.
std::list<ParaLayout*>& Recent() {
  static std::list<ParaLayout*> recent;
  return recent;
}

bool IsRightToLeft(QChar c) {
  switch (c.direction()) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirRLI:
    case QChar::DirAN:
      return true;
    default:
      return false;
  }
}

// How a line's height is counted, as Qt's plain-text layout counts it.
qreal LineHeight(qreal ascent, qreal descent, qreal leading) {
  qreal h = std::ceil(ascent + descent + std::max<qreal>(leading, 0));  // QTextLine::height() rounds up
  if (leading < 0) h += std::ceil(leading);
  return h;
}

}  // namespace

struct ParaLayout::Run {
  int start = 0;
  int length = 0;
  bool tab = false;
  bool hardBreak = false;
  bool rightToLeft = false;  // never broken inside
  // The glyphs and the x of each position from the run's start (the end
  // included); let go of when the paragraph has not been drawn for long.
  mutable std::unique_ptr<QTextLayout> layout;
  mutable std::vector<float> x;
  qreal ascent = 0, descent = 0, leading = 0;
  int End() const { return start + length; }
};

ParaLayout::ParaLayout() = default;

ParaLayout::~ParaLayout() {
  if (holdsGlyphs_) Recent().erase(recent_);
}

void ParaLayout::Touch() const {
  auto& recent = Recent();
  if (holdsGlyphs_) {
    recent.splice(recent.begin(), recent, recent_);
    return;
  }
  recent.push_front(const_cast<ParaLayout*>(this));
  recent_ = recent.begin();
  holdsGlyphs_ = true;
  while (recent.size() > kWithGlyphs) recent.back()->ReleaseGlyphs();
}

void ParaLayout::ReleaseGlyphs() {
  for (Run& r : runs_) {
    r.layout.reset();
    if (!r.tab && !r.hardBreak) std::vector<float>().swap(r.x);
  }
  if (holdsGlyphs_) Recent().erase(recent_);
  holdsGlyphs_ = false;
}

QTextLine ParaLayout::LayOutRun(const Run& r) const {
  g_charsShaped += r.length;
  r.layout = std::make_unique<QTextLayout>(text_.mid(r.start, r.length), font_, device_);
  QTextOption option;
  option.setWrapMode(QTextOption::NoWrap);
  r.layout->setTextOption(option);
  // The glyphs stay: the run is drawn from them until an edit touches it.
  r.layout->setCacheEnabled(true);
  r.layout->beginLayout();
  QTextLine line = r.layout->createLine();
  line.setLeadingIncluded(true);
  line.setLineWidth(1e6);
  r.layout->endLayout();
  return line;
}

const QTextLayout& ParaLayout::Glyphs(const Run& r) const {
  if (!r.layout) {
    LayOutRun(r);
    // The x of each position, from the kept advances.
    r.x.assign(static_cast<size_t>(r.length) + 1, 0.f);
    for (int k = 0; k < r.length; ++k)
      r.x[static_cast<size_t>(k) + 1] = r.x[static_cast<size_t>(k)] + advance_[static_cast<size_t>(r.start + k)];
  }
  return *r.layout;
}

int64_t ParaLayout::CharsShaped() { return g_charsShaped; }

bool ParaLayout::Matches(const QFont& font, qreal width, qreal tabStop) const {
  return built_ && width == width_ && tabStop == tabStop_ && font == font_;
}

// ---------------------------------------------------------------------------
// text attributes

void ParaLayout::ComputeFlags(int from, int to) {
  const int n = static_cast<int>(text_.size());
  from = std::max(from, 0);
  to = std::min(to, n);
  for (int i = from; i < to; ++i) {
    const QChar c = text_.at(i);
    uint8_t& f = flags_[static_cast<size_t>(i)];
    f = (f & kInsideRtl) | (c.isSpace() && c != QChar::LineSeparator ? kBlank : 0) |
        (c == QChar::LineSeparator ? kHardBreak : 0) | (c == QChar::Tabulation ? kTab : 0);
  }
  if (to == n) flags_[static_cast<size_t>(n)] = kCursor;
  if (from >= to) return;
  // Qt's own break opportunities and grapheme boundaries, found with some
  // text on either side so that the window's edges decide nothing.
  const int a = std::max(0, from - kContext), b = std::min(n, to + kContext);
  const QStringView window(text_.constData() + a, b - a);
  // Qt's layout breaks Korean at blanks only: it takes Hangul for letters.
  QString lettered;
  for (qsizetype k = 0; k < window.size(); ++k) {
    const char16_t c = window[k].unicode();
    if ((c >= 0x1100 && c <= 0x11FF) || (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xD7B0 && c <= 0xD7FF)) {
      if (lettered.isNull()) lettered = window.toString();
      lettered[k] = QChar(u'a');
    }
  }
  auto mark = [&](QTextBoundaryFinder::BoundaryType type, uint8_t flag) {
    QTextBoundaryFinder f(type, type == QTextBoundaryFinder::Line && !lettered.isNull() ? QStringView(lettered) : window);
    f.setPosition(std::max(0, from - a - 1));
    for (qsizetype p = f.toNextBoundary(); p >= 0; p = f.toNextBoundary()) {
      const int at = a + static_cast<int>(p);
      if (at >= to) break;
      if (at < from || at == 0) continue;
      if (type == QTextBoundaryFinder::Line && !(f.boundaryReasons() & QTextBoundaryFinder::BreakOpportunity))
        continue;
      flags_[static_cast<size_t>(at)] |= flag;
    }
  };
  mark(QTextBoundaryFinder::Line, kBreak);
  mark(QTextBoundaryFinder::Grapheme, kCursor);
  if (from == 0) flags_[0] |= kCursor;
  // Qt's layout also breaks after any blank that is not a no-break one, even
  // where the rules of Unicode keep what follows (a comma after a blank).
  for (int i = std::max(from, 1); i < to; ++i) {
    const QChar before = text_.at(i - 1);
    if ((flags_[static_cast<size_t>(i - 1)] & kBlank) && !(flags_[static_cast<size_t>(i)] & kBlank) &&
        before.decompositionTag() != QChar::NoBreak)
      flags_[static_cast<size_t>(i)] |= kBreak;
  }
}

bool ParaLayout::InPrimary(int pos) const {
  char32_t c = text_.at(pos).unicode();
  if (QChar::isHighSurrogate(c) && pos + 1 < text_.size() && text_.at(pos + 1).isLowSurrogate())
    c = QChar::surrogateToUcs4(text_.at(pos), text_.at(pos + 1));
  return c < 0x80 || !primary_.isValid() || primary_.supportsCharacter(c);
}

int ParaLayout::NextCursor(int pos) const {
  const int n = static_cast<int>(text_.size());
  int i = pos + 1;
  while (i < n && !(flags_[static_cast<size_t>(i)] & kCursor)) ++i;
  return std::min(i, n);
}

// ---------------------------------------------------------------------------
// runs

void ParaLayout::BuildRuns(int from, int to, std::vector<Run>& out) {
  int i = from;
  while (i < to) {
    Run r;
    r.start = i;
    const QChar c = text_.at(i);
    if (c == QChar::Tabulation || c == QChar::LineSeparator) {
      r.length = 1;
      r.tab = c == QChar::Tabulation;
      r.hardBreak = !r.tab;
      r.x = {0.f, 0.f};
      advance_[static_cast<size_t>(i)] = 0;
      flags_[static_cast<size_t>(i)] &= ~kInsideRtl;
      out.push_back(std::move(r));
      ++i;
      continue;
    }
    int cut = -1, lastCursor = -1;
    int j = i + 1;
    // A run is drawn from one face, or all from others: a line's height is
    // then the highest of its runs', as Qt takes it from its items.
    const bool primary = InPrimary(i);
    for (; j < to && j - i <= kRunMax; ++j) {
      const QChar cj = text_.at(j);
      if (cj == QChar::Tabulation || cj == QChar::LineSeparator) break;
      const uint8_t f = flags_[static_cast<size_t>(j)];
      if ((f & kCursor) && InPrimary(j) != primary) break;
      if (j - i >= kRunTarget && (f & kBreak)) {
        cut = j;
        break;
      }
      if (f & kCursor) lastCursor = j;
    }
    if (cut < 0) cut = (j >= to || j - i <= kRunMax || lastCursor < 0) ? j : lastCursor;
    r.length = cut - i;
    Shape(r);
    out.push_back(std::move(r));
    i = cut;
  }
}

void ParaLayout::Shape(Run& r) {
  const QStringView t(text_.constData() + r.start, r.length);
  r.rightToLeft = std::any_of(t.begin(), t.end(), IsRightToLeft);
  const QTextLine line = LayOutRun(r);
  r.ascent = line.ascent();
  r.descent = line.descent();
  r.leading = line.leading();
  r.x.assign(static_cast<size_t>(r.length) + 1, 0.f);
  for (int k = 1; k <= r.length; ++k) {
    const bool cursor = k == r.length || (flags_[static_cast<size_t>(r.start + k)] & kCursor);
    r.x[static_cast<size_t>(k)] = cursor ? static_cast<float>(line.cursorToX(k)) : r.x[static_cast<size_t>(k) - 1];
  }
  if (r.rightToLeft) {  // measured as a whole: its end is its width
    const float w = static_cast<float>(line.naturalTextWidth());
    for (int k = 1; k < r.length; ++k) r.x[static_cast<size_t>(k)] = std::clamp(r.x[static_cast<size_t>(k)], 0.f, w);
    r.x[static_cast<size_t>(r.length)] = w;
  }
  for (int k = 0; k < r.length; ++k) {
    uint8_t& f = flags_[static_cast<size_t>(r.start + k)];
    f = r.rightToLeft && k > 0 ? (f | kInsideRtl) : (f & ~kInsideRtl);
    advance_[static_cast<size_t>(r.start + k)] = 0;
  }
  // A cluster's width stands at its first position; a right-to-left run's
  // at its start.
  if (r.rightToLeft) {
    advance_[static_cast<size_t>(r.start)] = r.x[static_cast<size_t>(r.length)];
    return;
  }
  for (int k = 0; k < r.length;) {
    int next = k + 1;
    while (next < r.length && !(flags_[static_cast<size_t>(r.start + next)] & kCursor)) ++next;
    advance_[static_cast<size_t>(r.start + k)] = r.x[static_cast<size_t>(next)] - r.x[static_cast<size_t>(k)];
    k = next;
  }
}

int ParaLayout::RunAt(int pos) const {
  auto it = std::upper_bound(runs_.begin(), runs_.end(), pos, [](int p, const Run& r) { return p < r.start; });
  if (it == runs_.begin()) return 0;
  return static_cast<int>(it - runs_.begin()) - 1;
}

qreal ParaLayout::Width(int pos, int next, qreal x) const {
  qreal w = 0;
  for (int i = pos; i < next; ++i) {
    if (flags_[static_cast<size_t>(i)] & kTab) {
      const qreal stop = tabStop_ > 0 ? tabStop_ : 80;
      w += (std::floor((x + w) / stop) + 1) * stop - (x + w);
    } else {
      w += advance_[static_cast<size_t>(i)];
    }
  }
  return w;
}

// ---------------------------------------------------------------------------
// update

void ParaLayout::Update(const QString& text, const QFont& font, QPaintDevice* device, qreal width, qreal tabStop) {
  const bool sameFont = built_ && font == font_ && device == device_;
  const bool sameLines = sameFont && width == width_ && tabStop == tabStop_;
  if (sameLines && text.size() == text_.size() && (text.constData() == text_.constData() || text == text_)) {
    firstChanged_ = static_cast<int>(lines_.size());
    lastChanged_ = firstChanged_ - 1;
    return;
  }
  const int oldN = static_cast<int>(text_.size());
  const int n = static_cast<int>(text.size());
  Touch();  // the runs made now hold their glyphs
  if (!sameFont) {
    text_ = text;
    font_ = font;
    device_ = device;
    width_ = width;
    tabStop_ = tabStop;
    primary_ = QRawFont::fromFont(font_);
    const QFontMetricsF fm(font_, device_);
    ascent_ = fm.ascent();
    descent_ = fm.descent();
    leading_ = fm.leading();
    flags_.assign(static_cast<size_t>(n) + 1, 0);
    advance_.assign(static_cast<size_t>(n) + 1, 0.f);
    for (int at = 0; at < n; at += 4096) ComputeFlags(at, std::min(n, at + 4096));
    if (n == 0) flags_[0] = kCursor;
    runs_.clear();
    BuildRuns(0, n, runs_);
    built_ = true;
    BreakLines();
    return;
  }
  const bool allLines = width != width_ || tabStop != tabStop_;
  width_ = width;
  tabStop_ = tabStop;
  if (allLines && text == text_) {
    BreakLines();
    return;
  }
  // What changed: the text between the common start and the common end.
  const QChar* a = text_.constData();
  const QChar* b = text.constData();
  const int most = std::min(oldN, n);
  int prefix = 0;
  while (prefix + 32 <= most && std::memcmp(a + prefix, b + prefix, 32 * sizeof(QChar)) == 0) prefix += 32;
  while (prefix < most && a[prefix] == b[prefix]) ++prefix;
  int suffix = 0;
  const int room = most - prefix;
  while (suffix + 32 <= room && std::memcmp(a + oldN - suffix - 32, b + n - suffix - 32, 32 * sizeof(QChar)) == 0)
    suffix += 32;
  while (suffix < room && a[oldN - suffix - 1] == b[n - suffix - 1]) ++suffix;
  const int oldEnd = oldN - suffix, newEnd = n - suffix, delta = n - oldN;
  // The lines before the change's neighbourhood stay; those from there are
  // broken again (found before the runs move).
  const int fromLine = LineForPosition(std::max(0, prefix - kContext));
  text_ = text;
  // Attributes move with the text and are found again around the change.
  flags_.erase(flags_.begin() + prefix, flags_.begin() + oldEnd);
  flags_.insert(flags_.begin() + prefix, static_cast<size_t>(newEnd - prefix), 0);
  advance_.erase(advance_.begin() + prefix, advance_.begin() + oldEnd);
  advance_.insert(advance_.begin() + prefix, static_cast<size_t>(newEnd - prefix), 0.f);
  ComputeFlags(prefix - kContext, newEnd + kContext);
  // Runs: those whose text changed are shaped again (the one before too, as
  // a mark typed after it joins its last character).
  int first = 0, last = -1;
  if (!runs_.empty()) {
    first = RunAt(std::max(0, prefix - 1));
    last = RunAt(std::max(0, std::min(oldN, oldEnd) - (oldEnd > prefix ? 1 : 0)));
    last = std::max(first, last);
    if (oldEnd == oldN) last = static_cast<int>(runs_.size()) - 1;
  }
  const int from = runs_.empty() ? 0 : runs_[static_cast<size_t>(first)].start;
  const int oldTo = last >= 0 ? runs_[static_cast<size_t>(last)].End() : 0;
  for (size_t k = static_cast<size_t>(last) + 1; k < runs_.size(); ++k) runs_[k].start += delta;
  runs_.erase(runs_.begin() + first, runs_.begin() + last + 1);
  std::vector<Run> made;
  BuildRuns(from, oldTo + delta, made);
  runs_.insert(runs_.begin() + first, std::make_move_iterator(made.begin()), std::make_move_iterator(made.end()));
  if (allLines || lines_.empty()) BreakLines();
  else BreakLines(lines_[static_cast<size_t>(fromLine)].start, newEnd + kContext, delta);

}

// ---------------------------------------------------------------------------
// lines

void ParaLayout::MeasureLine(Line& l) const {
  l.ascent = ascent_;
  l.descent = descent_;
  qreal leading = leading_;
  bool any = false;
  for (int r = RunAt(l.start); r < static_cast<int>(runs_.size()); ++r) {
    const Run& run = runs_[static_cast<size_t>(r)];
    if (run.start >= l.End() && (any || l.length > 0)) break;
    if (run.tab || run.hardBreak) continue;
    l.ascent = any ? std::max(l.ascent, run.ascent) : run.ascent;
    l.descent = any ? std::max(l.descent, run.descent) : run.descent;
    leading = any ? std::max(leading, run.leading) : run.leading;
    any = true;
    if (l.length == 0) break;
  }
  l.height = LineHeight(l.ascent, l.descent, leading);
}

void ParaLayout::BreakLines(int from, int changeEnd, int delta) {
  const int n = static_cast<int>(text_.size());
  // The old lines from `from` on, to be kept where the new breaks meet them.
  std::vector<Line> old;
  size_t keepFrom = 0;
  if (changeEnd >= 0 && !lines_.empty()) {
    const int at = LineForPosition(from);
    old.assign(lines_.begin() + at, lines_.end());
    lines_.resize(static_cast<size_t>(at));
  } else {
    lines_.clear();
    from = 0;
    changeEnd = -1;
  }
  firstChanged_ = static_cast<int>(lines_.size());
  lastChanged_ = -1;
  qreal y = lines_.empty() ? 0 : lines_.back().y + lines_.back().height;
  const bool wrap = width_ > 0;
  const uint8_t* flags = flags_.data();
  const float* adv = advance_.data();
  const qreal stop = tabStop_ > 0 ? tabStop_ : 80;
  int pos = from;
  while (pos < n || (pos == n && (lines_.empty() || (n > 0 && (flags[n - 1] & kHardBreak))))) {
    // Where the breaks meet the old ones, the old lines follow, moved.
    if (changeEnd >= 0 && pos >= changeEnd) {
      while (keepFrom < old.size() && old[keepFrom].start + delta < pos) ++keepFrom;
      if (keepFrom < old.size() && old[keepFrom].start + delta == pos) {
        lastChanged_ = static_cast<int>(lines_.size()) - 1;
        const qreal dy = y - old[keepFrom].y;
        for (size_t k = keepFrom; k < old.size(); ++k) {
          Line l = old[k];
          l.start += delta;
          l.y += dy;
          lines_.push_back(l);
        }
        if (dy != 0) lastChanged_ = -1;
        y = lines_.back().y + lines_.back().height;
        break;
      }
    }
    Line l;
    l.start = pos;
    qreal x = 0;        // where the next position goes, blanks included
    qreal natural = 0;  // the line's width without its trailing blanks
    int candidate = -1;  // the last break opportunity passed
    qreal candidateNatural = 0;
    int end = n;
    for (int i = pos; i < n; ++i) {
      const uint8_t f = flags[i];
      if (i > pos && (f & kBreak) && !(f & kInsideRtl)) {
        candidate = i;
        candidateNatural = natural;
      }
      const qreal w = (f & kTab) ? (std::floor(x / stop) + 1) * stop - x : adv[i];
      if (!(f & kBlank) && w > 0) {
        if (wrap && i > pos && x + w > width_ && (f & kCursor) && !(f & kInsideRtl)) {
          if (candidate > pos) {
            end = candidate;
            natural = candidateNatural;
          } else {
            end = i;
          }
          break;
        }
        natural = x + w;
      }
      x += w;
      if (f & kHardBreak) {
        end = i + 1;
        break;
      }
    }
    l.length = end - pos;
    l.width = natural;
    MeasureLine(l);
    l.y = y;
    y += l.height;
    lines_.push_back(l);
    pos = end;
    if (l.length == 0) break;
  }
  if (lastChanged_ >= 0 && lines_.size() != old.size() + static_cast<size_t>(firstChanged_)) lastChanged_ = -1;
  height_ = y;
  // Unwrapped, the caret after trailing blanks must be reachable too.
  naturalWidth_ = 0;
  for (int i = 0; i < static_cast<int>(lines_.size()); ++i) {
    const Line& l = lines_[static_cast<size_t>(i)];
    naturalWidth_ = std::max(naturalWidth_, wrap ? l.width : CursorX(i, l.End()));
  }
}

int ParaLayout::LineForPosition(int pos) const {
  auto it = std::upper_bound(lines_.begin(), lines_.end(), pos, [](int p, const Line& l) { return p < l.start; });
  if (it == lines_.begin()) return 0;
  return static_cast<int>(it - lines_.begin()) - 1;
}

qreal ParaLayout::CursorX(int line, int pos) const {
  const Line& l = lines_[static_cast<size_t>(line)];
  pos = std::clamp(pos, l.start, l.End());
  const qreal x = Width(l.start, pos, 0);
  // Trailing blanks past a wrapped line's width stay at its edge, as in Qt.
  return width_ > 0 ? std::min(x, width_) : x;
}

int ParaLayout::PositionAt(int line, qreal x) const {
  const Line& l = lines_[static_cast<size_t>(line)];
  const bool last = line + 1 == static_cast<int>(lines_.size());
  qreal at = 0;
  int i = l.start, before = l.start;
  while (i < l.End()) {
    int next = NextCursor(i);
    while (next < l.End() && (flags_[static_cast<size_t>(next)] & kInsideRtl)) next = NextCursor(next);
    next = std::min(next, l.End());
    const qreal w = Width(i, next, at);
    if (x <= at + w / 2) return i;
    at += w;
    before = i;
    i = next;
  }
  // Right of the line: Qt takes the character between two lines for a blank
  // and puts the caret before it.
  return last || x < at ? l.End() : before;
}

// ---------------------------------------------------------------------------
// drawing

namespace {

void Underline(QPainter* p, const QTextCharFormat& f, qreal x0, qreal x1, qreal baseline, const QFontMetricsF& fm,
               const QColor& textColor) {
  QTextCharFormat::UnderlineStyle style = f.underlineStyle();
  if (style == QTextCharFormat::NoUnderline && f.fontUnderline()) style = QTextCharFormat::SingleUnderline;
  if (style == QTextCharFormat::NoUnderline || x1 <= x0) return;
  const QColor color = f.underlineColor().isValid() ? f.underlineColor() : textColor;
  QPen pen(color);
  pen.setWidthF(std::max<qreal>(1, fm.lineWidth()));
  const qreal y = baseline + std::max<qreal>(1, fm.underlinePos());
  p->save();
  switch (style) {
    case QTextCharFormat::DashUnderline: pen.setStyle(Qt::DashLine); break;
    case QTextCharFormat::DotLine: pen.setStyle(Qt::DotLine); break;
    case QTextCharFormat::DashDotLine: pen.setStyle(Qt::DashDotLine); break;
    case QTextCharFormat::DashDotDotLine: pen.setStyle(Qt::DashDotDotLine); break;
    default: break;
  }
  p->setPen(pen);
  if (style == QTextCharFormat::WaveUnderline || style == QTextCharFormat::SpellCheckUnderline) {
    QPainterPath wave;
    const qreal step = 2;
    wave.moveTo(x0, y);
    for (qreal x = x0 + step, k = 1; x <= x1; x += step, ++k) wave.lineTo(x, y + (static_cast<int>(k) % 2 ? 1.5 : 0));
    p->setBrush(Qt::NoBrush);
    p->drawPath(wave);
  } else {
    p->drawLine(QPointF(x0, y), QPointF(x1, y));
  }
  p->restore();
}

}  // namespace

void ParaLayout::DrawLine(QPainter* p, int line, const QPointF& origin,
                          const QList<QTextLayout::FormatRange>& formats) const {
  Touch();
  const Line& l = lines_[static_cast<size_t>(line)];
  const int start = l.start, end = l.End();
  // Cut the line where a format begins or ends.
  std::vector<int> cuts = {start, end};
  for (const auto& f : formats) {
    for (int at : {f.start, f.start + f.length})
      if (at > start && at < end) cuts.push_back(at);
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  struct Piece {
    int from, to;
    qreal x0, x1;
    QTextCharFormat format;
  };
  std::vector<Piece> pieces;
  for (size_t k = 0; k + 1 < cuts.size(); ++k) {
    Piece piece{cuts[k], cuts[k + 1], 0, 0, {}};
    for (const auto& f : formats)
      if (f.start <= piece.from && f.start + f.length >= piece.to && f.length > 0) piece.format.merge(f.format);
    piece.x0 = origin.x() + CursorX(line, piece.from);
    piece.x1 = origin.x() + CursorX(line, piece.to);
    pieces.push_back(std::move(piece));
  }
  // Backgrounds first, then the text over them, then the underlines.
  for (const Piece& piece : pieces) {
    const QBrush bg = piece.format.background();
    if (bg.style() != Qt::NoBrush) p->fillRect(QRectF(piece.x0, origin.y(), piece.x1 - piece.x0, l.height), bg);
  }
  const QPen basePen = p->pen();
  const qreal baseline = origin.y() + l.ascent;
  for (const Piece& piece : pieces) {
    const QBrush fg = piece.format.foreground();
    p->setPen(fg.style() != Qt::NoBrush ? QPen(fg, 0) : basePen);
    for (int r = RunAt(piece.from); r < static_cast<int>(runs_.size()); ++r) {
      const Run& run = runs_[static_cast<size_t>(r)];
      if (run.start >= piece.to) break;
      if (run.tab || run.hardBreak) continue;
      const int a = std::max(piece.from, run.start), b = std::min(piece.to, run.End());
      if (b <= a) continue;
      const QTextLayout& glyphs = Glyphs(run);
      const qreal ax = origin.x() + Width(start, a, 0);
      const QPointF at(ax - run.x[static_cast<size_t>(a - run.start)], baseline - run.ascent);
      for (const QGlyphRun& g : glyphs.glyphRuns(a - run.start, b - a)) p->drawGlyphRun(at, g);
    }
  }
  p->setPen(basePen);
  const QFontMetricsF fm(font_, device_);
  for (const Piece& piece : pieces) {
    const QBrush fg = piece.format.foreground();
    Underline(p, piece.format, piece.x0, piece.x1, baseline, fm,
              fg.style() != Qt::NoBrush ? fg.color() : basePen.color());
  }
}

}  // namespace wendul
