#include "controls/keypreview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace wendul {

KeyPreview::KeyPreview(QWidget* window, Handler keyDown, Handler keyUp)
    : QObject(window), window_(window), keyDown_(std::move(keyDown)), keyUp_(std::move(keyUp)) {
  qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview() {
  if (qApp) qApp->removeEventFilter(this);
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
  if (!window_ || !watched->isWidgetType()) return false;
  auto* w = static_cast<QWidget*>(watched);
  if (w->window() != window_) return false;
  auto* k = static_cast<QKeyEvent*>(e);
  // The same key passed on to a parent of the widget that had it.
  if (e == lastEvent_ && k->timestamp() == lastTimestamp_ && lastReceiver_ && lastReceiver_ != watched &&
      w->isAncestorOf(static_cast<QWidget*>(lastReceiver_.data())))
    return false;
  lastEvent_ = e;
  lastTimestamp_ = k->timestamp();
  lastReceiver_ = watched;
  const Handler& h = e->type() == QEvent::KeyPress ? keyDown_ : keyUp_;
  return h && h(k);
}

}  // namespace wendul
