#include "controls/pagecontrol.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>

namespace wendul {

TPageControl::TPageControl(QWidget* parent) : QWidget(parent), pages_(new QStackedWidget(this)) {
  pages_->setFrameShape(QFrame::StyledPanel);
  setFocusPolicy(Qt::TabFocus);
}

int TPageControl::AddPage(QWidget* page, const QString& caption) {
  captions_ << caption;
  const int i = pages_->addWidget(page);
  PlacePages();
  update();
  return i;
}

void TPageControl::SetActivePageIndex(int index) {
  if (index < 0 || index >= Count() || index == ActivePageIndex()) return;
  pages_->setCurrentIndex(index);
  update();
  emit Changed(index);
}

int TPageControl::TabsPerRow() const { return std::max(1, (width() - 4) / std::max(1, TabWidth)); }

int TPageControl::RowCount() const {
  const int n = Count();
  return n == 0 ? 1 : (n + TabsPerRow() - 1) / TabsPerRow();
}

int TPageControl::RowHeight() const { return fontMetrics().height() + 10; }

QRect TPageControl::TabRect(int index) const {
  const int per = TabsPerRow();
  const int rows = RowCount();
  const int activeRow = std::max(0, ActivePageIndex()) / per;
  // The open page's row lies at the bottom, next to the page; the rows
  // after it move up in turn, as the platform's tab control does.
  const int row = index / per;
  const int visualRow = (row - activeRow + rows - 1) % rows;  // 0 top ... rows - 1 bottom
  return QRect(2 + (index % per) * TabWidth, visualRow * RowHeight(), TabWidth, RowHeight());
}

void TPageControl::PlacePages() {
  pages_->setGeometry(0, HeaderHeight() - 1, width(), std::max(0, height() - HeaderHeight() + 1));
}

void TPageControl::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  PlacePages();
}

// The style keeps a wide margin around a tab's text, wider than one of six
// Japanese captions in a tab of 160 pixels ("日本語かな漢字変換（IME）" lost
// its first and last characters): the tab draws its own caption across all
// of its width but a few pixels.
QRect TPageControl::CaptionRect(int index) const { return TabRect(index).adjusted(3, 0, -3, 0); }

void TPageControl::PaintTab(QStylePainter& p, int index, bool selected) {
  QStyleOptionTab opt;
  opt.initFrom(this);
  opt.rect = TabRect(index);
  opt.shape = QTabBar::RoundedNorth;
  if (selected) opt.state |= QStyle::State_Selected;
  else opt.state &= ~QStyle::State_Selected;
  if (selected && hasFocus()) opt.state |= QStyle::State_HasFocus;
  p.drawControl(QStyle::CE_TabBarTab, opt);  // the tab without its text
  const QRect at = CaptionRect(index);
  p.drawItemText(at, Qt::AlignCenter | Qt::TextSingleLine, palette(), isEnabled(),
                 fontMetrics().elidedText(captions_[index], Qt::ElideRight, at.width()), QPalette::WindowText);
}

void TPageControl::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  for (int i = 0; i < Count(); ++i)
    if (i != ActivePageIndex()) PaintTab(p, i, false);
  if (ActivePageIndex() >= 0) PaintTab(p, ActivePageIndex(), true);  // last, over its neighbours
}

void TPageControl::mousePressEvent(QMouseEvent* e) {
  for (int i = 0; i < Count(); ++i) {
    if (TabRect(i).contains(e->position().toPoint())) {
      SetActivePageIndex(i);
      return;
    }
  }
  QWidget::mousePressEvent(e);
}

void TPageControl::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right) {
    const int step = e->key() == Qt::Key_Right ? 1 : -1;
    SetActivePageIndex((ActivePageIndex() + step + Count()) % Count());
    return;
  }
  QWidget::keyPressEvent(e);
}

}  // namespace wendul
