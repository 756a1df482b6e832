#include "controls/keypreview.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace wendul {

KeyPreview::KeyPreview(QWidget* window, Handler keyDown, Handler keyUp)
    : QObject(window), window_(window), keyDown_(std::move(keyDown)), keyUp_(std::move(keyUp)) {
  qApp->installEventFilter(this);
}

KeyPreview::~KeyPreview() {
  if (qApp) qApp->removeEventFilter(this);
}

bool KeyPreview::SeenBefore(const QKeyEvent* k, QObject* watched) const {
  if (k != lastEvent_ || k->type() != lastType_ || k->key() != lastKey_ || k->timestamp() != lastTimestamp_ ||
      !lastReceiver_ || lastReceiver_ == watched)
    return false;
  if (lastReceiver_->isWindowType()) return true;  // the window handing it to its widget
  return static_cast<QWidget*>(watched)->isAncestorOf(static_cast<QWidget*>(lastReceiver_.data()));
}

void KeyPreview::Remember(const QKeyEvent* k, QObject* watched) {
  lastEvent_ = k;
  lastType_ = k->type();
  lastKey_ = k->key();
  lastTimestamp_ = k->timestamp();
  lastReceiver_ = watched;
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::KeyPress && e->type() != QEvent::KeyRelease) return false;
  if (!window_) return false;
  auto* k = static_cast<QKeyEvent*>(e);
  const bool press = e->type() == QEvent::KeyPress;
  if (watched->isWindowType()) {
    if (watched != window_->windowHandle()) return false;
    if (press) {
      // The menu bar starts watching the application's events when Alt goes
      // down: the preview moves ahead of it to judge the release first.
      if (k->key() == Qt::Key_Alt) qApp->installEventFilter(this);
      return false;
    }
    Remember(k, watched);
    return keyUp_ && keyUp_(k);
  }
  if (!watched->isWidgetType()) return false;
  if (static_cast<QWidget*>(watched)->window() != window_) return false;
  if (SeenBefore(k, watched)) return false;
  Remember(k, watched);
  const Handler& h = press ? keyDown_ : keyUp_;
  return h && h(k);
}

}  // namespace wendul
