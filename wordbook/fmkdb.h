// TfmKDB "単語帳": the maintenance window of the word table. It lists every
// word with its last-use and registration dates and lets the user correct or
// delete words, switch the order, export the table to a text file, import one,
// empty the table and rebuild its indexes. It works on the main window's word
// table through the same data source as the latest-word pane, so every change
// shows there at once.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

class QFileDialog;

namespace wendul {

class MT;
class TDataSource;
class TmuDBGrid;
class TFuncBtn;

class TfmKDB : public QWidget {
  Q_OBJECT

 public:
  // What the word book works on, given by the window that opens it.
  struct Links {
    MT* table = nullptr;                          // the word table's latest-first view
    TDataSource* source = nullptr;                // its data source
    std::function<void(MT&, bool)> toggleOrder;   // the main window's order switch
    std::function<void()> tableReplaced;          // after an import or emptying: other views re-read
    bool stayOnTop = true;                        // admin level 0
  };

  explicit TfmKDB(Links links, QWidget* parent = nullptr);
  ~TfmKDB() override;

  // The open flag: true while a word book exists.
  static bool IsOpen();

  TFuncBtn* FBtn = nullptr;
  TmuDBGrid* mgMuKwd = nullptr;
  QFileDialog* SaveDialog = nullptr;
  QFileDialog* odaOpenFile = nullptr;
  // Shows a file dialog and gives the chosen file, "" when cancelled.
  std::function<QString(QFileDialog*)> RunFileDialog;

 public slots:
  void FBtn_F01Click();  // toggle the order
  void FBtn_F02Click();  // export
  void FBtn_F03Click();  // import
  void FBtn_F04Click();  // delete every word
  void FBtn_F05Click();  // rebuild the indexes
  void FBtn_F06Click();  // close

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  bool mgMuKwdKeyDown(int key);
  bool StoreEditedWord(int64_t record, const QString& text);

  Links links_;
};

}  // namespace wendul
