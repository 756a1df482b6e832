// The global-search window: the search word as its caption, a button that
// stops the search and one that closes the window, the file being searched,
// and the result grid on "GREP.DB" (one row per day with a hit). It is
// created at start-up in every mode and stays hidden until the first global
// search; in log mode its start-up timer creates the date window.
#pragma once

#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace wendul {

class TmuPanel;
class TmuDBGrid;
class KeyPreview;

class TfmGrep : public QWidget {
  Q_OBJECT
 public:
  explicit TfmGrep(QWidget* parent = nullptr);

  QPushButton* btAboatGrep = nullptr;  // "中止"
  QPushButton* btTest = nullptr;       // "閉じる (&C)"
  TmuPanel* pnPFName = nullptr;        // the file being searched
  TmuDBGrid* mgMuKwd = nullptr;        // the results
  QTimer* TimerStartUp = nullptr;

  // True while a global search runs; "中止" and ESC clear it.
  bool GrepRunning = false;

  // Height and top as the main window's, the grid filling the rest.
  void Prepare(int height, int top, const QString& caption);
  void SetRunningLook(bool running);  // red while searching
  void ShowProgress(const QString& path);

 protected:
  void changeEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void TimerStartUpTimer();
  KeyPreview* keys_ = nullptr;
};

extern TfmGrep* fmGrep;

}  // namespace wendul
