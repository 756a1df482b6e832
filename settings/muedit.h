// TmuEdit: the labelled single-line edit of the options dialog's numeric
// fields and the main window's hidden text holders. A caption label on its
// left, a second label on its right, optional spin buttons that never wrap,
// a digits-only mode, a byte limit counted in Shift-JIS bytes (a double-byte
// character counts 2), ENTER to a next and F12 to a previous control,
// PageUp/PageDown stepping, and its text kept in the settings file under
// the owner form's section (IsNewVersionIni) or the shared section "Text".
#pragma once

#include <QLabel>
#include <QPointer>

#include "controls/imegatededit.h"
#include "controls/inipersist.h"

namespace wendul {

class TmuEdit : public TImeGatedEdit, public IniPersisted {
  Q_OBJECT

 public:
  explicit TmuEdit(QWidget* parent = nullptr);
  ~TmuEdit() override;

  int MaxLength = 0;  // bytes a typed character may fill up to; 0 or less: no limit
  // The text read as a decimal number (0 when empty or not a number);
  // writing sets the text to the number's shortest decimal form.
  double Val() const;
  void SetVal(double v);
  QString VName;
  bool IsUpDown = false;      // spin buttons created at load
  bool IsUpDownLoop = false;  // carried; the spin never wraps
  bool IsDigit() const { return isDigit_; }
  void SetIsDigit(bool on);
  bool IsNotNull = false;     // carried
  bool IsOpenDialog = false;  // carried
  bool IsUpperCase = false;   // typed letters become capitals
  QPointer<QWidget> muPrevControl;  // F12 goes there
  QPointer<QWidget> muNextControl;  // ENTER goes there
  QPointer<QWidget> muIMEControl;   // carried; no form links one
  int Max = 99;
  int Min = 0;
  int Increment() const { return increment_; }
  void SetIncrement(int step);  // acts once the spin buttons exist
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  QString CaptionR() const { return captionR_; }
  void SetCaptionR(const QString& caption);
  int LabelFontSize = 10;
  bool IsNewVersionIni = false;  // true: owner form's section; false: "Text"

  QLabel* LeftLabel() const { return left_; }
  QLabel* RightLabel() const { return right_; }
  QWidget* UpDown() const;
  // The spin's position and a step of it (+1 up, -1 down), as a click does.
  int UpDownPosition() const;
  void StepUpDown(int direction);

 protected:
  void Loaded() override;
  void DoLoadIni() override;
  void DoStoreIni(std::vector<IniEntry>& out) override;
  const QObject* IniObject() const override { return this; }
  void keyPressEvent(QKeyEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void hideEvent(QHideEvent* e) override;

 private:
  void LayoutLabels();
  // Bytes that may still be typed (-1: no limit); counts the selection as free.
  int64_t RoomInBytes() const;

  bool isDigit_ = false;
  int increment_ = 1;
  QString caption_, captionR_;
  QPointer<QLabel> left_, right_;
  QPointer<QWidget> upDown_;  // a TUpDown
};

}  // namespace wendul
