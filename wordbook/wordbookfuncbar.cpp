#include "wordbook/wordbookfuncbar.h"

#include <QResizeEvent>
#include <QToolButton>
#include <cmath>

#include "controls/jfont.h"

namespace wendul {

TWordBookFuncBar::TWordBookFuncBar(int buttons, QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::NoFocus);
  resize(500, 30);
  for (int i = 1; i <= buttons; ++i) {
    auto* b = new QToolButton(this);
    b->setObjectName(QString("FBtn_F%1").arg(i, 2, 10, QChar('0')));
    b->setFocusPolicy(Qt::NoFocus);
    b->setText(QString::number(i));
    b->setEnabled(false);  // until it has something to run
    connect(b, &QToolButton::clicked, this, [this, i] { Press(i); });
    buttons_.push_back(b);
    clicks_.emplace_back();
  }
}

QToolButton* TWordBookFuncBar::Button(int index) const {
  return index >= 1 && index <= ButtonCount() ? buttons_[static_cast<size_t>(index - 1)] : nullptr;
}

void TWordBookFuncBar::SetButton(int index, const QString& caption, const QString& hint,
                                 std::function<void()> click) {
  QToolButton* b = Button(index);
  if (!b) return;
  b->setText(caption);
  b->setToolTip(hint);
  if (click) clicks_[static_cast<size_t>(index - 1)] = std::move(click);
  b->setEnabled(true);
}

bool TWordBookFuncBar::DispatchFunctionKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (!IsShift && (modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))) return false;
  if (qtKey < Qt::Key_F1 || qtKey > Qt::Key_F12) return false;
  const int index = qtKey - Qt::Key_F1 + 1;
  QToolButton* b = Button(index);
  if (!b) return false;
  if (b->isEnabled()) Press(index);
  return true;
}

void TWordBookFuncBar::Press(int index) {
  QToolButton* b = Button(index);
  const std::function<void()> click = clicks_[static_cast<size_t>(index - 1)];
  if (!b || !click) return;
  // The pressed button's caption turns red while its work runs.
  QPalette red = b->palette();
  red.setColor(QPalette::ButtonText, Qt::red);
  b->setPalette(red);
  b->repaint();
  click();
  b->setPalette(QPalette());
  b->update();
}

void TWordBookFuncBar::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  const int n = ButtonCount();
  if (n == 0) return;
  const int w = width() / n, h = height();
  const QFont f = JapaneseFont(true, static_cast<int>(std::lround(h * 0.4)));
  for (int i = 0; i < n; ++i) {
    buttons_[static_cast<size_t>(i)]->setGeometry(i * w, 0, w, h);
    buttons_[static_cast<size_t>(i)]->setFont(f);
  }
}

}  // namespace wendul
