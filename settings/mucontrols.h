// The persisted check box, radio buttons and drop-down list of the settings
// layer (section = owner form's name, key = control's name).
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QRadioButton>
#include <cstdint>

#include "controls/inipersist.h"

namespace wendul {

// Stores "1" checked, "0" not; only "1" loads checked, a missing key keeps
// the form's state.
class TmuCheckBox : public QCheckBox, public IniPersisted {
  Q_OBJECT

 public:
  explicit TmuCheckBox(QWidget* parent = nullptr);
  TmuCheckBox(const QString& caption, QWidget* parent);
  ~TmuCheckBox() override;

 protected:
  void DoLoadIni() override;
  void DoStoreIni(std::vector<IniEntry>& out) override;
  const QObject* IniObject() const override { return this; }
};

// A radio button inside a TmuGroupBox: becoming checked (by a click or in
// code) makes it the group's CheckedName and its caption the group's VName.
// Outside a TmuGroupBox that raises "TmuRadioButton.Click".
class TmuRadioButton : public QRadioButton, public IniPersisted {
  Q_OBJECT

 public:
  explicit TmuRadioButton(QWidget* parent = nullptr);
  TmuRadioButton(const QString& caption, QWidget* parent);
  ~TmuRadioButton() override;

  // The click rule (raises on a parent that is no TmuGroupBox).
  void ClickRule();

 protected:
  void DoLoadIni() override;
  void DoStoreIni(std::vector<IniEntry>& out) override;
  const QObject* IniObject() const override { return this; }

 private:
  void OnToggled(bool on);
};

// What a key does, in the order of the options dialog's methods.
enum class TwdlMethod : uint8_t { wdmtNone, wdmtFilterWord, wdmtSeekWord, wdmtGotoDoc, wdmtGotoWordCode, wdmtGotoWordDate };
// Keys as bits of one byte: ckNone 1, ckShift 2, ckAlt 4, ckCtrl 8, ckTab 16, ckEsc 32.
enum TControlKey : uint8_t { ckNone = 1, ckShift = 2, ckAlt = 4, ckCtrl = 8, ckTab = 16, ckEsc = 32 };
// The pane in which the key acts.
enum class TStayControl : uint8_t { scDoc, scWordDate, scWordCode };

// A radio button of the options dialog: the choice it stands for.
class TmuRadioButton_Wendul : public TmuRadioButton {
  Q_OBJECT

 public:
  TmuRadioButton_Wendul(const QString& caption, QWidget* parent, TwdlMethod method, uint8_t controlKey,
                        TStayControl stay);

  TwdlMethod Method;
  uint8_t ControlKey;  // TControlKey bits
  TStayControl StayControl;
};

// A drop-down list with a caption label on its left (label top = list top
// + 2, right edge 4 pixels left of the list). With IsIni set it keeps its
// selected index; a stored value that is not a number loads as 0.
class TmuComboBox : public QComboBox, public IniPersisted {
  Q_OBJECT

 public:
  explicit TmuComboBox(QWidget* parent = nullptr);
  ~TmuComboBox() override;

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  int LabelFontSize = 10;
  int IniIndex = 0;     // index read at load (0 when nothing was read)
  int EnterIndex = -1;  // index when the list last received the focus
  QLabel* CaptionLabel() const { return label_; }

 signals:
  void Entered(wendul::TmuComboBox* list);
  void Exited(wendul::TmuComboBox* list);

 protected:
  void Loaded() override;
  void DoLoadIni() override;
  void DoStoreIni(std::vector<IniEntry>& out) override;
  const QObject* IniObject() const override { return this; }
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  // Only a list with the focus turns with the wheel: its choice counts when it
  // loses the focus again.
  void wheelEvent(QWheelEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void PlaceLabel();

  QString caption_;
  QPointer<QLabel> label_;
};

// Places a caption label beside a control the way the labelled controls do
// (top + 2, its right edge `gap` pixels left of the control).
void PlaceLeftLabel(QLabel* label, const QWidget* control, int gap = 4);

}  // namespace wendul
