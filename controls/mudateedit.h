// TmuDateEdit: a date as three small numeric fields (year, month, day) with
// spin buttons, a weekday box, an optional era/western button (a
// TmuSpeedButton) and an optional caption bar. The year can be shown as a
// western year or as a Japanese era year (明治 to 令和, from ICU's calendar);
// before 明治 the era display keeps the western year.
//
// The fields are the component library's own small numeric edits: digits
// only, a spin within a range (Up/Down and the buttons), ENTER to the next
// and F12 to the previous field, PageUp/PageDown one up or down.
//
// OnChange fires at every change of a field, typed digits on the way
// included. OnDateChosen fires only once the date the user means is whole:
// SetDate, a spin, ENTER, leaving a field, or a pause in typing with a whole
// date in the fields. ESC drops the digits typed since and leaves an era
// display that no button shows; W (西暦) goes back to western years.
#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QPointer>

#include "util/wtypes.h"

class QLabel;
class QTimer;
class QToolButton;

namespace wendul {

class TmuDateField;

class TmuDateEdit : public QFrame {
  Q_OBJECT

 public:
  explicit TmuDateEdit(QWidget* parent = nullptr);
  ~TmuDateEdit() override;

  // --- properties ----------------------------------------------------------
  QWidget* muPrevControl() const { return prev_; }
  void SetMuPrevControl(QWidget* w);  // where F12 in the year field goes
  QWidget* muNextControl() const { return next_; }
  void SetMuNextControl(QWidget* w);  // where ENTER in the day field goes
  bool IsJMode() const { return jmode_; }
  void SetIsJMode(bool on);
  bool IsEWBtn() const { return btEra_ != nullptr; }
  void SetIsEWBtn(bool on);  // creates the era button once
  bool IsCap() const { return isCap_; }
  void SetIsCap(bool on);

  // --- date ----------------------------------------------------------------
  // Shows the date (its day part); 0 clears the fields and fires nothing.
  // Otherwise OnChange fires once, with the day field as sender.
  void SetDate(TDateTime value);
  // The date the fields denote, or the last valid one when they denote none
  // (0 after SetDate(0)). With quiet false an invalid date raises
  // "<year>/<month>/<day> は日付としておかしいです".
  TDateTime GetDate(bool quiet = true);
  // Focus into the day field.
  void SetFocus();
  // The date last chosen (0 after SetDate(0)); the fields may hold digits
  // typed since, not chosen yet.
  TDateTime ChosenDate() const { return chosen_; }
  bool ChoicePending() const { return pending_; }
  // How long typing pauses before a whole typed date counts as chosen.
  static constexpr int kTypingPauseMs = 1000;

  // --- parts (tests, owners) -------------------------------------------------
  QLineEdit* YearEdit() const;
  QLineEdit* MonthEdit() const;
  QLineEdit* DayEdit() const;
  QLineEdit* WeekEdit() const { return week_; }
  QToolButton* EraButton() const { return btEra_; }
  QLabel* CaptionBar() const { return cap_; }
  int Era() const { return era_; }  // era index shown in era mode (kNoEra: western year)
  int LayoutUnit() const { return unit_; }
  // Spins a field one step (+1 up, -1 down) as its buttons do.
  void Spin(QLineEdit* field, int direction);

 signals:
  void OnChange(QObject* sender);
  void OnDateChosen();
  // A handler that accepts the event uses the key up: the field does not see it.
  void OnKeyDown(QObject* sender, QKeyEvent* e);
  void OnKeyPress(QObject* sender, QChar key);
  void OnClick(QObject* sender);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  friend class TmuDateField;
  void FieldChanged(TmuDateField* field);
  // Reads the fields; true and the date in *out when they form one.
  bool ReadFields(TDateTime* out) const;
  bool Refresh();
  // Field keys: true when consumed.
  bool FieldKeyDown(TmuDateField* field, QKeyEvent* e);
  void FieldKeyPress(TmuDateField* field, QChar key);
  void SelectEra(int era);
  void UpdateEraButton();
  void WriteField(TmuDateField* field, int value);
  // SetDate without choosing (the day's roll-over while typing).
  void ShowDate(TDateTime value);
  // How the user ends typing: ENTER or a spin take any valid date, leaving a
  // field or pausing only a whole one (a western year of four digits). A
  // date not taken comes back as chosen, except at a pause.
  enum class Ending { Commit, Leave, Pause };
  void Choose(Ending how);
  // ESC: the chosen date back, western years when no button shows the era.
  void Revert();
  void DoLayout();

  TmuDateField* fields_[3] = {};
  QLineEdit* week_ = nullptr;
  QToolButton* btEra_ = nullptr;
  QLabel* cap_ = nullptr;
  QPointer<QWidget> prev_, next_;
  bool jmode_ = false;
  bool isCap_ = false;
  int era_ = -1;
  TDateTime date_ = 0;
  int16_t year_ = 0, month_ = 0, day_ = 0;
  bool updating_ = false;
  int unit_ = 0;
  TDateTime chosen_ = 0;  // the date last chosen
  bool pending_ = false;
  bool leaving_ = false;  // a field was left with digits typed: chosen at the next turn
  QTimer* typingPause_ = nullptr;
};

}  // namespace wendul
