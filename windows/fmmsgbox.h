// A small stay-on-top window that lists progress lines, used while the words
// of a selection are registered.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "util/wtypes.h"

namespace wendul {

class TfmMsgBox : public QDialog {
  Q_OBJECT
 public:
  explicit TfmMsgBox(QWidget* parent = nullptr);

  QPlainTextEdit* mmMessage;
  QPushButton* btClose;
  QLabel* Label1;

  // Progress callback: let pending events run, show the counter (and the
  // label, hidden until it holds one), add the line.
  void Progress(const SjisString& counter, const SjisString& line);
};

}  // namespace wendul
