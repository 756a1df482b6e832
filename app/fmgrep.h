// The global-search window. It is created at start-up after the main window;
// the search itself comes with the log-mode features.
#pragma once

#include <QWidget>

namespace wendul {

class TfmGrep : public QWidget {
  Q_OBJECT
 public:
  explicit TfmGrep(QWidget* parent = nullptr);
  bool GrepRunning = false;
};

extern TfmGrep* fmGrep;

}  // namespace wendul
