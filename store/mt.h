// MT: the system's table class. A keyed table in one SQLite database file,
// reached by folder and file name, with the cursor semantics of a desktop
// table store: a current record, an index order (by index name or by index
// field names), a "begins with" filter, bookmarks, an edit buffer with the
// states browse / edit / insert, and notifications that data sources follow.
//
// Edit and Append take the file's write lock (a write transaction); Post
// commits it and Cancel rolls it back. So a table locked by another process
// makes Edit fail, which is what muEdit's retry waits for. A write batch
// (BeginBatch/EndBatch, or MTBatch) gathers the posts of many records into
// one transaction: one commit instead of one per record.
//
// Layout declarations (AddFieldDef), used to create a missing file:
//   "NAME,A,n"  text of at most n bytes (longer text is cut at a character
//               boundary, never inside a double-byte character)
//   "NAME,M"    text without size limit (memo)
//   "NAME,N"    number (floating point)
//   "NAME,@"    date-time (day count; cleared = NULL)
//   "NAME,P"    primary key on NAME (several fields: "A;B,P"), unique
//   "NAME,i"    secondary index "IDX_" + NAME, descending, case-insensitive
// Text is kept as bytes. The primary key orders it by bytes (Shift-JIS byte
// order); secondary indexes (declared or added by AddSecIndex) fold the ASCII
// letters where a character starts, so a, B, c sort as c, B, a, and FindKey
// on them ignores that case. An empty text field is NULL, except in a field
// of the primary key, where it is empty text: one empty key at most.
// Navigating, moving to another index or filter, Refresh and Append/Insert
// first post a pending modified edit (or cancel an unmodified one); Close
// cancels it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/wtypes.h"

namespace wendul {

// One entry of an engine error, filled from SQLite's result codes.
struct DBErrorEntry {
  std::string message;
  int category = 0;         // primary SQLite result code
  uint32_t errorCode = 0;   // extended SQLite result code
  uint32_t subCode = 0;     // extended code >> 8 (the refinement of the primary code)
  uint32_t nativeCode = 0;  // errno-like system code when SQLite has one, else 0
};

// Error raised by every store operation that fails in the engine.
// It carries the engine's own entries only; which table failed is told by
// whoever reports it (the error log names the table).
class EDBEngineError : public std::runtime_error {
 public:
  EDBEngineError(const std::string& message, std::vector<DBErrorEntry> entries)
      : std::runtime_error(message), errors(std::move(entries)) {}
  std::vector<DBErrorEntry> errors;
};

enum class DataSetState { Inactive, Browse, Edit, Insert };

// What a data source hears from its table (nothing while controls are disabled).
enum class DataEvent {
  RecordMoved,      // First/Last/Next/Prior/FindKey/GotoBookmark moved (same data)
  DataChanged,      // content, order, filter or master changed (Open, Close, Post,
                    // Append/Insert, Cancel of an insertion, Delete, Refresh, index,
                    // filter): re-read everything shown
  RecordChanged,    // a field of the edit buffer was set
  StateChanged,     // Inactive / Browse / Edit / Insert changed (Open, Close, Edit,
                    // Append/Insert, Post, Cancel)
  ControlsEnabled,  // EnableControls brought the count back to 0: re-read everything
};

class MTListener {
 public:
  virtual ~MTListener() = default;
  virtual void TableEvent(class MT& table, DataEvent event) = 0;
};

// A position in a table: the SQLite rowid of a record.
using Bookmark = int64_t;

// One field value as the store holds it.
struct FieldValue {
  enum class Kind { Null, Text, Number, DateTime } kind = Kind::Null;
  SjisString text;   // Text
  double number = 0; // Number, DateTime

  static FieldValue Of(const SjisString& t) { return {Kind::Text, t, 0}; }
  static FieldValue OfNumber(double v) { return {Kind::Number, {}, v}; }
  static FieldValue OfDate(TDateTime v) { return {Kind::DateTime, {}, v}; }
  bool IsNull() const { return kind == Kind::Null; }
};

// One field of an open table's layout.
struct FieldInfo {
  std::string name;
  char type = 'A';                              // 'A', 'M', 'N' or '@' as declared
  int size = 0;                                 // bytes for 'A', else 0
  FieldValue::Kind kind = FieldValue::Kind::Text;  // Text, Number or DateTime
};

// A record read for display (grids): its bookmark and its values in field order.
struct RowView {
  Bookmark bookmark = 0;
  std::vector<FieldValue> values;
};

class MT {
 public:
  explicit MT(std::string componentName = {});
  ~MT();
  MT(const MT&) = delete;
  MT& operator=(const MT&) = delete;

  // --- properties -------------------------------------------------------
  std::string Name;        // component name, used in log texts
  bool AutoClose = true;   // close (without commit) on destruction
  bool Silent = false;     // failures of Op, muEdit, muPost neither log nor show
  // Open the file for reading only (set while closed). A file that cannot
  // even be read the usual way (a read-only file system, where the engine
  // cannot make its shared-memory file) is then read as unchanging.
  bool ReadOnly = false;

  // Folder and file name; changing them while open raises EDBEngineError.
  // Folder of the file, a file-system name (UTF-8; '/' or '\\' separates).
  void SetDatabaseName(const std::string& folder);
  const std::string& DatabaseName() const;
  void SetTableName(const std::string& fileName);   // e.g. "KWD.DB"
  const std::string& TableName() const;
  std::string FilePath() const;                      // folder + file name

  // Switching the index keeps the current record.
  void SetIndexName(const std::string& indexName);        // "" = primary key
  std::string IndexName() const;
  void SetIndexFieldNames(const std::string& fieldNames); // e.g. "KEYWORD", "CDATE"
  std::string IndexFieldNames() const;

  // Filter text of the form FIELD='value' or FIELD='prefix*'. Rejected filters
  // raise EDBEngineError when they are set while filtering is on, or when
  // filtering is switched on.
  void SetFilter(const std::string& filter);
  const std::string& Filter() const;
  void SetFiltered(bool on);
  bool Filtered() const;

  // Master-detail: records whose detailField (default: the same name as
  // masterField) equals the master's current value of masterField; follows the
  // master's moves (then goes to the first record). nullptr unlinks. A closed
  // or empty master leaves the detail empty.
  void SetMasterSource(MT* master, const std::string& masterField,
                       const std::string& detailField = {});

  // --- open / close (raw: raise EDBEngineError) --------------------------
  // Open creates a missing file from the layout declarations when there are any.
  // A damaged page met while finding the first record does not stop it: the
  // table opens without a current record, so what can be read still can be
  // (an export, a rebuild).
  void Open();
  // The same, but no step of it waits longer than a moment (a few
  // milliseconds) for a file another program holds: an open retried while
  // the user types. Once open, the table waits as usual.
  void OpenBriefly();
  void Close();
  bool Active() const;
  DataSetState State() const;

  // --- navigation --------------------------------------------------------
  void First();
  void Last();
  void Next();
  void Prior();
  bool Eof() const;
  bool Bof() const;
  bool IsEmpty();                      // no record passes filter / range
  int64_t RecordCount();               // every record that passes
  int64_t CountAtMost(int64_t limit);  // min(RecordCount(), limit), without counting past limit
  // Key lookup on the fields of the current index (the primary key, or
  // "KEYWORD", "CDATE", ...), the first n fields for n values, within the
  // filter: true when found, and the record becomes current; otherwise the
  // current record is unchanged. The text form converts the text to the first
  // index field's type (a date-time field reads "yyyy/mm/dd[ hh:nn:ss]").
  bool FindKey(const std::vector<FieldValue>& key);
  bool FindKey(const SjisString& textKey);
  Bookmark GetBookmark() const;        // 0 when there is no current record
  bool BookmarkValid(Bookmark b);
  // Whether the current record is still in the file with the primary key it
  // had when it became current (another program may have deleted it, or its
  // id may hold another record now).
  bool RecordUnchanged();
  void GotoBookmark(Bookmark b);
  void Refresh();                      // re-read the current record from the file

  // --- editing -----------------------------------------------------------
  // Edit takes the write lock at once or raises (SQLITE_BUSY), then re-reads
  // the current record into the buffer; without a current record it raises.
  // Record ids are reused (after an import or an emptying elsewhere): Edit
  // and Delete act only while the record still holds the primary key it had
  // when it became current, and raise otherwise (IsRecordChanged).
  // Append/Insert take the lock with an empty buffer (Append shows it after
  // the last row, Insert before the current one). Post writes and commits; a
  // failed Post raises and keeps the state and the lock until Cancel, which
  // rolls back. Post and Cancel in browse state do nothing. Delete removes the
  // current record (raises without one; cancels an insertion) and moves to
  // the next record, or the one before at the end.
  void Edit();
  void Append();
  void Insert();
  void Post();
  void Cancel();
  void Delete();

  bool Modified() const;               // a field was set since Edit/Append/Insert

  // --- write batches -----------------------------------------------------
  // A burst of posts (the words of one keystroke) as one transaction.
  // Nestable by count; only the outermost EndBatch acts. While a batch is open:
  //  * the first Edit/Append/Insert/Delete takes the write lock (and fails at
  //    once, as outside a batch, when it is held elsewhere: the next write
  //    tries again); the lock is then kept until the batch ends;
  //  * Post keeps its record's change without committing; a failed Post keeps
  //    the state as outside a batch, and Cancel undoes only the current
  //    record's change, never the records posted before it;
  //  * other connections see the batch's records once it ends, and their
  //    writes fail while it holds the lock: keep message processing (muEdit's
  //    retry, progress windows) out of a batch.
  // EndBatch first ends a pending edit as navigating does (posts it when
  // modified, else cancels it), then commits. When the commit fails, or the
  // engine dropped the transaction on the way (disk full, I/O error), what the
  // batch wrote is rolled back and EndBatch raises EDBEngineError. Close inside
  // a batch cancels a pending edit and commits what was posted. A kill at any
  // moment leaves the file as it was before the batch or after it.
  void BeginBatch();
  void EndBatch();
  int BatchDepth() const;

  // Copies the write-ahead log back into the table file (passive: waits for
  // no reader or writer) unless a transaction is open on this table. Costs
  // next to nothing when nothing waits to be copied; meant for an idle timer,
  // so the copy and its disk flushes stay off the keystroke path (the engine's
  // own copy then seldom runs). True when the log is fully copied; false when
  // closed, inside a transaction, or when readers kept part of it.
  bool CheckpointIfIdle();

  // The file's log is copied back, and started over, on a thread of its own
  // (shared by every table on the file that asks for it), never inside a
  // commit of this table: the engine's own copies and the disk flushes they
  // bring stay off the thread that writes (mt_logkeeper.h). Set before Open.
  void SetBackgroundCheckpoints(bool on);
  // Asks that thread for the copy (meant for an idle timer) and returns at
  // once; without background checkpoints it is CheckpointIfIdle.
  void CheckpointSoon();
  // Waits until the copy asked for is done (tests and benchmarks).
  void WaitForBackgroundCheckpoint();

  // --- fields of the current record (or of the edit buffer) --------------
  // Getters of an open table without a current record give empty values
  // (Null: "" / 0); a closed table or an unknown field raises EDBEngineError.
  const std::vector<FieldInfo>& Fields() const;  // layout of the open table (empty when closed)
  std::vector<std::string> FieldNames() const;
  int FieldIndex(const std::string& name) const;  // -1 when absent
  FieldValue GetField(const std::string& name) const;
  void SetField(const std::string& name, const FieldValue& v);
  // Text of a value: dates as "yyyy/mm/dd hh:nn:ss" ("yyyy/mm/dd" at midnight),
  // numbers as "%.15g", empty for NULL.
  SjisString FieldAsString(const std::string& name) const;

  SjisString GS(const std::string& field) const;
  int32_t GI(const std::string& field) const;
  TDateTime GD(const std::string& field) const;
  void SS(const std::string& field, const SjisString& value);
  void SI(const std::string& field, int32_t value);
  void SD(const std::string& field, TDateTime value);

  // --- the component's own operations ------------------------------------
  bool Op();
  bool Cl(bool commit);
  void Cmt();
  bool muEdit();
  bool muPost();
  void EmptyT();
  void AddFieldDef(const std::string& declaration);
  const std::vector<std::string>& FieldDefs() const;
  void AddSecIndex(const std::string& indexName, const std::string& fieldNames);
  void AddPrimaryIndex(const std::string& fieldNames);
  bool SkipNext(int n);  // always true
  bool SkipPrior(int n);
  void muShowExceptionError(const std::exception& e, const SjisString& text, bool show);
  // The text Op, muEdit and muPost log for a failure of `method`:
  // "Error_Message:", "Method_Name:", "Self.Name:" and "Self.TableName:" with
  // the table's path (in the system code page) on one line each.
  SjisString FailureText(const std::exception& e, const std::string& method) const;
  // Writes FailureText to the error log unless Silent; never shows anything.
  void LogFailure(const std::exception& e, const std::string& method);
  // Writes where storing a record writes, and takes it back: `row` (values in
  // field order) inserted into the data table and its indexes, replacing a
  // record of the same key, inside a transaction that is rolled back. Raises
  // the engine's error when that write fails now (read-only, locked
  // elsewhere, disk full, a damaged page on the way). Waits at most a few
  // milliseconds for anything, so an idle timer can run it while the user
  // types. Only in browse state outside a batch.
  void ProbeWrite(const std::vector<FieldValue>& row);

  // --- data sources ------------------------------------------------------
  void AddListener(MTListener* l);
  void RemoveListener(MTListener* l);
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const;

  // Rows around the current record in the current order and filter, for
  // display: up to `before` rows before it, the current one, up to `after`
  // after it. *currentIndex receives the current row's index in the result
  // (-1 when there is no current record). The current record does not move.
  std::vector<RowView> RowsAround(int before, int after, int* currentIndex);
  // Rows starting from a bookmark (included) going forward (count > 0) or
  // backward (count < 0, the rows ending at it), in display order. Bookmark 0
  // starts at the first (count > 0) or the last (count < 0) record; a bookmark
  // whose record no longer exists gives no rows. The current record does not move.
  std::vector<RowView> RowsFrom(Bookmark from, int count);
  // Every record that passes the filter, for work on a whole table (exports),
  // through a connection of its own and from one consistent snapshot of the
  // file (store/mt_bulk.cpp). `each` gets the records in storage order, which
  // reads quickly (the same RowView, refilled; false stops, and the result is
  // then empty); the result lists them in the current order as indexes into
  // that sequence (0 = the first record `each` got). The current record does
  // not move. A damaged file is read as far as it can be: the records on
  // damaged pages are passed over, the result is then the storage order, and
  // *damaged (when given) is set.
  std::vector<uint32_t> ReadAllRecords(const std::function<bool(const RowView&)>& each, bool* damaged = nullptr);

  struct Impl;  // internal (store/mt_internal.h)

 private:
  std::unique_ptr<Impl> d;
};

// Scope of a write batch. The destructor ends the batch, also when an
// exception leaves the scope: a pending edit is then cancelled and what was
// posted is committed; a failed commit is written to the error log (unless the
// table is silent) instead of being raised. End() ends it early and raises
// when the commit fails.
class MTBatch {
 public:
  explicit MTBatch(MT& table);
  ~MTBatch();
  MTBatch(const MTBatch&) = delete;
  MTBatch& operator=(const MTBatch&) = delete;
  void End();

 private:
  MT* table_;
  int exceptions_;
};

// Folder where the error log lives ("TABLE/ERROR_LOG.TXT" below it): the data
// folder. Set once at start-up; tests point it at a temporary folder.
// Until it is set the log goes to "TABLE/ERROR_LOG.TXT" below the current folder.
void SetErrorLogBase(const std::string& folderWithSlash);
std::string ErrorLogPath();

// Classifies a store error for callers that treat some kinds apart (import).
bool IsKeyViolation(const std::exception& e);  // duplicate primary key
bool IsTableFull(const std::exception& e);     // disk or database full
bool IsLockError(const std::exception& e);     // write lock held elsewhere (busy)
bool IsCorrupt(const std::exception& e);       // a damaged page or file
bool IsInterrupted(const std::exception& e);   // a long statement was cancelled (MTLoad::OnStep)
bool IsReadOnlyError(const std::exception& e); // the file cannot be written (mode, file system)
bool IsRecordChanged(const std::exception& e); // Edit/Delete: the record was deleted or holds another key

}  // namespace wendul
