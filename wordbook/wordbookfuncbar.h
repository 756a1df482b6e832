// The word book's function-key bar: six buttons for F1 to F6 sharing the
// bar's width. A stand-in with the interface of the component library's
// function-key bar (SetButton, DispatchFunctionKey, IsShift), so that the two
// can be swapped.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

class QToolButton;

namespace wendul {

class TWordBookFuncBar : public QWidget {
  Q_OBJECT

 public:
  explicit TWordBookFuncBar(int buttons, QWidget* parent = nullptr);

  // Function keys pressed with Shift, Ctrl or Alt press the buttons too.
  bool IsShift = true;

  // Button index (1-based): caption, hint and what a click or its key runs.
  void SetButton(int index, const QString& caption, const QString& hint, std::function<void()> click);
  QToolButton* Button(int index) const;
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }

  // A key pressed in the owning window: F1.. press the button of that number.
  // True when the key belongs to a button (the key is then used up).
  bool DispatchFunctionKey(int qtKey, Qt::KeyboardModifiers modifiers);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void Press(int index);
  std::vector<QToolButton*> buttons_;
  std::vector<std::function<void()>> clicks_;
};

}  // namespace wendul
