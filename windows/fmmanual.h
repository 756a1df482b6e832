// TfmManual "Wendulクイックガイド": shows the guide file shipped with the
// program, read-only. One at a time: the open flag says whether it exists.
#pragma once

#include <QMainWindow>
#include <string>

class QAction;
class QPlainTextEdit;

namespace wendul {

class TfmManual : public QMainWindow {
  Q_OBJECT

 public:
  // Loads the guide from `path`; an administrator's guide is an ordinary
  // window, anyone else's stays on top.
  TfmManual(const std::string& path, bool admin, QWidget* parent = nullptr);
  ~TfmManual() override;

  // True from creation until the window closes.
  static bool IsOpen();

  QPlainTextEdit* mmManual = nullptr;
  QAction* Close1 = nullptr;

 protected:
  void closeEvent(QCloseEvent* e) override;
};

}  // namespace wendul
