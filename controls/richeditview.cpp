#include "controls/richeditview.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPaintEngine>
#include <QPainter>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <climits>
#include <cmath>

#include "controls/murichedit.h"
#include "controls/paralayout.h"

namespace wendul {

namespace {

// How Qt's plain-text layout advances from a line to the next.
qreal LineAdvance(const QTextLine& l) {
  qreal h = l.height();
  if (l.leading() < 0) h += std::ceil(l.leading());
  return h;
}

}  // namespace

// ---------------------------------------------------------------------------
// the document's layout

RichEditDocLayout::RichEditDocLayout(QTextDocument* doc, RichEditView* view)
    : QPlainTextDocumentLayout(doc), view_(view) {}

// Qt's own view code asks this for every paragraph it walks over. A rectangle
// without width is invalid, so that code never scrolls down or up by itself
// (the view does); its height keeps those walks to a step or two. Qt also
// scrolls across after every move of the caret, from the caret's x in the
// paragraph's Qt layout: a long paragraph has none, and starts at the left of
// what is shown, so that Qt finds its caret in view.
QRectF RichEditDocLayout::blockBoundingRect(const QTextBlock& block) const {
  if (!block.isValid()) return QRectF();
  return QRectF(view_ && view_->IsLong(block) ? view_->ShownLeft() : 0, 0, 0, 1e8);
}

QSizeF RichEditDocLayout::documentSize() const {
  return QSizeF(QPlainTextDocumentLayout::documentSize().width(), document()->lineCount());
}

void RichEditDocLayout::documentChanged(int from, int charsRemoved, int charsAdded) {
  if (view_) view_->DocumentChanged(from, charsRemoved, charsAdded);
}

// ---------------------------------------------------------------------------
// the lines of one paragraph, whichever layout holds them

struct RichEditView::Lines {
  QTextLayout* qt = nullptr;
  const ParaLayout* para = nullptr;
  qreal margin = 0;

  int Count() const { return qt ? qt->lineCount() : para ? para->LineCount() : 0; }
  int Start(int i) const { return qt ? qt->lineAt(i).textStart() : para->LineAt(i).start; }
  int Length(int i) const { return qt ? qt->lineAt(i).textLength() : para->LineAt(i).length; }
  qreal Top(int i) const { return qt ? qt->lineAt(i).y() : para->LineAt(i).y; }
  qreal Advance(int i) const { return qt ? LineAdvance(qt->lineAt(i)) : para->LineAt(i).height; }
  qreal CaretHeight(int i) const {
    if (qt) return qt->lineAt(i).ascent() + qt->lineAt(i).descent();
    return para->LineAt(i).ascent + para->LineAt(i).descent;
  }
  qreal Height() const {
    const int n = Count();
    return n == 0 ? 0 : Top(n - 1) + Advance(n - 1);
  }
  // x from the content's left edge.
  qreal X(int i, int pos) const { return qt ? qt->lineAt(i).cursorToX(pos) : margin + para->CursorX(i, pos); }
  int Pos(int i, qreal x) const {
    return qt ? qt->lineAt(i).xToCursor(x) : para->PositionAt(i, x - margin);
  }
  int LineOf(int pos) const {
    if (para) return para->LineForPosition(pos);
    if (!qt || qt->lineCount() == 0) return 0;
    const QTextLine l = qt->lineForTextPosition(pos);
    return l.isValid() ? l.lineNumber() : (pos <= 0 ? 0 : qt->lineCount() - 1);
  }
};

// ---------------------------------------------------------------------------

RichEditView::RichEditView(TmuRichEdit* edit) : ed_(edit) {
  auto* doc = new QTextDocument(ed_);
  doc->setDefaultFont(ed_->font());
  layout_ = new RichEditDocLayout(doc, this);
  layout_->setPaintDevice(ed_->viewport());
  doc->setDocumentLayout(layout_);
  ed_->setDocument(doc);
  // A page step of the scroll bar scrolls a page: Qt's own handler would
  // measure the page by its layout, which is not used.
  QObject::disconnect(ed_->verticalScrollBar(), SIGNAL(actionTriggered(int)), ed_,
                      SLOT(_q_verticalScrollbarActionTriggered(int)));
  connect(ed_, &QPlainTextEdit::cursorPositionChanged, this, [this] {
    if (!movingVertically_) goalX_ = -1;
    if (!moveSelecting_) EnsureCaretVisible();
    UpdateCaret();
  });
  connect(ed_, &QPlainTextEdit::selectionChanged, this, [this] { ed_->viewport()->update(); });
  // Qt asks for the caret's old place to be painted again (blinking, focus)
  // by a rectangle of its own geometry; the caret's real place is added.
  connect(ed_, &QPlainTextEdit::updateRequest, this, [this](const QRect&, int) { UpdateCaret(); });
  autoScroll_.setInterval(100);
  connect(&autoScroll_, &QTimer::timeout, this, [this] { AutoScroll(); });
}

RichEditView::~RichEditView() {
  if (layout_) layout_->Detach();
}

qreal RichEditView::ShownLeft() const { return ed_->horizontalScrollBar()->value() + 1; }

qreal RichEditView::Margin() const { return ed_->document()->documentMargin(); }

qreal RichEditView::WrapWidth() const {
  if (ed_->lineWrapMode() == QPlainTextEdit::NoWrap) return 0;
  return std::max<qreal>(1, ed_->viewport()->width() - 2 * Margin());
}

bool RichEditView::IsLong(const QTextBlock& b) const { return ed_->ParaOf(b, false) != nullptr; }

std::vector<std::pair<int, int>> RichEditView::LinesIn(const QTextBlock& b) const {
  const Lines l = LinesOf(b);
  std::vector<std::pair<int, int>> out;
  for (int i = 0; i < l.Count(); ++i) out.emplace_back(l.Start(i), l.Length(i));
  return out;
}

QString RichEditView::LayoutText(const QTextBlock& b) const {
  QString t = b.text();
  const QTextLayout* tl = b.layout();
  const QString pre = tl->preeditAreaText();
  if (!pre.isEmpty()) t.insert(std::clamp<int>(tl->preeditAreaPosition(), 0, static_cast<int>(t.size())), pre);
  return t;
}

int RichEditView::ToLayout(const QTextBlock& b, int docPos) const {
  const QTextLayout* tl = b.layout();
  const int n = static_cast<int>(tl->preeditAreaText().size());
  return n > 0 && docPos > tl->preeditAreaPosition() ? docPos + n : docPos;
}

int RichEditView::FromLayout(const QTextBlock& b, int layoutPos) const {
  const QTextLayout* tl = b.layout();
  const int n = static_cast<int>(tl->preeditAreaText().size());
  const int at = tl->preeditAreaPosition();
  if (n == 0 || layoutPos <= at) return layoutPos;
  return layoutPos < at + n ? at : layoutPos - n;
}

// Lays the block out as QPlainTextEdit does.
void RichEditView::LayOutQt(const QTextBlock& b) const {
  QTextDocument* doc = ed_->document();
  const qreal margin = Margin();
  QTextLayout* tl = b.layout();
  tl->setTextOption(doc->defaultTextOption());
  tl->beginLayout();
  const qreal available = std::max<qreal>(1, ed_->viewport()->width() - 2 * margin);
  qreal height = 0;
  for (;;) {
    QTextLine line = tl->createLine();
    if (!line.isValid()) break;
    line.setLeadingIncluded(true);
    line.setLineWidth(available);
    line.setPosition(QPointF(margin, height));
    height += LineAdvance(line);
    // Unwrapped, the caret after trailing blanks must be reachable too.
    const qreal end = line.cursorToX(line.textStart() + line.textLength()) - margin;
    maxWidth_ = std::max(maxWidth_, std::max(line.naturalTextWidth(), end) + 2 * margin);
  }
  tl->endLayout();
}

void RichEditView::LayOut(const QTextBlock& b) const {
  if (!b.isValid()) return;
  QTextLayout* tl = b.layout();
  const int length = b.length() - 1 + static_cast<int>(tl->preeditAreaText().size());
  ParaLayout* para = ed_->ParaOf(b, false);
  int lines;
  if (length >= kLongPara || (para && length >= kShortPara)) {
    if (!para) para = ed_->ParaOf(b, true);
    const QFont font = ed_->document()->defaultFont();
    const qreal tab = ed_->document()->defaultTextOption().tabStopDistance();
    if (para->stale || !para->Matches(font, WrapWidth(), tab)) {
      para->Update(LayoutText(b), font, ed_->viewport(), WrapWidth(), tab);
      para->stale = false;
    }
    if (tl->lineCount() > 0) tl->clearLayout();
    lines = para->LineCount();
    maxWidth_ = std::max(maxWidth_, para->NaturalWidth() + 2 * Margin());
  } else {
    if (para) ed_->DropPara(b);
    if (tl->lineCount() == 0) LayOutQt(b);
    lines = tl->lineCount();
  }
  if (b.lineCount() != lines) const_cast<QTextBlock&>(b).setLineCount(lines);
}

RichEditView::Lines RichEditView::LinesOf(const QTextBlock& b) const {
  LayOut(b);
  Lines l;
  l.margin = Margin();
  if (const ParaLayout* p = ed_->ParaOf(b, false)) l.para = p;
  else l.qt = b.layout();
  return l;
}

// ---------------------------------------------------------------------------
// lines and scrolling

QTextBlock RichEditView::BlockOfLine(int n, int* lineInBlock) const {
  QTextDocument* doc = ed_->document();
  n = std::clamp(n, 0, std::max(0, doc->lineCount() - 1));
  QTextBlock b = doc->findBlockByLineNumber(n);
  // Laying a paragraph out changes its count of lines, and so which block
  // holds line n; a few rounds settle it.
  for (int round = 0; round < 8 && b.isValid(); ++round) {
    LayOut(b);
    const QTextBlock again = doc->findBlockByLineNumber(std::min(n, std::max(0, doc->lineCount() - 1)));
    if (again == b) break;
    b = again;
  }
  if (!b.isValid()) b = doc->lastBlock();
  const int count = std::max(1, LinesOf(b).Count());
  *lineInBlock = std::clamp(n - b.firstLineNumber(), 0, count - 1);
  return b;
}

qreal RichEditView::TopY() const { return topLine_ == 0 ? Margin() : 0; }

bool RichEditView::BlockTop(const QTextBlock& target, qreal* top, int reach) const {
  int line = 0;
  QTextBlock b = BlockOfLine(topLine_, &line);
  qreal y = TopY() - LinesOf(b).Top(line);
  const int want = target.blockNumber();
  int walked = 0;
  while (b.isValid() && b.blockNumber() < want) {
    const Lines l = LinesOf(b);
    y += l.Height();
    walked += l.Count();
    if (walked > reach) return false;
    b = b.next();
  }
  while (b.isValid() && b.blockNumber() > want) {
    b = b.previous();
    const Lines l = LinesOf(b);
    y -= l.Height();
    walked += l.Count();
    if (walked > reach) return false;
  }
  *top = y;
  return b.isValid();
}

void RichEditView::SetTopLine(int line) {
  QScrollBar* vbar = ed_->verticalScrollBar();
  line = std::clamp(line, 0, std::max(0, vbar->maximum()));
  if (line == topLine_ && vbar->value() == line) return;
  {
    const QSignalBlocker block(vbar);
    vbar->setValue(line);
  }
  ScrollTo(line);
}

void RichEditView::ScrollTo(int line) {
  const int from = topLine_;
  topLine_ = line;
  QWidget* vp = ed_->viewport();
  // A move of a few lines moves the pixels shown and paints only the lines
  // that come into view, as QPlainTextEdit does.
  const int lo = std::min(from, line), hi = std::max(from, line);
  qreal moved = 0;
  if (hi - lo < vp->height() / 4 && lo != hi) {
    int li = 0;
    QTextBlock b = BlockOfLine(lo, &li);
    for (int n = lo; n < hi && moved <= vp->height(); ++n) {
      moved += LinesOf(b).Advance(li);
      if (!StepLine(b, li, 1)) break;
    }
    moved += (lo == 0 ? Margin() : 0);
  }
  if (moved > 0 && moved < vp->height()) {
    const int dy = static_cast<int>(from < line ? -moved : moved);
    vp->scroll(0, dy);
    lastCaret_.translate(0, dy);  // the caret shown moved with the text
  } else {
    vp->update();  // the paint records where it draws the caret
  }
  QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle | Qt::ImAnchorRectangle);
}

void RichEditView::UpdateScrollBars() {
  QTextDocument* doc = ed_->document();
  QScrollBar* vbar = ed_->verticalScrollBar();
  if (bottomLines_ < 0) {
    // How many lines fit above the end, as QPlainTextEdit counts them.
    const qreal visible = ed_->viewport()->height() - Margin() - 1;
    qreal y = 0;
    int lines = 0;
    for (QTextBlock b = doc->lastBlock(); b.isValid() && y <= visible; b = b.previous()) {
      const Lines l = LinesOf(b);
      for (int i = l.Count() - 1; i >= 0; --i) {
        y += l.Advance(i);
        if (y > visible) break;
        ++lines;
      }
    }
    bottomLines_ = std::max(1, lines);
  }
  const int vmax = std::max(0, doc->lineCount() - bottomLines_);
  {
    const QSignalBlocker block(vbar);
    vbar->setRange(0, vmax);
    vbar->setPageStep(bottomLines_);
    topLine_ = std::clamp(topLine_, 0, vmax);
    vbar->setValue(topLine_);
  }
  QScrollBar* hbar = ed_->horizontalScrollBar();
  const QSignalBlocker block(hbar);
  const int width = ed_->viewport()->width();
  if (ed_->lineWrapMode() == QPlainTextEdit::NoWrap) {
    hbar->setRange(0, std::max(0, static_cast<int>(std::ceil(maxWidth_)) - width));
    hbar->setPageStep(width);
  } else {
    hbar->setRange(0, 0);
  }
}

void RichEditView::Scrolled() {
  const int line = ed_->verticalScrollBar()->value();
  if (line != topLine_) ScrollTo(line);
  else ed_->viewport()->update();  // across
}

void RichEditView::Resized() {
  bottomLines_ = -1;
  UpdateScrollBars();
  ed_->viewport()->update();
}

void RichEditView::Shown() {
  bottomLines_ = -1;
  UpdateScrollBars();
  EnsureCaretVisible();
}

void RichEditView::WrapOrFontChanged() {
  maxWidth_ = 0;
  bottomLines_ = -1;
  UpdateScrollBars();
  EnsureCaretVisible();
  ed_->viewport()->update();
}

void RichEditView::DocumentChanged(int from, int removed, int added) {
  Q_UNUSED(removed);
  QTextDocument* doc = ed_->document();
  const int last = std::max(0, doc->characterCount() - 1);
  QTextBlock first = doc->findBlock(std::clamp(from, 0, last));
  const QTextBlock end = doc->findBlock(std::clamp(from + std::max(added, 0), 0, last));
  if (!first.isValid()) return;
  const int oldLines = doc->lineCount();
  int count = 0;
  for (QTextBlock b = first; b.isValid(); b = b.next()) {
    if (ParaLayout* p = ed_->ParaOf(b, false)) p->stale = true;
    else b.layout()->clearLayout();
    ++count;
    if (b == end) break;
  }
  // An ordinary edit is laid out at once, as Qt would; a whole new text is
  // laid out as it comes into view.
  bool sameLines = count == 1;
  if (count <= 16) {
    for (QTextBlock b = first; b.isValid(); b = b.next()) {
      const int before = b.lineCount();
      LayOut(b);
      sameLines = sameLines && b.lineCount() == before;
      if (b == end) break;
    }
  }
  bottomLines_ = -1;
  if (doc->lineCount() != oldLines || !sameLines || count > 16) UpdateScrollBars();
  else if (first.blockNumber() >= doc->blockCount() - 64) UpdateScrollBars();
  if (count > 16) {
    ed_->viewport()->update();
    return;
  }
  const ParaLayout* para = count == 1 ? ed_->ParaOf(first, false) : nullptr;
  if (para && para->FirstChangedLine() >= para->LineCount()) return;  // nothing shown changed
  UpdateBlock(first, !sameLines, para ? para->FirstChangedLine() : 0, para ? para->LastChangedLine() : -2);
}

void RichEditView::UpdateBlock(const QTextBlock& b, bool toBottom, int firstLine, int lastLine) {
  QWidget* vp = ed_->viewport();
  int line = 0;
  const QTextBlock top = BlockOfLine(topLine_, &line);
  if (b.blockNumber() < top.blockNumber()) {  // above the view: everything moves
    vp->update();
    return;
  }
  qreal y = 0;
  if (!BlockTop(b, &y, vp->height())) return;  // far below
  const Lines l = LinesOf(b);
  if (firstLine > 0 && firstLine < l.Count()) y += l.Top(firstLine);
  if (y > vp->height()) return;
  qreal h = toBottom || lastLine == -1 ? vp->height() - y : l.Height() - (firstLine > 0 ? l.Top(firstLine) : 0);
  if (!toBottom && lastLine >= 0 && lastLine < l.Count())
    h = l.Top(lastLine) + l.Advance(lastLine) - (firstLine > 0 ? l.Top(firstLine) : 0);
  vp->update(QRectF(0, y - 1, vp->width(), h + 2).toAlignedRect());
}

// ---------------------------------------------------------------------------
// the caret

QRectF RichEditView::CaretRectOf(const QTextCursor& c) const {
  const QTextBlock b = c.block();
  if (!b.isValid()) return QRectF();
  const Lines l = LinesOf(b);
  if (l.Count() == 0) return QRectF();
  int pos = c.position() - b.position();
  const QTextLayout* tl = b.layout();
  int lp = ToLayout(b, pos);
  if (!tl->preeditAreaText().isEmpty() && pos == tl->preeditAreaPosition())
    lp = pos + std::clamp(preeditCursor_, 0, static_cast<int>(tl->preeditAreaText().size()));
  const int li = l.LineOf(lp);
  qreal top = 0;
  if (!BlockTop(b, &top)) return QRectF();
  const qreal x = l.X(li, lp) - ed_->horizontalScrollBar()->value();
  return QRectF(x, top + l.Top(li), std::max(1, ed_->cursorWidth()), l.CaretHeight(li));
}

QRect RichEditView::CaretRect() const { return CaretRectOf(ed_->textCursor()).toAlignedRect(); }

void RichEditView::InputMethodDone(const QInputMethodEvent& e) {
  // Where the caret stands in the unfinished text, as Qt takes it.
  preeditCursor_ = static_cast<int>(e.preeditString().size());
  for (const QInputMethodEvent::Attribute& a : e.attributes())
    if (a.type == QInputMethodEvent::Cursor) preeditCursor_ = a.start;
  EnsureCaretVisible();
}

void RichEditView::UpdateCaret() {
  QWidget* vp = ed_->viewport();
  if (!lastCaret_.isNull()) vp->update(lastCaret_.adjusted(-2, -1, 2, 1));
  lastCaret_ = CaretRect();
  if (!lastCaret_.isNull()) vp->update(lastCaret_.adjusted(-2, -1, 2, 1));
}

bool RichEditView::StepLine(QTextBlock& b, int& line, int dir) const {
  if (dir < 0 && line > 0) {
    --line;
    return true;
  }
  if (dir > 0 && line + 1 < LinesOf(b).Count()) {
    ++line;
    return true;
  }
  const QTextBlock to = dir < 0 ? b.previous() : b.next();
  if (!to.isValid()) return false;
  b = to;
  line = dir < 0 ? std::max(0, LinesOf(b).Count() - 1) : 0;
  return true;
}

void RichEditView::EnsureCaretVisible() {
  const QTextCursor c = ed_->textCursor();
  const QTextBlock b = c.block();
  if (!b.isValid() || !ed_->isVisible()) return;
  const Lines l = LinesOf(b);
  const int lp = ToLayout(b, c.position() - b.position());
  const int li = l.LineOf(lp);
  const int height = ed_->viewport()->height();
  if (b.firstLineNumber() + li < topLine_) {
    UpdateScrollBars();
    SetTopLine(b.firstLineNumber() + li);
  } else {
    qreal top = 0;
    const bool near = b.firstLineNumber() + li - topLine_ <= height && BlockTop(b, &top, height);
    if (!near || top + l.Top(li) + l.Advance(li) > height) {
      // The caret's line becomes the last one shown in full.
      QTextBlock tb = b;
      int ti = li;
      qreal used = l.Advance(li);
      for (;;) {
        QTextBlock pb = tb;
        int pi = ti;
        if (!StepLine(pb, pi, -1)) break;
        const bool first = pb.blockNumber() == 0 && pi == 0;
        const qreal a = LinesOf(pb).Advance(pi);
        if (used + a > height - (first ? Margin() : 0)) break;
        used += a;
        tb = pb;
        ti = pi;
      }
      UpdateScrollBars();
      SetTopLine(tb.firstLineNumber() + ti);
    }
  }
  // Across: Qt's rule, the caret's column in the middle when it left the view.
  if (ed_->lineWrapMode() == QPlainTextEdit::NoWrap) {
    QScrollBar* hbar = ed_->horizontalScrollBar();
    const qreal x = l.X(li, lp);
    const int w = ed_->viewport()->width();
    if (x < hbar->value() || x + ed_->cursorWidth() > hbar->value() + w) {
      UpdateScrollBars();
      hbar->setValue(static_cast<int>(x) - w / 2);
    }
  }
}

// ---------------------------------------------------------------------------
// painting

void RichEditView::Paint(QPaintEvent* e) {
  QPainter p(ed_->viewport());
  const QRect er = e->rect();
  const QAbstractTextDocumentLayout::PaintContext ctx = ed_->getPaintContext();
  p.setPen(ctx.palette.text().color());
  p.setClipRect(er);
  const bool editable = !ed_->isReadOnly();
  const qreal hx = -ed_->horizontalScrollBar()->value();
  const int height = ed_->viewport()->height();
  int line = 0;
  QTextBlock b = BlockOfLine(topLine_, &line);
  qreal y = TopY() - LinesOf(b).Top(line);
  bool caretDrawn = false;
  for (; b.isValid() && y <= height; b = b.next()) {
    const Lines l = LinesOf(b);
    const qreal h = l.Height();
    if (y + h >= er.top() && y <= er.bottom()) {
      const int blpos = b.position(), bllen = b.length();
      QList<QTextLayout::FormatRange> selections;
      for (const auto& range : ctx.selections) {
        const int s = range.cursor.selectionStart() - blpos, t = range.cursor.selectionEnd() - blpos;
        if (s < bllen && t > 0 && t > s) selections.append({s, t - s, range.format});
      }
      QTextLayout* tl = b.layout();
      const bool preedit = !tl->preeditAreaText().isEmpty();
      int cpos = -1;
      if ((editable || (ed_->textInteractionFlags() & Qt::TextSelectableByKeyboard)) && ctx.cursorPosition >= blpos &&
          ctx.cursorPosition < blpos + bllen)
        cpos = ctx.cursorPosition - blpos;
      if (editable && ctx.cursorPosition < -1 && preedit) cpos = tl->preeditAreaPosition() - (ctx.cursorPosition + 2);
      caretDrawn = caretDrawn || cpos >= 0;
      if (l.qt) {
        tl->draw(&p, QPointF(hx, y), selections, er);
        if (cpos >= 0) tl->drawCursor(&p, QPointF(hx, y), cpos, ed_->cursorWidth());
      } else {
        QList<QTextLayout::FormatRange> formats = tl->formats();
        formats += selections;
        const int lines = l.Count();
        for (int i = 0; i < lines; ++i) {
          const qreal top = y + l.Top(i);
          if (top + l.Advance(i) < er.top()) continue;
          if (top > er.bottom()) break;
          l.para->DrawLine(&p, i, QPointF(hx + l.margin, top), formats);
          // The paragraph's end, when selected, shows as a blank.
          if (i == lines - 1) {
            for (const auto& s : selections) {
              if (s.start + s.length <= l.para->Text().size()) continue;
              const qreal x = hx + l.X(i, static_cast<int>(l.para->Text().size()));
              p.fillRect(QRectF(x, top, p.fontMetrics().horizontalAdvance(QLatin1Char(' ')), l.Advance(i)),
                         s.format.background());
            }
          }
        }
        if (cpos >= 0) {
          const int lp = ctx.cursorPosition < -1 ? cpos : ToLayout(b, cpos);
          const int li = l.LineOf(lp);
          const QRectF r(hx + l.X(li, lp), y + l.Top(li), ed_->cursorWidth(), l.CaretHeight(li));
          const QPainter::CompositionMode mode = p.compositionMode();
          if (p.paintEngine()->hasFeature(QPaintEngine::RasterOpModes))
            p.setCompositionMode(QPainter::RasterOp_NotDestination);
          p.fillRect(r, p.pen().brush());
          p.setCompositionMode(mode);
        }
      }
      if (dropPos_ >= blpos && dropPos_ < blpos + bllen) {
        const int lp = ToLayout(b, dropPos_ - blpos);
        const int li = l.LineOf(lp);
        p.fillRect(QRectF(hx + l.X(li, lp), y + l.Top(li), ed_->cursorWidth(), l.CaretHeight(li)), p.pen().brush());
      }
    }
    y += h;
  }
  // Where the caret now shows, to be painted over when it moves.
  if (caretDrawn) lastCaret_ = CaretRect();
}

// ---------------------------------------------------------------------------
// hit testing

int RichEditView::PositionAt(const QPointF& point) const {
  int line = 0;
  QTextBlock b = BlockOfLine(topLine_, &line);
  qreal y = TopY() - LinesOf(b).Top(line);
  const qreal x = point.x() + ed_->horizontalScrollBar()->value();
  // Upwards from the top line while the point lies above the block.
  while (point.y() < y && b.previous().isValid()) {
    b = b.previous();
    y -= LinesOf(b).Height();
  }
  for (;;) {
    const Lines l = LinesOf(b);
    const qreal h = l.Height();
    if (point.y() < y + h || !b.next().isValid()) {
      const int n = l.Count();
      // Above the first line: its start; below the last: the end (as Qt).
      if (n == 0 || point.y() < y + l.Top(0)) return b.position();
      if (point.y() >= y + h) return b.position() + b.length() - 1;
      int li = 0;
      while (li + 1 < n && point.y() >= y + l.Top(li + 1)) ++li;
      return b.position() + FromLayout(b, l.Pos(li, x));
    }
    y += h;
    b = b.next();
  }
}

// ---------------------------------------------------------------------------
// keys

void RichEditView::MoveTo(const QTextBlock& b, int line, qreal x, QTextCursor::MoveMode mode) {
  const Lines l = LinesOf(b);
  QTextCursor c = ed_->textCursor();
  c.setPosition(b.position() + FromLayout(b, l.Pos(line, x)), mode);
  movingVertically_ = true;
  ed_->setTextCursor(c);
  movingVertically_ = false;
  goalX_ = x;
}

void RichEditView::PageMove(int dir, QTextCursor::MoveMode mode) {
  EnsureCaretVisible();
  const QTextCursor c = ed_->textCursor();
  QTextBlock b = c.block();
  const Lines l = LinesOf(b);
  const int lp = ToLayout(b, c.position() - b.position());
  int li = l.LineOf(lp);
  if (goalX_ < 0) goalX_ = l.X(li, lp);
  const qreal x = goalX_;
  qreal caretY = CaretRectOf(c).top();
  // As QPlainTextEdit pages: down, the first line not shown in full comes to
  // the top; up, the top line goes to the bottom.
  const int height = ed_->viewport()->height();
  int top = 0;
  QTextBlock tb = BlockOfLine(topLine_, &top);
  int steps = 0;
  qreal y = TopY();
  if (dir > 0) {
    for (QTextBlock sb = tb; y + LinesOf(sb).Advance(top) <= height; ++steps) {
      y += LinesOf(sb).Advance(top);
      if (!StepLine(sb, top, 1)) break;
    }
  } else {
    for (QTextBlock sb = tb; StepLine(sb, top, -1); ++steps) {
      y += LinesOf(sb).Advance(top);
      if (y > height) break;
    }
  }
  const int oldTop = topLine_;
  SetTopLine(topLine_ + dir * std::max(1, steps));
  // The caret keeps its place on the screen, or goes to the last (first)
  // line when the view is at the end (start) already.
  if (topLine_ == oldTop) caretY = dir > 0 ? height : -1;
  for (;;) {
    QTextBlock nb = b;
    int ni = li;
    qreal top = 0;
    if (!BlockTop(b, &top, height * 2)) break;
    const qreal lineTop = top + LinesOf(b).Top(li);
    if (dir > 0 ? lineTop >= caretY : lineTop <= caretY) break;
    if (!StepLine(nb, ni, dir)) break;
    b = nb;
    li = ni;
  }
  MoveTo(b, li, x, mode);
}

bool RichEditView::Key(QKeyEvent* e) {
  const Qt::TextInteractionFlags tif = ed_->textInteractionFlags();
  if (!(tif & Qt::TextSelectableByKeyboard)) return false;  // read-only: the base scrolls
  const QTextCursor::MoveMode keep = QTextCursor::KeepAnchor, move = QTextCursor::MoveAnchor;
  int vertical = 0, page = 0, home = 0;
  QTextCursor::MoveMode mode = move;
  if (e->matches(QKeySequence::MoveToNextLine)) vertical = 1;
  else if (e->matches(QKeySequence::MoveToPreviousLine)) vertical = -1;
  else if (e->matches(QKeySequence::SelectNextLine)) vertical = 1, mode = keep;
  else if (e->matches(QKeySequence::SelectPreviousLine)) vertical = -1, mode = keep;
  else if (e->matches(QKeySequence::MoveToNextPage)) page = 1;
  else if (e->matches(QKeySequence::MoveToPreviousPage)) page = -1;
  else if (e->matches(QKeySequence::SelectNextPage)) page = 1, mode = keep;
  else if (e->matches(QKeySequence::SelectPreviousPage)) page = -1, mode = keep;
  else if (e->matches(QKeySequence::MoveToStartOfLine)) home = -1;
  else if (e->matches(QKeySequence::MoveToEndOfLine)) home = 1;
  else if (e->matches(QKeySequence::SelectStartOfLine)) home = -1, mode = keep;
  else if (e->matches(QKeySequence::SelectEndOfLine)) home = 1, mode = keep;
  else if (e->matches(QKeySequence::DeleteCompleteLine) && (tif & Qt::TextEditable)) home = 2;
  else return false;
  e->accept();
  if (Preediting()) return true;
  if (page) {
    PageMove(page, mode);
    return true;
  }
  QTextCursor c = ed_->textCursor();
  const QTextBlock b = c.block();
  const Lines l = LinesOf(b);
  const int lp = ToLayout(b, c.position() - b.position());
  const int li = l.LineOf(lp);
  if (vertical) {
    if (goalX_ < 0) goalX_ = l.X(li, lp);
    QTextBlock tb = b;
    int ti = li;
    if (!StepLine(tb, ti, vertical)) {
      if (vertical > 0 && mode == keep) {  // as Qt: a selection goes on to the end
        c.movePosition(QTextCursor::End, keep);
        ed_->setTextCursor(c);
      }
      return true;
    }
    MoveTo(tb, ti, goalX_, mode);
    return true;
  }
  // A line's start, its end (before a trailing blank, as Qt puts it), or the
  // whole line deleted.
  const int start = b.position() + FromLayout(b, l.Start(li));
  int end = b.position() + FromLayout(b, l.Start(li) + l.Length(li));
  if (li + 1 < l.Count() && end > start && b.document()->characterAt(end - 1).isSpace()) --end;
  if (home == 2) {
    c.setPosition(start);
    c.setPosition(b.position() + FromLayout(b, l.Start(li) + l.Length(li)), keep);
    c.removeSelectedText();
  } else {
    c.setPosition(home < 0 ? start : end, mode);
  }
  ed_->setTextCursor(c);
  return true;
}

// ---------------------------------------------------------------------------
// the mouse

bool RichEditView::Preediting() const {
  const QTextBlock b = ed_->textCursor().block();
  return b.isValid() && !b.layout()->preeditAreaText().isEmpty();
}

void RichEditView::CommitPreedit() {
  if (!Preediting()) return;
  QGuiApplication::inputMethod()->commit();
  if (!Preediting()) return;
  QInputMethodEvent clear;
  QCoreApplication::sendEvent(ed_, &clear);
}

void RichEditView::MousePress(QMouseEvent* e) {
  mightDrag_ = false;
  if (e->button() != Qt::LeftButton) {
    e->ignore();
    return;
  }
  const Qt::TextInteractionFlags tif = ed_->textInteractionFlags();
  if (!(tif & (Qt::TextSelectableByMouse | Qt::TextEditable))) {
    e->ignore();
    return;
  }
  if (Preediting()) {
    const QTextCursor c = ed_->textCursor();
    const int at = PositionAt(e->position()) - c.position();
    if (at >= 0 && at <= ed_->textCursor().block().layout()->preeditAreaText().size()) return;  // the method's own
    CommitPreedit();
  }
  pressPoint_ = e->position().toPoint();
  mousePressed_ = (tif & Qt::TextSelectableByMouse) != 0;
  QTextCursor c = ed_->textCursor();
  if (tripleClick_.isValid() && tripleClick_.elapsed() < QApplication::doubleClickInterval() &&
      (e->position() - tripleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
    c.movePosition(QTextCursor::StartOfBlock);
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    blockOnTripleClick_ = c;
    tripleClick_.invalidate();
  } else {
    const int pos = PositionAt(e->position());
    if ((e->modifiers() & Qt::ShiftModifier) && (tif & Qt::TextSelectableByMouse)) {
      SelectTo(pos, e->position().x());
      EnsureCaretVisible();
      return;
    }
    if (c.hasSelection() && pos >= c.selectionStart() && pos <= c.selectionEnd()) {
      mightDrag_ = true;
      return;
    }
    c.setPosition(pos);
    wordOnDoubleClick_ = QTextCursor();
    blockOnTripleClick_ = QTextCursor();
  }
  ed_->setTextCursor(c);
}

void RichEditView::SelectTo(int pos, qreal x) {
  Q_UNUSED(x);
  QTextCursor c = ed_->textCursor();
  if (blockOnTripleClick_.hasSelection()) {
    // Whole paragraphs, from the one clicked three times.
    QTextCursor to(ed_->document());
    to.setPosition(pos);
    if (pos < blockOnTripleClick_.selectionStart()) {
      c.setPosition(blockOnTripleClick_.selectionEnd());
      to.movePosition(QTextCursor::StartOfBlock);
    } else {
      c.setPosition(blockOnTripleClick_.selectionStart());
      to.movePosition(QTextCursor::EndOfBlock);
      to.movePosition(QTextCursor::NextCharacter);
    }
    c.setPosition(to.position(), QTextCursor::KeepAnchor);
  } else if (wordOnDoubleClick_.hasSelection()) {
    // Whole words, from the one clicked twice.
    QTextCursor word(ed_->document());
    word.setPosition(pos);
    word.select(QTextCursor::WordUnderCursor);
    const int from = word.hasSelection() ? word.selectionStart() : pos;
    const int to = word.hasSelection() ? word.selectionEnd() : pos;
    if (pos < wordOnDoubleClick_.selectionStart()) {
      c.setPosition(wordOnDoubleClick_.selectionEnd());
      c.setPosition(from, QTextCursor::KeepAnchor);
    } else {
      c.setPosition(wordOnDoubleClick_.selectionStart());
      c.setPosition(std::max(to, wordOnDoubleClick_.selectionEnd()), QTextCursor::KeepAnchor);
    }
  } else {
    c.setPosition(pos, QTextCursor::KeepAnchor);
  }
  moveSelecting_ = true;
  ed_->setTextCursor(c);
  moveSelecting_ = false;
}

void RichEditView::MouseMove(QMouseEvent* e) {
  if (!(e->buttons() & Qt::LeftButton)) return;
  lastMouse_ = e->position().toPoint();
  if (mightDrag_) {
    if ((lastMouse_ - pressPoint_).manhattanLength() <= QApplication::startDragDistance()) return;
    mightDrag_ = false;
    mousePressed_ = false;
    QDrag* drag = new QDrag(ed_);
    drag->setMimeData(ed_->createMimeDataFromSelection());
    const bool editable = ed_->textInteractionFlags() & Qt::TextEditable;
    const Qt::DropAction action = editable ? drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction)
                                           : drag->exec(Qt::CopyAction, Qt::CopyAction);
    if (action == Qt::MoveAction && drag->target() != ed_ && drag->target() != ed_->viewport()) {
      QTextCursor c = ed_->textCursor();
      c.removeSelectedText();
      ed_->setTextCursor(c);
    }
    return;
  }
  if (!mousePressed_) return;
  SelectTo(PositionAt(e->position()), e->position().x());
  if (ed_->viewport()->rect().contains(lastMouse_)) autoScroll_.stop();
  else if (!autoScroll_.isActive()) autoScroll_.start();
}

void RichEditView::AutoScroll() {
  const QRect r = ed_->viewport()->rect();
  if (!mousePressed_ || r.contains(lastMouse_)) {
    autoScroll_.stop();
    return;
  }
  if (lastMouse_.y() < r.top()) SetTopLine(topLine_ - 1);
  else if (lastMouse_.y() > r.bottom()) SetTopLine(topLine_ + 1);
  const QPointF inside(std::clamp(lastMouse_.x(), r.left(), r.right()), std::clamp(lastMouse_.y(), r.top(), r.bottom()));
  SelectTo(PositionAt(inside), inside.x());
}

void RichEditView::MouseRelease(QMouseEvent* e) {
  autoScroll_.stop();
  if (Preediting() && e->button() == Qt::LeftButton) {
    const int at = PositionAt(e->position()) - ed_->textCursor().position();
    if (at >= 0 && at <= ed_->textCursor().block().layout()->preeditAreaText().size()) {
      QGuiApplication::inputMethod()->invokeAction(QInputMethod::Click, at);
      return;
    }
  }
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (mightDrag_ && e->button() == Qt::LeftButton) {
    mightDrag_ = false;
    mousePressed_ = false;
    QTextCursor c = ed_->textCursor();
    c.setPosition(PositionAt(e->position()));
    ed_->setTextCursor(c);
    return;
  }
  if (mousePressed_) {
    mousePressed_ = false;
    if (clipboard->supportsSelection() && ed_->textCursor().hasSelection())
      clipboard->setMimeData(ed_->createMimeDataFromSelection(), QClipboard::Selection);
  } else if (e->button() == Qt::MiddleButton && (ed_->textInteractionFlags() & Qt::TextEditable) &&
             clipboard->supportsSelection()) {
    QTextCursor c = ed_->textCursor();
    c.setPosition(PositionAt(e->position()));
    ed_->setTextCursor(c);
    if (const QMimeData* md = clipboard->mimeData(QClipboard::Selection)) ed_->insertFromMimeData(md);
  }
}

void RichEditView::MouseDoubleClick(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !(ed_->textInteractionFlags() & Qt::TextSelectableByMouse)) {
    e->ignore();
    return;
  }
  mightDrag_ = false;
  CommitPreedit();
  QTextCursor c = ed_->textCursor();
  c.setPosition(PositionAt(e->position()));
  if (c.block().length() > 1) c.select(QTextCursor::WordUnderCursor);
  ed_->setTextCursor(c);
  wordOnDoubleClick_ = c;
  blockOnTripleClick_ = QTextCursor();
  mousePressed_ = true;
  tripleClick_.start();
  tripleClickPoint_ = e->position();
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard->supportsSelection() && c.hasSelection())
    clipboard->setMimeData(ed_->createMimeDataFromSelection(), QClipboard::Selection);
}

// ---------------------------------------------------------------------------
// drag and drop

bool RichEditView::DragMove(QDragMoveEvent* e) {
  if (!(ed_->textInteractionFlags() & Qt::TextEditable) || !ed_->canInsertFromMimeData(e->mimeData())) return false;
  const int pos = PositionAt(e->position());
  if (pos != dropPos_) {
    dropPos_ = pos;
    ed_->viewport()->update();
  }
  e->acceptProposedAction();
  return true;
}

void RichEditView::DragLeave() {
  if (dropPos_ < 0) return;
  dropPos_ = -1;
  ed_->viewport()->update();
}

bool RichEditView::Drop(QDropEvent* e) {
  DragLeave();
  if (!(ed_->textInteractionFlags() & Qt::TextEditable) || !ed_->canInsertFromMimeData(e->mimeData())) return false;
  QTextCursor insertion(ed_->document());
  insertion.setPosition(PositionAt(e->position()));
  insertion.beginEditBlock();
  if (e->dropAction() == Qt::MoveAction && e->source() == ed_) {
    QTextCursor c = ed_->textCursor();
    c.removeSelectedText();
  }
  ed_->setTextCursor(insertion);
  ed_->insertFromMimeData(e->mimeData());
  insertion.endEditBlock();
  e->acceptProposedAction();
  return true;
}

// ---------------------------------------------------------------------------
// the input method

QVariant RichEditView::InputMethodQuery(Qt::InputMethodQuery query, const QVariant& argument) const {
  const QTextCursor c = ed_->textCursor();
  const QTextBlock b = c.block();
  switch (query) {
    case Qt::ImCursorRectangle:
    case Qt::ImAnchorRectangle: {
      QTextCursor at = c;
      if (query == Qt::ImAnchorRectangle) at.setPosition(c.anchor());
      const QRectF r = CaretRectOf(at);
      return r.isNull() ? QVariant(QRectF()) : QVariant(r.translated(ed_->viewport()->pos()));
    }
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
    case Qt::ImSurroundingText: {
      if (!b.isValid()) return QVariant();
      // A point asks which position lies under it.
      if (query == Qt::ImCursorPosition && argument.canConvert<QPointF>() && !argument.toPointF().isNull()) {
        const QPointF at = argument.toPointF() - ed_->viewport()->pos();
        return PositionAt(at) - ed_->document()->findBlock(PositionAt(at)).position();
      }
      // Around the caret, not the whole of a long paragraph: the input
      // method asks again after every key (IBus sends it over D-Bus).
      const int length = b.length() - 1, pos = c.position() - b.position();
      if (length <= 2 * kSurrounding) return QVariant();  // Qt's answer
      int from = std::clamp(pos - kSurrounding, 0, length);
      int to = std::clamp(pos + kSurrounding, 0, length);
      const QTextDocument* doc = ed_->document();
      if (from > 0 && doc->characterAt(b.position() + from).isLowSurrogate()) --from;
      if (to < length && doc->characterAt(b.position() + to).isLowSurrogate()) ++to;
      if (query == Qt::ImSurroundingText) return b.text().mid(from, to - from);
      const int at = query == Qt::ImCursorPosition ? pos : std::clamp(c.anchor() - b.position(), 0, length);
      return std::clamp(at, from, to) - from;
    }
    default:
      return QVariant();
  }
}

}  // namespace wendul

// ---------------------------------------------------------------------------
// the editor's handlers that the view answers

namespace wendul {

void TmuRichEdit::paintEvent(QPaintEvent* e) { view_->Paint(e); }

void TmuRichEdit::resizeEvent(QResizeEvent* e) {
  QPlainTextEdit::resizeEvent(e);
  view_->Resized();
}

void TmuRichEdit::scrollContentsBy(int, int) { view_->Scrolled(); }

void TmuRichEdit::showEvent(QShowEvent* e) {
  QPlainTextEdit::showEvent(e);
  view_->Shown();
}

void TmuRichEdit::changeEvent(QEvent* e) {
  QPlainTextEdit::changeEvent(e);
  if (e->type() == QEvent::FontChange) view_->WrapOrFontChanged();
}

void TmuRichEdit::mousePressEvent(QMouseEvent* e) { view_->MousePress(e); }
void TmuRichEdit::mouseMoveEvent(QMouseEvent* e) { view_->MouseMove(e); }
void TmuRichEdit::mouseReleaseEvent(QMouseEvent* e) { view_->MouseRelease(e); }
void TmuRichEdit::mouseDoubleClickEvent(QMouseEvent* e) { view_->MouseDoubleClick(e); }

void TmuRichEdit::dragMoveEvent(QDragMoveEvent* e) {
  if (!view_->DragMove(e)) e->ignore();
}

void TmuRichEdit::dragLeaveEvent(QDragLeaveEvent* e) {
  view_->DragLeave();
  QPlainTextEdit::dragLeaveEvent(e);
}

void TmuRichEdit::dropEvent(QDropEvent* e) {
  if (!view_->Drop(e)) e->ignore();
}

QVariant TmuRichEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
  return inputMethodQuery(query, QVariant());
}

QVariant TmuRichEdit::inputMethodQuery(Qt::InputMethodQuery query, QVariant argument) const {
  const QVariant v = view_->InputMethodQuery(query, argument);
  return v.isValid() ? v : QPlainTextEdit::inputMethodQuery(query, argument);
}

}  // namespace wendul
