// TFindDialog: the find dialog of the search commands. Modeless; the user
// only enters the text (the search always runs downwards, case and whole
// words are not asked).
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace wendul {

class TFindDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TFindDialog(QWidget* parent = nullptr);

  QString FindText() const;
  void SetFindText(const QString& text);
  // Shows the dialog at pos (screen coordinates), its text selected.
  void Execute(const QPoint& pos);

  QLineEdit* edFindText = nullptr;
  QPushButton* btFindNext = nullptr;
  QPushButton* btCancel = nullptr;

 signals:
  void OnFind();
  void OnClose();

 protected:
  void done(int r) override;
};

}  // namespace wendul
