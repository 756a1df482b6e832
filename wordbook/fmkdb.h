// TfmKDB "単語帳": the maintenance window of the word table. It lists every
// word with its last-use and registration dates and lets the user correct or
// delete words, switch the order, export the table to a text file, import one,
// empty the table, rebuild it and restore a backup. It works on the main
// window's word table through the same data source as the latest-word pane,
// so every change shows there at once; the similar-word pane hears of every
// change through Links::tableChanged.
//
// Whatever replaces the whole table (import, delete all, restore) asks first,
// naming how many words are replaced by how many, and keeps a backup of the
// table before; the restore command (F7) puts one back.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "util/wtypes.h"

class QFileDialog;

namespace wendul {

class MT;
class TDataSource;
class TmuDBGrid;
class TFuncBtn;
struct TableBackup;

class TfmKDB : public QWidget {
  Q_OBJECT

 public:
  // What the word book works on, given by the window that opens it.
  struct Links {
    MT* table = nullptr;                          // the word table's latest-first view
    TDataSource* source = nullptr;                // its data source
    std::function<void(MT&, bool)> toggleOrder;   // the main window's order switch
    // Before a restore or a rebuild puts a new file in place: every view of
    // the word table closes, and nothing opens one until tableChanged.
    std::function<void()> releaseTable;
    // After every change the word book made (a word edited or deleted, an
    // import, an emptying, a restore, a rebuild): closed views open again and
    // the others read the file anew.
    std::function<void()> tableChanged;
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
  // Lets the user pick the backup to restore (newest first); -1 when cancelled.
  std::function<int(const std::vector<TableBackup>&)> ChooseBackup;

 public slots:
  void FBtn_F01Click();  // toggle the order
  void FBtn_F02Click();  // export
  void FBtn_F03Click();  // import
  void FBtn_F04Click();  // delete every word
  void FBtn_F05Click();  // rebuild the indexes
  void FBtn_F06Click();  // close
  void FBtn_F07Click();  // restore a backup

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  bool mgMuKwdKeyDown(int key);
  bool StoreEditedWord(int64_t record, const QString& shown, const QString& text);
  // The commands that replace the whole table (fmkdb_safe.cpp).
  // Keeps a backup before the table is replaced; false (said) when none could be made.
  bool KeepBackup(const char* reason, const SjisString& what);
  void Changed();
  int ShowBackupChooser(const std::vector<TableBackup>& backups);

  Links links_;
};

}  // namespace wendul
