#include "settings/mucontrols.h"

#include <QFocusEvent>
#include <QWheelEvent>

#include "controls/jfont.h"
#include "controls/mubuttons.h"
#include "controls/qsjis.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

bool LoadChecked(const QObject* control, bool formChecked) {
  // Only "1" is checked; "0", empty or anything else is not.
  return ReadIni(control, formChecked ? "1" : "0") == "1";
}

}  // namespace

void PlaceLeftLabel(QLabel* label, const QWidget* control, int gap) {
  if (!label) return;
  label->adjustSize();
  label->move(control->x() - label->width() - gap, control->y() + 2);
}

// ---------------------------------------------------------------------------

TmuCheckBox::TmuCheckBox(QWidget* parent) : QCheckBox(parent) { setFocusPolicy(Qt::ClickFocus); }

TmuCheckBox::TmuCheckBox(const QString& caption, QWidget* parent) : TmuCheckBox(parent) { setText(caption); }

TmuCheckBox::~TmuCheckBox() { StoreAlone(); }

void TmuCheckBox::DoLoadIni() { setChecked(LoadChecked(this, isChecked())); }

void TmuCheckBox::DoStoreIni(std::vector<IniEntry>& out) { out.push_back(Entry(isChecked() ? "1" : "0")); }

// ---------------------------------------------------------------------------

TmuRadioButton::TmuRadioButton(QWidget* parent) : QRadioButton(parent) {
  setFocusPolicy(Qt::ClickFocus);
  connect(this, &QRadioButton::toggled, this, &TmuRadioButton::OnToggled);
}

TmuRadioButton::TmuRadioButton(const QString& caption, QWidget* parent) : TmuRadioButton(parent) {
  setText(caption);
}

TmuRadioButton::~TmuRadioButton() { StoreAlone(); }

void TmuRadioButton::ClickRule() {
  auto* group = qobject_cast<TmuGroupBox*>(parentWidget());
  if (!group) PgmError("TmuRadioButton.Click");
  group->CheckedName = objectName();
  group->VName = text();
}

void TmuRadioButton::OnToggled(bool on) {
  if (!on) return;
  try {
    ClickRule();
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
}

void TmuRadioButton::DoLoadIni() {
  if (Trim(GIniFileName()).empty()) GIniFileName() = DefaultIniFileName();
  setChecked(LoadChecked(this, isChecked()));
}

void TmuRadioButton::DoStoreIni(std::vector<IniEntry>& out) { out.push_back(Entry(isChecked() ? "1" : "0")); }

TmuRadioButton_Wendul::TmuRadioButton_Wendul(const QString& caption, QWidget* parent, TwdlMethod method,
                                             uint8_t controlKey, TStayControl stay)
    : TmuRadioButton(caption, parent), Method(method), ControlKey(controlKey), StayControl(stay) {}

// ---------------------------------------------------------------------------

TmuComboBox::TmuComboBox(QWidget* parent) : QComboBox(parent) { setFocusPolicy(Qt::StrongFocus); }

TmuComboBox::~TmuComboBox() { StoreAlone(); }

void TmuComboBox::SetCaption(const QString& caption) {
  caption_ = caption;
  if (label_) {
    label_->setText(caption);
    PlaceLabel();
  }
}

void TmuComboBox::Loaded() {
  LoadIni();
  // The caption label, persisted or not.
  if (!parentWidget()) return;
  label_ = new QLabel(caption_, parentWidget());
  label_->setObjectName(objectName() + "_Label");
  label_->setAttribute(Qt::WA_TranslucentBackground);
  label_->setFont(JapaneseFontPt(false, LabelFontSize));
  label_->setBuddy(this);
  label_->show();
  PlaceLabel();
}

void TmuComboBox::DoLoadIni() {
  const SjisString value = Trim(ReadIni(this, ""));
  IniIndex = IsIntStr(value) ? StrToIntZ(value) : 0;
  setCurrentIndex(IniIndex);
}

void TmuComboBox::DoStoreIni(std::vector<IniEntry>& out) { out.push_back(Entry(std::to_string(currentIndex()))); }

void TmuComboBox::focusInEvent(QFocusEvent* e) {
  QComboBox::focusInEvent(e);
  if (e->reason() == Qt::PopupFocusReason) return;  // back from its own drop-down
  EnterIndex = currentIndex();
  emit Entered(this);
}

void TmuComboBox::focusOutEvent(QFocusEvent* e) {
  QComboBox::focusOutEvent(e);
  if (e->reason() == Qt::PopupFocusReason) return;  // its own drop-down opened
  emit Exited(this);
}

void TmuComboBox::wheelEvent(QWheelEvent* e) {
  if (!hasFocus()) {
    e->ignore();
    return;
  }
  QComboBox::wheelEvent(e);
}

void TmuComboBox::moveEvent(QMoveEvent* e) {
  QComboBox::moveEvent(e);
  PlaceLabel();
}

void TmuComboBox::resizeEvent(QResizeEvent* e) {
  QComboBox::resizeEvent(e);
  PlaceLabel();
}

void TmuComboBox::PlaceLabel() { PlaceLeftLabel(label_, this); }

}  // namespace wendul
