// The progress of a long export or import: a count, a bar and a cancel
// button, shown once the work has taken a moment. It is modal over the whole
// application, so nothing else writes to the table meanwhile, and lets the
// windows repaint as it goes.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdint>

class QProgressDialog;
class QWidget;

namespace wendul {

class TExchangeProgress {
 public:
  // unit: what is counted ("件", "行"); total: the bar's end (0: none).
  TExchangeProgress(QWidget* owner, const QString& title, const QString& unit, int64_t total);
  ~TExchangeProgress();
  TExchangeProgress(const TExchangeProgress&) = delete;
  TExchangeProgress& operator=(const TExchangeProgress&) = delete;

  // Shows count (and the bar at `done` of the total); false once cancelled.
  bool Step(int64_t count, int64_t done);
  bool Cancelled() const;
  // Another stage of the work: its title and the bar's end (0: none).
  void SetStage(const QString& title, int64_t total);
  // From here on the work cannot be stopped: the cancel button greys (the
  // stage's title says why).
  void NoCancel();
  QProgressDialog* Dialog() const { return dialog_; }

 private:
  QProgressDialog* dialog_;
  QString unit_;
  int64_t total_;
  QElapsedTimer sinceShown_;  // since the count was last shown
  QElapsedTimer sinceStart_;
  bool cancellable_ = true;
};

// The hourglass while long work runs on the window's thread.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace wendul
