// A window that sees its controls' keys first: every key press and release
// meant for a widget of the window reaches the handler before the widget
// (once, however far the key then travels up the parents).
//
// A release is judged where the platform hands it to the window, before any
// widget of it and before the menu bar, which reacts to a lone Alt's release:
// a consumed release of Alt does not activate the menu bar. A press is judged
// where the focused widget gets it, after the menu bar saw it (so a key typed
// while Alt is held cancels the menu bar's wait for Alt even when consumed).
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
  // The same key event seen before: handed on from the window to its focused
  // widget, or passed on to a parent of the widget that had it.
  bool SeenBefore(const QKeyEvent* k, QObject* watched) const;
  void Remember(const QKeyEvent* k, QObject* watched);

  QPointer<QWidget> window_;
  Handler keyDown_, keyUp_;
  const QEvent* lastEvent_ = nullptr;
  int lastType_ = 0;
  int lastKey_ = 0;
  QPointer<QObject> lastReceiver_;
  quint64 lastTimestamp_ = 0;
};

}  // namespace wendul
