#include "controls/mudbgrid.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QScrollBar>
#include <QStyleHints>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>

#include "controls/datasource.h"
#include "controls/qsjis.h"
#include "util/datetime.h"
#include "util/messages.h"

namespace wendul {

namespace {

constexpr int kResizeGrip = 3;  // pixels either side of a column border
constexpr int kMinColumnWidth = 8;
constexpr int kScrollFirst = 0, kScrollMiddle = 1, kScrollLast = 2;

bool TryFocus(QWidget* w) {
  if (!w || !w->isEnabled() || !w->isVisible()) return false;
  w->setFocus(Qt::OtherFocusReason);
  return true;
}

// Navigation runs inside event handlers, where an exception must not escape;
// a store failure is shown the standard way.
template <typename F>
void Guarded(F&& f) {
  try {
    f();
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
}

}  // namespace

TmuDBGrid::TmuDBGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  viewport()->setMouseTracking(true);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  QScrollBar* vb = verticalScrollBar();
  vb->setRange(0, 0);
  vb->setSingleStep(1);
  vb->setPageStep(1);
  connect(vb, &QAbstractSlider::actionTriggered, this, &TmuDBGrid::OnScrollAction);
  connect(vb, &QAbstractSlider::sliderReleased, this, &TmuDBGrid::OnScrollReleased);
}

TmuDBGrid::~TmuDBGrid() = default;

MT* TmuDBGrid::Table() const { return source_ ? source_->DataSet() : nullptr; }

void TmuDBGrid::SetDataSource(TDataSource* source) {
  if (source_ == source) return;
  if (source_) disconnect(source_, nullptr, this, nullptr);
  source_ = source;
  if (source_) {
    // Gathered: one re-read for a burst of notifications.
    connect(source_, &TDataSource::DataChange, this, [this] {
      pendingData_ = true;
      SchedulePending();
    });
    connect(source_, &TDataSource::RecordMove, this, [this] {
      pendingMove_ = true;
      SchedulePending();
    });
    connect(source_, &QObject::destroyed, this, [this] {
      source_ = nullptr;
      rows_.clear();
      current_ = -1;
      viewport()->update();
    });
  }
  Reload();
}

void TmuDBGrid::SchedulePending() {
  if (scheduled_) return;
  scheduled_ = true;
  QTimer::singleShot(0, this, &TmuDBGrid::RunPending);
}

void TmuDBGrid::RunPending() {
  scheduled_ = false;
  const bool data = pendingData_, move = pendingMove_;
  pendingData_ = pendingMove_ = false;
  const bool keep = keepPlaceOnce_;
  keepPlaceOnce_ = false;
  if (data) Fetch(move && !keep ? Follow::Track : Follow::KeepPlace);
  else if (move) OnRecordMove(keep);
}

void TmuDBGrid::Reload() {
  pendingData_ = pendingMove_ = keepPlaceOnce_ = false;
  Fetch(Follow::KeepPlace);
}

// ---------------------------------------------------------------------------
// columns and geometry

void TmuDBGrid::SetColumns(const std::vector<Column>& columns) {
  columns_ = columns;
  fieldIndex_.clear();
  Reload();
}

void TmuDBGrid::SetFieldName(const std::string& field) {
  const int width = columns_.empty() ? 64 : columns_.front().width;
  SetColumns({Column{field, ToQ(field), width}});
}

void TmuDBGrid::SetColumnWidth(int column, int width) {
  if (column < 0 || column >= ColumnCount()) return;
  columns_[static_cast<size_t>(column)].width = std::max(width, kMinColumnWidth);
  UpdateScrollBars();
  viewport()->update();
}

int TmuDBGrid::ColumnWidth(int column) const {
  if (column < 0 || column >= ColumnCount()) return 0;
  return columns_[static_cast<size_t>(column)].width;
}

void TmuDBGrid::SetTitlesVisible(bool on) {
  if (titles_ == on) return;
  titles_ = on;
  Reload();
}

int TmuDBGrid::RowHeight() const { return fontMetrics().height() + 3; }
int TmuDBGrid::TitleHeight() const { return titles_ ? RowHeight() : 0; }
int TmuDBGrid::IndicatorWidth() const { return 11; }

int TmuDBGrid::VisibleRowCount() const {
  int h = viewport()->height() - TitleHeight();
  return std::max(1, h / RowHeight());
}

QString TmuDBGrid::DisplayText(const FieldValue& v) const {
  switch (v.kind) {
    case FieldValue::Kind::Text:
      return ToQ(v.text);
    case FieldValue::Kind::Number:
      return QString::number(v.number, 'g', 15);
    case FieldValue::Kind::DateTime:
      return ToQ(DateTimeStr(v.number));
    case FieldValue::Kind::Null:
      break;
  }
  return {};
}

QString TmuDBGrid::CellText(int row, int column) const {
  if (row < 0 || row >= ShownRowCount() || column < 0 || column >= ColumnCount()) return {};
  if (static_cast<size_t>(column) >= fieldIndex_.size()) return {};
  int fi = fieldIndex_[static_cast<size_t>(column)];
  const RowView& r = rows_[static_cast<size_t>(row)];
  if (fi < 0 || static_cast<size_t>(fi) >= r.values.size()) return {};
  return DisplayText(r.values[static_cast<size_t>(fi)]);
}

Bookmark TmuDBGrid::RowBookmark(int row) const {
  if (row < 0 || row >= ShownRowCount()) return 0;
  return rows_[static_cast<size_t>(row)].bookmark;
}

int TmuDBGrid::ScrollState() const {
  if (rows_.empty() || current_ < 0) return kScrollFirst;
  if (topIsFirst_ && current_ == 0) return kScrollFirst;
  if (bottomIsLast_ && current_ == ShownRowCount() - 1) return kScrollLast;
  return kScrollMiddle;
}

// ---------------------------------------------------------------------------
// reading the window of rows

void TmuDBGrid::Fetch(Follow mode) {
  MT* t = Table();
  const int vis = VisibleRowCount();
  // One row more on each side than fits: the extra row before tells whether
  // the top is the first record, the one after fills the partly shown row.
  const int before = vis, after = vis;
  std::vector<RowView> got;
  int ci = -1;
  if (t && t->Active()) {
    try {
      fieldIndex_.clear();
      for (const Column& c : columns_) fieldIndex_.push_back(t->FieldIndex(c.field));
      got = t->RowsAround(before, after, &ci);
    } catch (const std::exception&) {
      got.clear();
      ci = -1;
    }
  }
  if (ci < 0 || got.empty() || ci >= static_cast<int>(got.size())) {
    rows_.clear();
    current_ = -1;
    topIsFirst_ = bottomIsLast_ = true;
    UpdateScrollBars();
    viewport()->update();
    return;
  }
  int desired = std::clamp(currentInView_, 0, vis - 1);
  if (mode == Follow::Track && !rows_.empty()) {
    // A step past the bottom or the top scrolls by that step; a jump out of
    // reach centres the record, as a desktop grid does after a lookup.
    desired = (vis - 1) / 2;
    const Bookmark oldTop = rows_.front().bookmark;
    for (int i = 0; i < static_cast<int>(got.size()); ++i) {
      if (got[static_cast<size_t>(i)].bookmark == oldTop) {
        desired = ci > i ? std::min(ci - i, vis - 1) : 0;
        break;
      }
    }
  }
  const int n = static_cast<int>(got.size());
  int start = ci - desired;
  if (start + vis > n) start = n - vis;
  if (start < 0) start = 0;
  const int end = std::min(n, start + vis + 1);
  rows_.assign(got.begin() + start, got.begin() + end);
  current_ = ci - start;
  currentInView_ = current_;
  topIsFirst_ = start == 0 && ci < before;
  bottomIsLast_ = end == n && (n - 1 - ci) < after;
  UpdateScrollBars();
  viewport()->update();
}

void TmuDBGrid::OnRecordMove(bool keepPlace) {
  MT* t = Table();
  if (!t || !t->Active()) {
    Fetch(Follow::KeepPlace);
    return;
  }
  const Bookmark b = t->GetBookmark();
  const int vis = std::min(VisibleRowCount(), ShownRowCount());
  for (int i = 0; i < vis; ++i) {
    if (rows_[static_cast<size_t>(i)].bookmark == b) {
      current_ = currentInView_ = i;
      UpdateScrollBars();
      viewport()->update();
      return;
    }
  }
  Fetch(keepPlace ? Follow::KeepPlace : Follow::Track);
}

// ---------------------------------------------------------------------------
// moving the current record

bool TmuDBGrid::ReadAgainIfGone(Bookmark b) {
  MT* t = Table();
  if (!t || !t->Active() || t->BookmarkValid(b)) return false;
  // Another view or program deleted it: the current record (gone too, it
  // gives way to the record after it) and the rows around it as they are now.
  if (t->State() == DataSetState::Browse && !t->BookmarkValid(t->GetBookmark())) t->Refresh();
  Reload();
  return true;
}

void TmuDBGrid::MoveBy(int n) {
  MT* t = Table();
  if (!t || !t->Active() || n == 0) return;
  Guarded([&] {
    Bookmark cur = t->GetBookmark();
    if (cur == 0) return;
    if (ReadAgainIfGone(cur)) cur = t->GetBookmark();
    if (cur == 0) return;
    std::vector<RowView> r = t->RowsFrom(cur, n > 0 ? n + 1 : n - 1);
    if (r.empty()) return;
    // The farthest row from the current one, whichever end it is reported at.
    const Bookmark target = r.front().bookmark == cur ? r.back().bookmark : r.front().bookmark;
    if (target == cur) return;
    // Paging and the wheel keep the current record's screen row.
    keepPlaceOnce_ = true;
    t->GotoBookmark(target);
  });
}

void TmuDBGrid::keyPressEvent(QKeyEvent* e) {
  if (EditKey(e)) return;
  MT* t = Table();
  const bool active = t && t->Active();
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      if ((e->modifiers() & Qt::ShiftModifier) && muPrevControl) {
        if (!TryFocus(muPrevControl)) TryFocus(muPrevControl2);
      } else if (muNextControl) {
        if (!TryFocus(muNextControl)) TryFocus(muNextControl2);
      } else {
        emit EnterPressed();
      }
      e->accept();  // the Enter character is never passed on
      return;
    }
    case Qt::Key_Down:
      if (active) Guarded([&] { t->Next(); });
      break;
    case Qt::Key_Up:
      if (active) Guarded([&] { t->Prior(); });
      break;
    case Qt::Key_PageDown:
      MoveBy(VisibleRowCount());
      break;
    case Qt::Key_PageUp:
      MoveBy(-VisibleRowCount());
      break;
    case Qt::Key_Home:
      if (active) Guarded([&] { t->First(); });
      break;
    case Qt::Key_End:
      if (active) Guarded([&] { t->Last(); });
      break;
    case Qt::Key_Left:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
      break;
    case Qt::Key_Right:
      horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(e);
      return;
  }
  e->accept();
}

void TmuDBGrid::wheelEvent(QWheelEvent* e) {
  wheelRest_ += e->angleDelta().y();
  const int notches = wheelRest_ / 120;
  wheelRest_ -= notches * 120;
  if (notches != 0) MoveBy(-notches * 3);
  e->accept();
}

// ---------------------------------------------------------------------------
// mouse

int TmuDBGrid::RowAt(int y) const {
  int top = TitleHeight();
  if (y < top) return -1;
  int r = (y - top) / RowHeight();
  return r < ShownRowCount() ? r : -1;
}

int TmuDBGrid::ColumnBorderAt(int x) const {
  int right = IndicatorWidth() - horizontalScrollBar()->value();
  for (int c = 0; c < ColumnCount(); ++c) {
    right += columns_[static_cast<size_t>(c)].width + 1;
    if (std::abs(x - right) <= kResizeGrip) return c;
  }
  return -1;
}

void TmuDBGrid::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(e);
    return;
  }
  const QPoint p = e->position().toPoint();
  int border = ColumnBorderAt(p.x());
  if (border >= 0) {
    resizing_ = border;
    resizeStartX_ = p.x();
    resizeStartWidth_ = ColumnWidth(border);
    e->accept();
    return;
  }
  e->accept();
  if (InDoubleClickAfterReading(e)) return;
  int r = RowAt(p.y());
  MT* t = Table();
  if (r >= 0 && r != current_ && t && t->Active()) {
    const Bookmark b = rows_[static_cast<size_t>(r)].bookmark;
    Guarded([&] {
      if (ReadAgainIfGone(b)) readAgainAt_ = e->timestamp();
      else t->GotoBookmark(b);
    });
  }
}

// The second click of a double click whose first click met a vanished row:
// the rows under the mouse changed in between, so it chooses nothing.
bool TmuDBGrid::InDoubleClickAfterReading(const QMouseEvent* e) {
  if (!readAgainAt_) return false;
  if (e->timestamp() - *readAgainAt_ < static_cast<quint64>(QGuiApplication::styleHints()->mouseDoubleClickInterval()))
    return true;
  readAgainAt_.reset();
  return false;
}

void TmuDBGrid::mouseMoveEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  if (resizing_ >= 0) {
    SetColumnWidth(resizing_, resizeStartWidth_ + p.x() - resizeStartX_);
  } else {
    viewport()->setCursor(ColumnBorderAt(p.x()) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
  }
  e->accept();
}

void TmuDBGrid::mouseReleaseEvent(QMouseEvent* e) {
  if (resizing_ >= 0) {
    int c = resizing_;
    resizing_ = -1;
    emit ColumnResized(c, ColumnWidth(c));
  }
  e->accept();
}

void TmuDBGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  const QPoint p = e->position().toPoint();
  const int r = RowAt(p.y());
  if (e->button() == Qt::LeftButton && resizing_ < 0 && ColumnBorderAt(p.x()) < 0 && r >= 0) {
    // Two quick clicks on different rows arrive as press + double-click: the
    // row under the mouse becomes current before the signal.
    MT* t = Table();
    if (InDoubleClickAfterReading(e)) {
      e->accept();
      return;
    }
    if (r != current_ && t && t->Active()) {
      const Bookmark b = rows_[static_cast<size_t>(r)].bookmark;
      bool gone = false;
      Guarded([&] {
        gone = ReadAgainIfGone(b);
        if (!gone) t->GotoBookmark(b);
      });
      if (gone) {  // the word under the mouse is no longer there: nothing to choose
        readAgainAt_ = e->timestamp();
        e->accept();
        return;
      }
    }
    emit DblClick();
  }
  e->accept();
}

// ---------------------------------------------------------------------------
// focus and scroll bars

void TmuDBGrid::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  viewport()->update();
  emit Enter();
}

void TmuDBGrid::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  viewport()->update();
  emit Exit();
}

void TmuDBGrid::changeEvent(QEvent* e) {
  QAbstractScrollArea::changeEvent(e);
  if (e->type() == QEvent::FontChange) Reload();
}

void TmuDBGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  Reload();
}

void TmuDBGrid::scrollContentsBy(int, int) { viewport()->update(); }

void TmuDBGrid::UpdateScrollBars() {
  QScrollBar* vb = verticalScrollBar();
  const bool single = rows_.empty() || (topIsFirst_ && bottomIsLast_ && rows_.size() == 1);
  const QSignalBlocker block(vb);
  vb->setRange(0, single ? 0 : kScrollLast);
  vb->setValue(single ? 0 : ScrollState());

  int total = IndicatorWidth() + 1;
  for (const Column& c : columns_) total += c.width + 1;
  QScrollBar* hb = horizontalScrollBar();
  hb->setRange(0, std::max(0, total - viewport()->width()));
  hb->setPageStep(std::max(1, viewport()->width()));
  hb->setSingleStep(8);
}

void TmuDBGrid::OnScrollAction(int action) {
  MT* t = Table();
  if (!t || !t->Active()) return;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      Guarded([&] { t->Next(); });
      break;
    case QAbstractSlider::SliderSingleStepSub:
      Guarded([&] { t->Prior(); });
      break;
    case QAbstractSlider::SliderPageStepAdd:
      MoveBy(VisibleRowCount());
      break;
    case QAbstractSlider::SliderPageStepSub:
      MoveBy(-VisibleRowCount());
      break;
    case QAbstractSlider::SliderToMinimum:
      Guarded([&] { t->First(); });
      break;
    case QAbstractSlider::SliderToMaximum:
      Guarded([&] { t->Last(); });
      break;
    default:
      return;  // dragging acts on release
  }
  // The slider shows where the record is, not where the click put it.
  RunPending();
  verticalScrollBar()->setSliderPosition(ScrollState());
}

void TmuDBGrid::OnScrollReleased() {
  MT* t = Table();
  QScrollBar* vb = verticalScrollBar();
  if (t && t->Active()) {
    if (vb->sliderPosition() <= kScrollFirst) Guarded([&] { t->First(); });
    else if (vb->sliderPosition() >= kScrollLast) Guarded([&] { t->Last(); });
  }
  RunPending();
  vb->setSliderPosition(ScrollState());
}

// ---------------------------------------------------------------------------
// painting

void TmuDBGrid::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  const QPalette& pal = palette();
  const int rowH = RowHeight();
  const int indW = IndicatorWidth();
  const int xOff = horizontalScrollBar()->value();
  const int titleH = TitleHeight();
  const QColor lineColor = pal.color(QPalette::Mid);
  const QColor fixedColor = pal.color(QPalette::Button);
  const int w = viewport()->width();
  const int h = viewport()->height();
  const int shown = ShownRowCount();
  const int dataBottom = titleH + shown * rowH;

  p.fillRect(QRect(0, 0, w, h), pal.color(QPalette::Base));

  // Data cells.
  int x = indW + 1 - xOff;
  for (int c = 0; c < ColumnCount(); ++c) {
    const int cw = columns_[static_cast<size_t>(c)].width;
    if (titles_) {
      QRect cell(x, 0, cw, titleH);
      p.fillRect(cell, fixedColor);
      p.setPen(pal.color(QPalette::ButtonText));
      p.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                 columns_[static_cast<size_t>(c)].title);
    }
    for (int r = 0; r < shown; ++r) {
      QRect cell(x, titleH + r * rowH, cw, rowH);
      const bool selected = r == current_ && c == 0 && hasFocus();
      if (selected) {
        p.fillRect(cell, pal.color(QPalette::Active, QPalette::Highlight));
        p.setPen(pal.color(QPalette::Active, QPalette::HighlightedText));
      } else {
        p.setPen(pal.color(QPalette::Text));
      }
      p.drawText(cell.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                 CellText(r, c));
    }
    x += cw;
    p.setPen(lineColor);
    p.drawLine(x, 0, x, std::max(dataBottom - 1, titleH));
    x += 1;
  }
  // Row lines.
  p.setPen(lineColor);
  for (int r = 0; r < shown; ++r) {
    const int y = titleH + (r + 1) * rowH - 1;
    p.drawLine(0, y, x - 1, y);
  }
  if (titles_) p.drawLine(0, titleH - 1, x - 1, titleH - 1);

  // Indicator column, with the arrow at the current record.
  p.fillRect(QRect(0, 0, indW, std::max(dataBottom, titleH)), fixedColor);
  p.setPen(lineColor);
  p.drawLine(indW, 0, indW, std::max(dataBottom - 1, titleH));
  for (int r = 0; r < shown; ++r) p.drawLine(0, titleH + (r + 1) * rowH - 1, indW, titleH + (r + 1) * rowH - 1);
  if (current_ >= 0) {
    const int cy = titleH + current_ * rowH + rowH / 2;
    QPolygon arrow;
    arrow << QPoint(3, cy - 4) << QPoint(7, cy) << QPoint(3, cy + 4);
    p.setPen(Qt::NoPen);
    p.setBrush(pal.color(QPalette::ButtonText));
    p.drawPolygon(arrow);
  }
}

}  // namespace wendul
