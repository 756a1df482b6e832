// TfmMail: the mail viewer of log mode. The upper grid lists the mail records
// of the day shown in the main window (a table filled by another program,
// following the day table), the memo below shows the text of the chosen one.
// F4 closes the viewer and F5 opens the address on the memo's caret line,
// also with Shift, Ctrl or Alt held.
#pragma once

#include <QWidget>
#include <functional>

namespace wendul {

class MT;
class TDataSource;
class TFuncBtn;
class TmuDBGrid;
class TmuDBMemo;

class TfmMail : public QWidget {
  Q_OBJECT

 public:
  // The mail table and its data source; the table is set up (folder, file,
  // master) by the caller and opened here unless another viewer has it open.
  TfmMail(MT& table, TDataSource* source, QWidget* parent = nullptr);
  ~TfmMail() override;

  // Viewers that exist now: the table closes with the last one.
  static int OpenCount();

  TmuDBGrid* mgMailList = nullptr;
  TmuDBMemo* edMailDoc = nullptr;
  TFuncBtn* FBtn = nullptr;
  // F5 "JUMP": opens the address written on the memo's caret line. Set by
  // whoever creates the viewer (it knows how to hand an address to the desktop).
  std::function<void(TmuDBMemo*)> OpenURLAtCaret;

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void BuildColumns();

  MT& table_;
  bool closed_ = false;
};

}  // namespace wendul
