// The wrappers of the component library around the platform's edits, list
// box and timer: keyboard links between controls (ENTER to a next control,
// F12 to a previous one) and, for the memo and the edit, the text of a field
// of the current record of a data source. Links to a control that is
// destroyed clear themselves.
#pragma once

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <string>

#include "controls/datasource.h"  // held in a QPointer, which needs the whole class
#include "controls/imegatededit.h"

namespace wendul {

// True when digits-only is on and c is neither a digit, backspace nor ".".
bool IsNotNumberChar(QChar c, bool digitsOnly);
// F12 on a control with a set muPrevControl focuses that control; true when it did.
bool FocusPrevByProperty(QWidget* control, int key);
void FocusControl(QWidget* control);

// Shows a field of the data source's current record and writes the edited
// text back into it when the control is left.
class DataLink {
 public:
  void Bind(QWidget* control, TDataSource* source, const std::string& field);
  TDataSource* Source() const { return source_; }
  const std::string& Field() const { return field_; }

 protected:
  virtual QString ControlText() const = 0;
  virtual void SetControlText(const QString& text) = 0;
  virtual bool ControlModified() const = 0;
  virtual void ClearControlModified() = 0;
  void Reload();
  // Writes a changed text into the record (an error is shown, the text kept).
  void WriteBack();

 private:
  QPointer<TDataSource> source_;
  std::string field_;
  QMetaObject::Connection moved_, changed_;
};

class TmuDBEdit : public TImeGatedEdit, public DataLink {
  Q_OBJECT
 public:
  explicit TmuDBEdit(QWidget* parent = nullptr);
  QString VName;
  QPointer<QWidget> muPrevControl, muNextControl, muIMEControl;
  bool IsDigit() const { return isDigit_; }
  // On: the input method closed for the field; off: left to the user.
  void SetIsDigit(bool on);

 protected:
  QString ControlText() const override { return text(); }
  void SetControlText(const QString& t) override { setText(t); }
  bool ControlModified() const override { return isModified(); }
  void ClearControlModified() override { setModified(false); }
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  bool isDigit_ = false;
};

class TmuDBMemo : public QPlainTextEdit, public DataLink {
  Q_OBJECT
 public:
  explicit TmuDBMemo(QWidget* parent = nullptr);
  QString VName;
  QPointer<QWidget> muPrevControl, muNextControl, muIMEControl;

 protected:
  // Stored text breaks its lines with CR LF, the editor with LF alone.
  QString ControlText() const override { return toPlainText().replace('\n', QLatin1String("\r\n")); }
  void SetControlText(const QString& t) override { setPlainText(QString(t).replace(QLatin1String("\r\n"), QLatin1String("\n"))); }
  bool ControlModified() const override { return document()->isModified(); }
  void ClearControlModified() override { document()->setModified(false); }
  void keyPressEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
};

class TmuMaskEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TmuMaskEdit(QWidget* parent = nullptr);
  QString VName;
  QPointer<QWidget> muPrevControl, muNextControl;

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
};

class TmuListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TmuListBox(QWidget* parent = nullptr);
  QPointer<QWidget> muPrevControl, muNextControl;

 signals:
  // The left mouse button released over the list, before its own handling.
  void OnClickMU(wendul::TmuListBox* sender);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
};

class TmuTimer : public QTimer {
  Q_OBJECT
 public:
  using QTimer::QTimer;
};

}  // namespace wendul
