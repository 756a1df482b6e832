// The date window of log mode: a small stay-on-top window holding the day
// shown in the main window's document pane, and the document's length.
// Every chosen date (typed and ended by ENTER, leaving the field or a pause,
// spun, set by a command or a search result) asks the main window to save
// the shown day and load the new one.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>

#include "util/wtypes.h"

class QKeyEvent;

namespace wendul {

class TmuDateEdit;
class TmuPanel;
class KeyPreview;

// Which of the program's windows was activated last: 0 the main window,
// 1 the date window, 3 the global-search window. The find dialogs give
// the focus back by it.
int& ActiveWindowMarker();

class TfmWordDate : public QWidget {
  Q_OBJECT
 public:
  explicit TfmWordDate(QWidget* parent = nullptr);
  ~TfmWordDate() override;

  TmuDateEdit* edDateEdit = nullptr;
  TmuPanel* pnKwd = nullptr;
  QTimer* TimerStartUp = nullptr;

  // Set by the creator before the start-up timer runs.
  bool LogMode = false;
  std::string DateOption;   // text of option D
  std::string SettingsPath;
  // The change of the date: the main window saves and loads the day.
  std::function<void()> OnDayChange;
  // After the first date: the main window and its document take the focus.
  std::function<void()> OnStarted;
  // Keys of this window, passed to the main window's handlers.
  std::function<void(QKeyEvent*)> KeyDown, KeyUp;

  TDateTime Date() const;  // the date last chosen
  void SetDate(TDateTime day);  // loads the day (the change event runs)
  // The document's length in bytes, shown in pnKwd.
  void ShowLength(int64_t bytes);

  void TimerStartUpTimer();

 protected:
  void closeEvent(QCloseEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  KeyPreview* keys_ = nullptr;
};

// The date window while it exists (log mode only), else nullptr.
extern TfmWordDate* fmWordDate;

}  // namespace wendul
