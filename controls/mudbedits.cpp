#include "controls/mudbedits.h"

#include <QKeyEvent>

#include "controls/datasource.h"
#include "controls/qsjis.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

bool IsEnter(const QKeyEvent* e) { return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter; }

// A typed character (not a control key) of a key event.
bool TypedChar(const QKeyEvent* e, QChar* c) {
  const QString t = e->text();
  if (t.isEmpty() || !t.at(0).isPrint()) return false;
  *c = t.at(0);
  return true;
}

// F12 back to the previous control, Enter on to the next: true when the key
// was used.
bool FollowFocusLinks(QKeyEvent* e, QWidget* prev, QWidget* next) {
  if (e->key() == Qt::Key_F12 && prev) FocusControl(prev);
  else if (IsEnter(e)) FocusControl(next);
  else return false;
  e->accept();
  return true;
}

}  // namespace

bool IsNotNumberChar(QChar c, bool digitsOnly) {
  return digitsOnly && !(c >= '0' && c <= '9') && c != QChar(8) && c != '.';
}

bool FocusPrevByProperty(QWidget* control, int key) {
  if (key != Qt::Key_F12 || !control) return false;
  QWidget* target = nullptr;
  if (auto* e = qobject_cast<TmuDBEdit*>(control)) target = e->muPrevControl;
  else if (auto* m = qobject_cast<TmuDBMemo*>(control)) target = m->muPrevControl;
  if (!target) return false;
  FocusControl(target);
  return true;
}

void FocusControl(QWidget* control) {
  if (control) control->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------

void DataLink::Bind(QWidget* control, TDataSource* source, const std::string& field) {
  QObject::disconnect(moved_);
  QObject::disconnect(changed_);
  source_ = source;
  field_ = field;
  if (source) {
    moved_ = QObject::connect(source, &TDataSource::RecordMove, control, [this] { Reload(); });
    changed_ = QObject::connect(source, &TDataSource::DataChange, control, [this] { Reload(); });
  }
  Reload();
}

void DataLink::Reload() {
  MT* t = source_ ? source_->DataSet() : nullptr;
  QString text;
  try {
    if (t && t->Active() && !field_.empty()) text = ToQ(t->GS(field_));
  } catch (const std::exception&) {
    // An unknown field shows nothing.
  }
  SetControlText(text);
  ClearControlModified();
}

void DataLink::WriteBack() {
  MT* t = source_ ? source_->DataSet() : nullptr;
  if (!t || field_.empty() || !ControlModified()) return;
  try {
    t->Edit();
    t->SS(field_, FromQ(ControlText()));
    t->Post();
    ClearControlModified();
  } catch (const std::exception& e) {
    try {
      t->Cancel();
    } catch (const std::exception&) {
    }
    ErrMsgBox(e.what());  // the text stays in the control
  }
}

// ---------------------------------------------------------------------------

TmuDBEdit::TmuDBEdit(QWidget* parent) : TImeGatedEdit(parent) {}

void TmuDBEdit::SetIsDigit(bool on) {
  if (on == isDigit_) return;
  isDigit_ = on;
  setAttribute(Qt::WA_InputMethodEnabled, !on);
}

void TmuDBEdit::keyPressEvent(QKeyEvent* e) {
  // Key down.
  if (e->key() == Qt::Key_PageUp || e->key() == Qt::Key_PageDown) {
    const std::string t = text().toStdString();
    if (IsIntStr(t)) {
      setText(QString::number(static_cast<int64_t>(StrToIntZ(t)) + (e->key() == Qt::Key_PageUp ? 1 : -1)));
      setModified(true);
      e->accept();
      return;
    }
  }
  FocusPrevByProperty(this, e->key());
  // Key press.
  if (IsEnter(e)) {
    FocusControl(muNextControl);
    e->accept();
    return;
  }
  QChar c;
  if (TypedChar(e, &c) && IsNotNumberChar(c, isDigit_)) {
    e->accept();
    return;
  }
  QLineEdit::keyPressEvent(e);
}

void TmuDBEdit::mousePressEvent(QMouseEvent* e) {
  if (text().trimmed().isEmpty()) setCursorPosition(0);
  QLineEdit::mousePressEvent(e);
}

void TmuDBEdit::focusOutEvent(QFocusEvent* e) {
  QLineEdit::focusOutEvent(e);
  if (e->reason() != Qt::PopupFocusReason) WriteBack();
}

TmuDBMemo::TmuDBMemo(QWidget* parent) : QPlainTextEdit(parent) {}

void TmuDBMemo::keyPressEvent(QKeyEvent* e) {
  QPlainTextEdit::keyPressEvent(e);  // the line break is kept
  if (IsEnter(e)) FocusControl(muNextControl);
}

void TmuDBMemo::focusOutEvent(QFocusEvent* e) {
  QPlainTextEdit::focusOutEvent(e);
  if (e->reason() != Qt::PopupFocusReason) WriteBack();
}

TmuMaskEdit::TmuMaskEdit(QWidget* parent) : QLineEdit(parent) {}

void TmuMaskEdit::keyPressEvent(QKeyEvent* e) {
  if (!FollowFocusLinks(e, muPrevControl, muNextControl)) QLineEdit::keyPressEvent(e);
}

void TmuMaskEdit::mousePressEvent(QMouseEvent* e) {
  if (text().trimmed().isEmpty()) setCursorPosition(0);
  QLineEdit::mousePressEvent(e);
}

TmuListBox::TmuListBox(QWidget* parent) : QListWidget(parent) {}

void TmuListBox::keyPressEvent(QKeyEvent* e) {
  if (!FollowFocusLinks(e, muPrevControl, muNextControl)) QListWidget::keyPressEvent(e);
}

void TmuListBox::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) emit OnClickMU(this);
  QListWidget::mouseReleaseEvent(e);
}

}  // namespace wendul
