// The application object: an error that escapes an event handler or a slot
// reaches the application's standard error display instead of ending the
// program.
#pragma once

#include <QApplication>
#include <exception>

namespace wendul {

class TApplication : public QApplication {
  Q_OBJECT
 public:
  TApplication(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* e) override;
};

// The standard error display: a box captioned "Wendul" with the error's text
// (nullptr: an error of unknown kind). While one is up, further errors only
// go to standard error, so a failing repaint cannot pile up boxes.
void ShowException(const std::exception* e);

}  // namespace wendul
