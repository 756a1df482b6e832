// TmuForm: the base of the main window. It passes the application's hint
// (Qt's status tips) to OnAppHint, shows it in the status bar only while
// IsAutoHint is set, announces its destruction, and runs commands: slots
// whose names begin with "Cn" and that take the sender, found by name.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

namespace wendul {

class TmuForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TmuForm(QWidget* parent = nullptr);
  // Emits OnDestroyMU while the child controls still exist.
  ~TmuForm() override;

  // Hints shown in the status bar automatically (true at creation).
  bool IsAutoHint = true;

  // Runs target's command `name` (a slot "Cn..." taking QObject*) with the
  // sender. False when the name does not begin with "Cn" or no such slot
  // exists; only "Cn" slots can be reached, so a name read from the
  // settings file cannot call any other method.
  static bool InvokeCommand(QObject* target, const QString& name, QObject* sender);
  static bool HasCommand(const QObject* target, const QString& name);
  // Every command of target, in declaration order.
  static QStringList CommandNames(const QObject* target);

 signals:
  void OnDestroyMU(wendul::TmuForm* sender);
  void OnAppHint(const QString& hint);

 protected:
  bool event(QEvent* e) override;
};

}  // namespace wendul
