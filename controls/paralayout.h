// The layout of one long paragraph, kept across edits.
//
// Qt lays a paragraph out whole on every change: it shapes every character
// again, about a millisecond per thousand characters of Japanese, so a
// keystroke in a paragraph of 10,000 characters costs a frame. Here the text
// is shaped in runs of a few dozen characters, each kept with the advance of
// every position; an edit shapes again only the runs it touched, and the
// lines are broken again from the kept advances (arithmetic, no shaping).
// Break opportunities, cursor positions and line heights are Qt's own, so a
// paragraph wraps as Qt would wrap it; a run holding right-to-left text is
// never broken inside.
#pragma once

#include <QFont>
#include <QList>
#include <QRawFont>
#include <QString>
#include <QTextLayout>
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

class QPainter;
class QPaintDevice;

namespace wendul {

class ParaLayout {
 public:
  struct Line {
    int start = 0;   // first position
    int length = 0;  // positions, trailing blanks included
    qreal y = 0;     // top, from the paragraph's top
    qreal ascent = 0;
    qreal descent = 0;
    qreal height = 0;
    qreal width = 0;  // natural width, trailing blanks excluded
    int End() const { return start + length; }
  };

  ParaLayout();
  ~ParaLayout();
  ParaLayout(const ParaLayout&) = delete;
  ParaLayout& operator=(const ParaLayout&) = delete;

  // Brings the layout to `text`; only what differs from the text it had is
  // shaped again. width <= 0: no wrapping.
  void Update(const QString& text, const QFont& font, QPaintDevice* device, qreal width, qreal tabStop);
  // The text, font, width and tab stops it was last brought to.
  const QString& Text() const { return text_; }
  bool Matches(const QFont& font, qreal width, qreal tabStop) const;

  int LineCount() const { return static_cast<int>(lines_.size()); }
  const Line& LineAt(int i) const { return lines_[static_cast<size_t>(i)]; }
  // The line that holds position pos: a line's start belongs to it, the
  // paragraph's end to the last line.
  int LineForPosition(int pos) const;
  qreal Height() const { return height_; }
  qreal NaturalWidth() const { return naturalWidth_; }

  // x of position pos from the start of line `line`.
  qreal CursorX(int line, int pos) const;
  // The cursor position of line `line` nearest to x (from its start); past
  // the end of a wrapped line, the end of its text.
  int PositionAt(int line, qreal x) const;

  // Draws line `line` with its top left corner at origin, in the painter's
  // pen; `formats` (positions as in the text) add backgrounds, text colours
  // and underlines, the later ones over the earlier.
  void DrawLine(QPainter* p, int line, const QPointF& origin, const QList<QTextLayout::FormatRange>& formats) const;

  // Set by the editor when its paragraph changed; it is brought up to date
  // before it is used again.
  bool stale = true;

  // The lines the last Update changed: from `first`; up to `last` when the
  // lines after it only moved (-1: to the end, the count of lines changed
  // or the lines after moved up or down).
  int FirstChangedLine() const { return firstChanged_; }
  int LastChangedLine() const { return lastChanged_; }

  // The glyphs of at most this many paragraphs, the last drawn or edited,
  // are kept; the others keep their advances and lines, and shape a run again
  // when it is drawn.
  static constexpr size_t kWithGlyphs = 12;

  // Characters shaped by all layouts so far (tests and benchmarks check that
  // an edit shapes only the runs around it).
  static int64_t CharsShaped();

 private:
  struct Run;
  void ComputeFlags(int from, int to);
  void BuildRuns(int from, int to, std::vector<Run>& out);
  void Shape(Run& r);
  // Shapes the run's text into its layout, as one unwrapped line.
  QTextLine LayOutRun(const Run& r) const;
  // The run's glyphs, shaped again when they were let go.
  const QTextLayout& Glyphs(const Run& r) const;
  // Marks the paragraph as just used; lets go of the glyphs of the ones used longest ago.
  void Touch() const;
  void ReleaseGlyphs();
  // Breaks the lines again from the one holding `from` (0: all); `delta`
  // positions were inserted (or removed) at `changeEnd` - delta, so old
  // lines that start after the change may be kept, moved.
  void BreakLines(int from = 0, int changeEnd = -1, int delta = 0);
  void MeasureLine(Line& l) const;
  // Width of the positions [pos, next) placed at x on their line.
  qreal Width(int pos, int next, qreal x) const;
  int RunAt(int pos) const;
  int NextCursor(int pos) const;
  bool InPrimary(int pos) const;

  QString text_;
  QFont font_;
  QPaintDevice* device_ = nullptr;
  qreal width_ = 0;
  qreal tabStop_ = 80;
  bool built_ = false;
  std::vector<uint8_t> flags_;  // one per position, and one for the end
  std::vector<float> advance_;  // per position: its cluster's width at its first position, else 0
  std::vector<Run> runs_;
  std::vector<Line> lines_;
  qreal height_ = 0;
  qreal naturalWidth_ = 0;
  qreal ascent_ = 0, descent_ = 0, leading_ = 0;  // of the font, for an empty paragraph
  QRawFont primary_;  // the font's own face: a character it lacks is drawn from another
  int firstChanged_ = 0;
  int lastChanged_ = -1;
  mutable bool holdsGlyphs_ = false;
  mutable std::list<ParaLayout*>::iterator recent_;
};

}  // namespace wendul
