// Marks the end of a window's repaint: the window's update request (paint and
// flush to the platform) is handled here, so that a benchmark can time a key
// up to the screen showing it.
#pragma once

#include <QEvent>
#include <QObject>

namespace wendul::bench {

class PaintWatch : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::UpdateRequest) return false;
    o->removeEventFilter(this);
    o->event(e);
    o->installEventFilter(this);
    painted = true;
    return true;
  }
};

}  // namespace wendul::bench
