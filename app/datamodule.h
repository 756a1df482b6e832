// The data module: owns every table of the system and one data source per
// table, from the first step of start-up to the end of the program.
#pragma once

#include <QObject>

#include "store/mt.h"

namespace wendul {

class TDataSource;

class TD : public QObject {
  Q_OBJECT
 public:
  explicit TD(QObject* parent = nullptr);  // runs DCreate
  ~TD() override;                          // runs DDestroy

  MT tbMuKwd{"tbMuKwd"};    // word table, latest-first view
  MT tbMuKwd2{"tbMuKwd2"};  // word table, prefix-filtered view
  MT tbGrep{"tbGrep"};      // global-search results
  MT tbMuLog{"tbMuLog"};    // day-log table (log mode)
  MT tbMuLog2{"tbMuLog2"};  // mail records of the shown day

  TDataSource* dsMuKwd = nullptr;
  TDataSource* dsMuKwd2 = nullptr;
  TDataSource* dsGrep = nullptr;
  TDataSource* dsMuLog = nullptr;
  TDataSource* dsMuLog2 = nullptr;

  void DCreate();
  void DDestroy();
  void dsMuKwdDataChange(TDataSource* sender);

  // The folder and file of the word table chosen in DCreate.
  std::string KwdFolder() const;

  // Opens whichever word view is closed. A failure is written to the error
  // log (never shown) and kept below; the views then stay closed. A table
  // that cannot be written (a read-only file or file system) is opened for
  // reading: the panes show its words, exports work, learning pauses.
  // briefly: no wait longer than a moment for a file held elsewhere (a retry
  // while the user types).
  bool OpenWordTables(bool briefly = false);
  // The views were opened for reading because the file could not be written.
  bool WordTableReadOnly = false;
  // The word book is putting a new file in place: nothing opens or writes
  // the word table until it is done.
  bool WordTableHeld = false;
  std::string WordTableError;  // the store's message of the last failed open, empty after a success
  int WordTableCategory = 0;   // its engine category
};

extern TD* D;

// Layout declarations of the word table, in declaration order.
void DeclareWordTable(MT& table);

}  // namespace wendul
