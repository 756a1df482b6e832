// Push button and radio group of the component library.
#pragma once

#include <QGroupBox>
#include <QPushButton>
#include <QString>

#include "controls/inipersist.h"

namespace wendul {

// A push button whose caption wraps onto several lines when it is long.
// With IsSkipClick the left mouse button never reaches the standard button
// handling (no pressed look, no focus); releasing it calls the click
// handlers directly. Keyboard activation is unchanged.
class TmuButton : public QPushButton {
  Q_OBJECT

 public:
  explicit TmuButton(QWidget* parent = nullptr);
  TmuButton(const QString& caption, QWidget* parent);

  QString VName;
  bool IsSkipClick = false;

  QSize sizeHint() const override;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
};

// A group of radio buttons that knows which one is checked (CheckedName,
// the checked button's object name; radio buttons keep it current). With
// IsIni set it keeps that name in the settings file. A stored name that
// matches none of its buttons is not taken: the button the form checked
// stays checked and its name is what the group holds and writes back, so
// the group never claims a choice that no button shows.
class TmuGroupBox : public QGroupBox, public IniPersisted {
  Q_OBJECT

 public:
  explicit TmuGroupBox(QWidget* parent = nullptr);
  TmuGroupBox(const QString& caption, QWidget* parent);
  ~TmuGroupBox() override;

  QString CheckedName;
  int NX = 2, NY = 2;  // kept with the form, no effect on layout

 protected:
  void DoLoadIni() override;
  void DoStoreIni(std::vector<IniEntry>& out) override;
  const QObject* IniObject() const override { return this; }
};

}  // namespace wendul
