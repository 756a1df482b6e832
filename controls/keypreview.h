// A window that sees its controls' keys first: every key press and release
// meant for a widget of the window reaches the handler before the widget
// (once, however far the key then travels up the parents).
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QKeyEvent;
class QWidget;

namespace wendul {

class KeyPreview : public QObject {
 public:
  // The handlers return true to consume the key.
  using Handler = std::function<bool(QKeyEvent* e)>;
  KeyPreview(QWidget* window, Handler keyDown, Handler keyUp = {});
  ~KeyPreview() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  QPointer<QWidget> window_;
  Handler keyDown_, keyUp_;
  // The delivery last handled: a key going on to a parent is the same event.
  const QEvent* lastEvent_ = nullptr;
  QPointer<QObject> lastReceiver_;
  quint64 lastTimestamp_ = 0;
};

}  // namespace wendul
