#include "controls/enterbuttons.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace wendul {

namespace {

class EnterPressesButtons final : public QObject {
 public:
  explicit EnterPressesButtons(QObject* parent) : QObject(parent) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter) return false;
    if ((k->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    auto* button = qobject_cast<QPushButton*>(watched);
    if (!button || !button->hasFocus() || !button->isEnabled()) return false;
    // Held down, Enter presses once.
    if (!k->isAutoRepeat()) button->click();
    return true;
  }
};

}  // namespace

void InstallEnterPressesButtons(QApplication* app) {
  // Installed first, it is asked last: every other application-wide filter
  // (the windows' key previews) has seen the key before it.
  app->installEventFilter(new EnterPressesButtons(app));
}

}  // namespace wendul
