// The function-key bar and its buttons. A TFuncBtn holds up to twelve
// TmuSpeedButtons standing for F1 .. F12; a function key pressed in the
// window that owns the bar acts as a click on its button, which runs the
// command bound to it. On the main window the bar stays hidden and serves
// as the table of function-key bindings.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>
#include <QToolButton>
#include <functional>
#include <vector>

#include "controls/inipersist.h"

namespace wendul {

// A small button that can be bound to a command of its owner form by name.
// With IsIni set it keeps that name (CommandName) in the settings file.
class TmuSpeedButton : public QToolButton, public IniPersisted {
  Q_OBJECT

 public:
  explicit TmuSpeedButton(QWidget* parent = nullptr);
  ~TmuSpeedButton() override;

  // Red text while the click handler runs (true at creation).
  bool IsChangeFontColor = true;
  // Name of the bound command ("" = none).
  QString CommandName;

  using ClickHandler = std::function<void(QObject* sender)>;
  const ClickHandler& OnClick() const { return onClick_; }
  void SetOnClick(ClickHandler handler) { onClick_ = std::move(handler); }

  // Binds the owner form's command `name` ("Cn...", taking the sender):
  // sets CommandName, makes it the click action and enables the button.
  // False, with nothing changed, when the trimmed name is empty or names no
  // command of the owner form.
  bool BindCommand(const QString& name);
  // Clears CommandName and the click action and disables the button.
  void UnbindCommand();

  // The text colour: red while running, else the window-text colour.
  QColor FontColor() const;
  void SetRunningLook(bool running);

  // Runs the click handler with this button as sender (a command's error
  // is shown, never thrown on).
  void RunClick();

 protected:
  void DoLoadIni() override;
  void DoStoreIni(std::vector<IniEntry>& out) override;
  const QObject* IniObject() const override { return this; }

 private:
  void OnClicked();

  ClickHandler onClick_;
};

// Looks up the form's command `name` (a "Cn" slot taking the sender). An
// empty function when the trimmed name is empty or there is none.
std::function<void(QObject* sender)> FindCommand(QObject* form, const QString& name);

class TFuncBtn : public QFrame, public LoadedControl {
  Q_OBJECT

 public:
  explicit TFuncBtn(QWidget* parent = nullptr);

  bool IsSpeedButton = true;  // stored only
  // Function keys with a modifier or mouse button held press the buttons too.
  bool IsShift = false;
  QString VName;
  int NBtn = 12;  // buttons created when the bar has loaded
  bool IsRadio() const { return isRadio_; }
  void SetIsRadio(bool on);  // reaches only buttons that exist
  bool IsFlat() const { return isFlat_; }
  void SetIsFlat(bool on);
  int FontSize = 0;  // 0: 40 % of the bar's height
  int GapWidthButton = 0;
  int GapWidth4Button = 0;

  // Button 1 .. 12 (nullptr when it does not exist).
  TmuSpeedButton* Button(int index) const;
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }

  // F1 .. F12 with no modifier (any, with IsShift) press button n = the
  // key's number: an enabled button with a click action runs it with itself
  // as sender, red meanwhile. True when the bar has a button for the key,
  // whatever it did; false for other keys or a held modifier. Never consumes
  // anything: callers pass the key on.
  bool DispatchFunctionKey(int qtKey, Qt::KeyboardModifiers modifiers,
                           Qt::MouseButtons mouse = Qt::NoButton);

  // Caption, hint and (when given) click action of a button, then RefreshButton.
  void SetButton(int index, const QString& caption, const QString& hint,
                 TmuSpeedButton::ClickHandler handler = {});
  // Binds the command only when the button has no click action yet.
  void BindDefault(int index, const QString& commandName);
  void SetCaption(int index, const QString& caption);
  // Enables the button and shows its stored caption.
  void RefreshButton(int index);

  // Places the buttons for the bar's size (also on every resize).
  void LayoutButtons();

 protected:
  // Creates NBtn buttons named Name + "_F01" ...; each loads its command.
  void Loaded() override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  bool isRadio_ = false;
  bool isFlat_ = false;
  std::vector<QPointer<TmuSpeedButton>> buttons_;
  QString captions_[12];
};

}  // namespace wendul
