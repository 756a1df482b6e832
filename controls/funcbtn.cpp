#include "controls/funcbtn.h"

#include <QButtonGroup>
#include <QResizeEvent>
#include <cmath>

#include "controls/jfont.h"
#include "controls/muform.h"
#include "controls/qsjis.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

// Red text for as long as it lives; the button gets its own palette back.
class RunningLook {
 public:
  RunningLook(TmuSpeedButton* button, QWidget* repaint) : button_(button), repaint_(repaint) {
    button_->SetRunningLook(true);
    repaint_->repaint();
  }
  ~RunningLook() {
    if (!button_) return;  // the command closed the window
    button_->SetRunningLook(false);
    if (repaint_) repaint_->repaint();
  }

 private:
  QPointer<TmuSpeedButton> button_;
  QPointer<QWidget> repaint_;
};

void RunHandler(const TmuSpeedButton::ClickHandler& handler, QObject* sender) {
  try {
    handler(sender);
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
}

}  // namespace

std::function<void(QObject*)> FindCommand(QObject* form, const QString& name) {
  const QString n = name.trimmed();
  if (n.isEmpty() || !TmuForm::HasCommand(form, n)) return {};
  QPointer<QObject> target(form);
  return [target, n](QObject* sender) {
    if (target) TmuForm::InvokeCommand(target, n, sender);
  };
}

// ---------------------------------------------------------------------------
// TmuSpeedButton

TmuSpeedButton::TmuSpeedButton(QWidget* parent) : QToolButton(parent) {
  setFocusPolicy(Qt::NoFocus);
  setAutoRaise(false);
  connect(this, &QToolButton::clicked, this, &TmuSpeedButton::OnClicked);
}

TmuSpeedButton::~TmuSpeedButton() { StoreAlone(); }

bool TmuSpeedButton::BindCommand(const QString& name) {
  auto command = FindCommand(OwnerForm(this), name);
  if (!command) return false;
  CommandName = name.trimmed();
  onClick_ = std::move(command);
  setEnabled(true);
  return true;
}

void TmuSpeedButton::UnbindCommand() {
  CommandName.clear();
  onClick_ = nullptr;
  setEnabled(false);
}

QColor TmuSpeedButton::FontColor() const { return palette().color(QPalette::ButtonText); }

void TmuSpeedButton::SetRunningLook(bool running) {
  if (running) {
    QPalette p = palette();
    p.setColor(QPalette::ButtonText, Qt::red);
    setPalette(p);
  } else {
    setPalette(QPalette());  // the window-text colour of the style again
  }
}

void TmuSpeedButton::RunClick() {
  if (!onClick_) return;
  const ClickHandler handler = onClick_;  // the command may rebind this button
  if (IsChangeFontColor) {
    RunningLook look(this, this);
    RunHandler(handler, this);
  } else {
    RunHandler(handler, this);
  }
}

void TmuSpeedButton::OnClicked() { RunClick(); }

void TmuSpeedButton::DoLoadIni() {
  // A stored name that is no command leaves the button unbound, quietly.
  BindCommand(ToQ(ReadIni(this, FromQ(CommandName))));
}

void TmuSpeedButton::DoStoreIni(std::vector<IniEntry>& out) { out.push_back(Entry(FromQ(CommandName))); }

// ---------------------------------------------------------------------------
// TFuncBtn

TFuncBtn::TFuncBtn(QWidget* parent) : QFrame(parent) {
  resize(500, 30);
  setFocusPolicy(Qt::NoFocus);
}

TmuSpeedButton* TFuncBtn::Button(int index) const {
  if (index < 1 || index > ButtonCount()) return nullptr;
  return buttons_[static_cast<size_t>(index - 1)];
}

void TFuncBtn::SetIsRadio(bool on) {
  isRadio_ = on;
  for (auto& b : buttons_) {
    if (!b) continue;
    b->setCheckable(on);
    b->setAutoExclusive(on);  // group index 1: one exclusive group
  }
}

void TFuncBtn::SetIsFlat(bool on) {
  isFlat_ = on;
  for (auto& b : buttons_)
    if (b) b->setAutoRaise(on);
}

void TFuncBtn::Loaded() {
  for (int i = 1; i <= NBtn && i <= 12; ++i) {
    auto* b = new TmuSpeedButton(this);
    b->setObjectName(objectName() + "_F" + QString::fromStdString(ZeroPadStr(i, 2)));
    b->CommandName.clear();
    b->setProperty("Tag", i);
    b->setGeometry((i - 1) * 30, 0, 30, height());
    b->setText(QString::number(i));
    captions_[i - 1] = b->text();
    b->IsIni = true;
    b->setEnabled(false);
    buttons_.push_back(b);
    b->show();
    b->RunLoaded();  // reads and binds its command
  }
  LayoutButtons();
}

void TFuncBtn::resizeEvent(QResizeEvent* e) {
  QFrame::resizeEvent(e);
  LayoutButtons();
}

void TFuncBtn::LayoutButtons() {
  const int n = ButtonCount();
  if (n == 0) return;
  const int W = width();
  const int H = height();
  int w = 0, g = 0;
  if (n == 12) {
    if (GapWidth4Button != 0) {
      w = (W - 2 * GapWidth4Button) / 12;
      g = GapWidth4Button;
    } else {
      w = W / 13;
      g = w / 2;
    }
  } else {
    w = (W - (n - 1) * GapWidthButton) / n;
  }
  const int points = FontSize != 0 ? FontSize : static_cast<int>(std::lround(H * 0.4));
  int x = 0;
  for (int i = 0; i < n; ++i) {
    TmuSpeedButton* b = buttons_[static_cast<size_t>(i)];
    if (!b) continue;
    b->setGeometry(x, 0, w, H);
    b->setFont(JapaneseFontPt(true, points));
    x += w + GapWidthButton;
    if (n == 12 && (i == 3 || i == 7)) x += g;
  }
}

bool TFuncBtn::DispatchFunctionKey(int qtKey, Qt::KeyboardModifiers modifiers, Qt::MouseButtons mouse) {
  const bool held = (modifiers & (Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier)) || mouse != Qt::NoButton;
  if (held && !IsShift) return false;
  if (qtKey < Qt::Key_F1 || qtKey > Qt::Key_F12) return false;
  TmuSpeedButton* b = Button(qtKey - Qt::Key_F1 + 1);
  if (!b) return false;
  if (!b->isEnabled() || !b->OnClick()) return true;
  const TmuSpeedButton::ClickHandler handler = b->OnClick();
  RunningLook look(b, this);
  RunHandler(handler, b);
  return true;
}

void TFuncBtn::SetButton(int index, const QString& caption, const QString& hint,
                         TmuSpeedButton::ClickHandler handler) {
  SetCaption(index, caption);
  if (TmuSpeedButton* b = Button(index)) {
    b->setToolTip(hint);
    if (handler) b->SetOnClick(std::move(handler));
  }
  RefreshButton(index);
}

void TFuncBtn::BindDefault(int index, const QString& commandName) {
  TmuSpeedButton* b = Button(index);
  if (b && !b->OnClick()) b->BindCommand(commandName);
}

void TFuncBtn::SetCaption(int index, const QString& caption) {
  if (index < 1 || index > 12) return;
  captions_[index - 1] = caption;
  RefreshButton(index);
}

void TFuncBtn::RefreshButton(int index) {
  TmuSpeedButton* b = Button(index);
  if (!b) return;
  b->setEnabled(true);
  b->setText(captions_[index - 1]);
}

}  // namespace wendul
