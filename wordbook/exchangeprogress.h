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
  QProgressDialog* Dialog() const { return dialog_; }

 private:
  QProgressDialog* dialog_;
  QString unit_;
  int64_t total_;
  QElapsedTimer sinceShown_;  // since the count was last shown
  QElapsedTimer sinceStart_;
};

}  // namespace wendul
