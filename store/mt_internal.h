// Internals of MT shared by its source files: the SQLite connection, the
// layout read from the file, the cursor and the statement cache.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/mt.h"
#include "store/mt_logkeeper.h"

namespace wendul::mtimpl {

// Name of the data table inside every table file, and of its rowid alias.
inline constexpr const char* kDataTable = "T";
inline constexpr const char* kIdColumn = "mt_id";
inline constexpr const char* kPrimaryIndexSql = "mt_pk";
inline constexpr const char* kSecondaryPrefixSql = "mtx_";
// How long a read waits for a file held exclusively for a moment elsewhere.
inline constexpr int kReadWaitMs = 200;
// How long taking the write lock waits for another program's write (a second
// Wendul storing the words of one keystroke holds it for a few milliseconds).
// A lock held for longer still fails soon: the editor never stalls on it.
inline constexpr int kWriteWaitMs = 150;
// How long the idle write probe and a brief open (MT::OpenBriefly) wait for
// anything: less than a frame.
inline constexpr int kProbeWaitMs = 4;
// Extended code of "the record changed under the cursor" (IsRecordChanged).
inline constexpr int kRecordChangedCode = SQLITE_NOTFOUND | (1 << 8);
// Marks a file as an MT table file.
inline constexpr int kApplicationId = 0x57444c31;  // "WDL1"
// Collation of the secondary indexes' text fields: bytes, with ASCII letters
// folded where a character starts (registered on every connection).
inline constexpr const char* kCaselessCollation = "mt_nocase";

struct IndexDef {
  std::string name;       // "" for the primary key
  std::vector<int> cols;  // field positions
  bool primary = false;
  bool descending = false;
  // Text fields ordered case-insensitively (secondary indexes). A file made
  // before they were has byte-ordered ones until it can be written once.
  bool caseless = false;
};

// A record as read from the file.
struct Row {
  int64_t id = 0;
  std::vector<FieldValue> vals;
};

// A value bound to a statement parameter.
struct Bind {
  enum class K { Null, Blob, Real, Int } k = K::Null;
  std::string blob;
  double real = 0;
  int64_t i = 0;
  static Bind Of(const FieldValue& v);
  static Bind Id(int64_t id) { Bind b; b.k = K::Int; b.i = id; return b; }
};

// The part of every query that selects which records pass (filter, master link).
struct Constraint {
  std::string sql;          // e.g. "\"KEYWORD\" >= ? AND \"KEYWORD\" < ?"
  std::string sqlNoIndex;   // the same test, written so no index serves it
  std::vector<Bind> binds;
};

// Parsed layout declarations.
struct Layout {
  std::vector<FieldInfo> fields;
  std::vector<IndexDef> indexes;
};

// Error helpers: every failure leaves as EDBEngineError. The path says which
// table failed to the reader of this code; the error itself carries only the
// engine's entry (the error log names the table).
[[noreturn]] void ThrowStore(int code, const std::string& message, const std::string& path = {});
[[noreturn]] void ThrowSqlite(sqlite3* db, int rc, const std::string& path);

std::string Quote(const std::string& identifier);  // "name" (names are validated)
bool ValidName(const std::string& name);
std::vector<std::string> SplitFieldList(const std::string& list);  // "A;B" -> {A, B}
bool SameName(const std::string& a, const std::string& b);          // ASCII case-insensitive

// Field positions of "A;B" in fields; raises for an unknown field.
std::vector<int> ResolveFields(const std::vector<FieldInfo>& fields, const std::string& list,
                               const std::string& path);
std::string JoinFieldNames(const std::vector<FieldInfo>& fields, const std::vector<int>& cols);

// Parses declarations into a layout; raises on a malformed one.
Layout ParseDeclarations(const std::vector<std::string>& decls, const std::string& path);

// Reads "yyyy/mm/dd[ hh:nn[:ss]]"; false when the text is not such a date.
bool ParseDateText(const std::string& text, TDateTime* out);

// Cuts text to at most max bytes without splitting a double-byte character.
SjisString CutToSize(const SjisString& text, size_t max);

// How a field takes part in an order: the field itself, or for a text field of
// a case-insensitive index its text under kCaselessCollation (the expression
// that index is built on), and how a value is compared with it.
std::string OrderTerm(const FieldInfo& f, bool caseless);
const char* OrderParam(bool caseless);  // "?", or "CAST(? AS TEXT)"

// A connection to one table file with its layout loaded.
class Connection {
 public:
  ~Connection();
  // Opens the file for reading only, as damaged as it may be: nothing is
  // checked or read yet, and the layout is left empty for the caller.
  void OpenDamaged(const std::string& path);
  // Opens path; a missing file is created (with its folder) from decls when
  // there are any, else raises. Read-only: never creates, never writes.
  // extraFlags are added to the open flags (SQLITE_OPEN_NOMUTEX for a
  // connection one routine uses alone).
  void Open(const std::string& path, const std::vector<std::string>& decls, bool readOnly = false,
            int extraFlags = 0);
  void Close();
  // How long a read (and the open's own writes) may wait for a file held
  // elsewhere for a moment: kReadWaitMs unless set (kept across opens).
  void SetReadWait(int ms);
  sqlite3* db() const { return db_; }
  const std::string& path() const { return path_; }
  const Layout& layout() const { return layout_; }
  Layout& layout() { return layout_; }

  void Exec(const char* sql);
  sqlite3_stmt* Prepare(const std::string& sql);  // cached, reset before return
  void Bind(sqlite3_stmt* s, const std::vector<mtimpl::Bind>& binds);
  [[noreturn]] void Fail(int rc);
  void ReloadLayout();
  // Creates (or replaces) an index and records it; inside a write transaction.
  void WriteIndex(const IndexDef& idx);

  // Write transaction: BEGIN IMMEDIATE without waiting.
  void Begin(int waitMs = kWriteWaitMs);
  void CheckLayout(const Layout& declared);
  void Commit();
  void Rollback();
  bool InTransaction() const;

 private:
  void OpenAs(const std::string& path, const std::vector<std::string>& decls, bool readOnly, bool immutable,
              int extraFlags);
  void CreateSchema(const Layout& layout);
  void UpgradeIndexes();
  sqlite3* db_ = nullptr;
  std::string path_;
  Layout layout_;
  int readWait_ = kReadWaitMs;
  std::unordered_map<std::string, sqlite3_stmt*> stmts_;
};

// Resets a statement when it goes out of scope, so no read stays open.
class StmtScope {
 public:
  explicit StmtScope(sqlite3_stmt* s) : s_(s) {}
  ~StmtScope() { sqlite3_reset(s_); }
  sqlite3_stmt* get() const { return s_; }
  StmtScope(const StmtScope&) = delete;
  StmtScope& operator=(const StmtScope&) = delete;

 private:
  sqlite3_stmt* s_;
};

FieldValue ReadValue(sqlite3_stmt* s, int col, FieldValue::Kind kind);

// Reads the data table's records with an id above `after`, in id order, the
// way a damaged file still can be read: a damaged page ends a read, and the
// read goes on from the first id past the damage that can be reached again.
// So a damaged index page costs nothing and a damaged data page only the
// records on it. `where` (", AND ..." form: " AND (...)") and its binds narrow
// the records. `each` gets every record read; false stops.
struct SalvageCounts {
  int64_t rows = 0;         // records passed to `each`
  int64_t damagedRuns = 0;  // damaged stretches passed over
  bool stopped = false;     // `each` said stop
  // The damaged stretches: every id strictly between first and second was
  // passed over (second is INT64_MAX when the damage reached the end).
  std::vector<std::pair<int64_t, int64_t>> gaps;
};
SalvageCounts SalvageRows(Connection& c, const std::vector<FieldInfo>& fields, int64_t after,
                          const std::string& where, const std::vector<Bind>& binds,
                          const std::function<bool(const Row&)>& each);

// The records of damaged stretches (`gaps` as SalvageRows gives them) as the
// data table's indexes still hold them, in id order: an index keeps its
// fields with each record's id, and a scan of the index alone reads no data
// page. A record keeps the fields some sound index holds; the others are
// empty. A damaged index gives what it gives before its damage.
std::vector<Row> RowsFromIndexes(Connection& c, const std::vector<FieldInfo>& fields,
                                 const std::vector<std::pair<int64_t, int64_t>>& gaps);

}  // namespace wendul::mtimpl

namespace wendul {

struct MT::Impl {
  explicit Impl(MT* owner) : self(owner) {}
  MT* self;
  std::string folder;
  std::string tableName;
  std::vector<std::string> decls;
  mtimpl::Connection conn;
  bool active = false;
  std::string selectSql;  // "SELECT mt_id, fields... FROM T"

  // Order as requested (kept while closed) and as resolved on the open file.
  std::string indexName;        // by name ("" = primary)
  std::string indexFieldNames;  // by field names; wins when not empty
  std::vector<int> orderCols;
  std::vector<bool> orderCaseless;  // per order field: text compared by kCaselessCollation
  bool orderDesc = false;

  // Filter as given and as in force.
  std::string filterText;
  bool filtered = false;
  std::optional<mtimpl::Constraint> filterConstraint;
  int filterCol = -1;
  // Whether the filter matches so many records that walking the order's index
  // finds them sooner than sorting them all (decided once per filter and order).
  std::optional<bool> filterDense;
  // A "begins with" filter on a text field: the bytes from which it runs and
  // before which it ends (empty: to the end).
  std::optional<std::pair<std::string, std::string>> filterRange;

  // Master link.
  MT* master = nullptr;
  std::string masterField, detailField;
  std::vector<MT*> details;
  class MasterLink;
  std::unique_ptr<MasterLink> masterLink;

  // Cursor.
  bool hasCur = false;
  mtimpl::Row cur;
  bool bof = true, eof = true;
  DataSetState state = DataSetState::Inactive;

  // Edit buffer.
  std::vector<FieldValue> buf;
  std::vector<bool> changed;
  bool modified = false;
  bool appending = false;       // Insert state reached through Append
  bool hadCurBeforeInsert = false;
  mtimpl::Row beforeInsert;     // current record when Insert/Append began

  // Data sources.
  std::vector<MTListener*> listeners;
  int disableCount = 0;

  // Write batch (mt_batch.cpp).
  int batchDepth = 0;
  int writeWaitMs = mtimpl::kWriteWaitMs;  // muEdit, which retries by itself, takes the lock without waiting
  bool batchTxn = false;      // the open transaction is the batch's
  bool batchLost = false;     // the engine rolled back what the batch wrote
  bool recSavepoint = false;  // the current record's change has its savepoint

  // Background checkpoints (mt_logkeeper.h): asked for, and the keeper while open.
  bool backgroundCheckpoints = false;
  std::shared_ptr<mtimpl::LogKeeper> keeper;

  // --- writes of one record, in or outside a batch (mt_batch.cpp) ---
  // Takes the write lock (outside a batch a transaction of its own, inside a
  // batch the batch's transaction and a savepoint for the record).
  void BeginWrite();
  // The same, unless the record's write is still open (a failed commit or the
  // engine may have ended it).
  void EnsureWrite();
  void EndWrite();    // keeps the record's change: commit, or release its savepoint
  void AbortWrite();  // undoes the record's change only
  // Before the connection closes: a pending record is undone, what the batch
  // posted is committed.
  void SettleBeforeClose();
  // A failed batch commit: the rollback is done; the cursor and views follow.
  void AfterBatchRollback();

  // --- helpers (mt_cursor.cpp) ---
  void CheckActive() const;
  void Notify(DataEvent e);
  int Field(const std::string& name) const;  // raises when absent
  void ResolveOrder();
  void ResolveFilter();
  // The filter and master tests; walkingOrder: as the order's walk wants them.
  std::vector<mtimpl::Constraint> Constraints(bool walkingOrder = false) const;
  std::string SelectList() const;
  // Physical scan of the order (ascending when fwd), from an anchor.
  std::vector<mtimpl::Row> Scan(const mtimpl::Row* anchor, bool fwd, bool inclusive, int limit);
  void BoundByAnchor(const mtimpl::Row& anchor, bool fwd, std::vector<mtimpl::Constraint>& base) const;
  bool LogicalFwd(bool next) const { return next != orderDesc; }
  std::optional<mtimpl::Row> ReadById(int64_t id);
  mtimpl::Row ReadRow(sqlite3_stmt* s) const;
  void SetCurrent(const mtimpl::Row& r);
  void ClearCurrent();
  void GoFirst();
  void GoLast();
  // Keeps the current record if it still exists (and passes the filter),
  // else the nearest after it.
  void Reposition();
  bool Passes(int64_t id);  // the record passes the filter and the master link
  // Whether two rows hold the same primary key (every field without one).
  bool SameKey(const mtimpl::Row& a, const mtimpl::Row& b) const;
  void CheckBrowseMode();
  int64_t Count(int64_t limit);  // limit < 0: no limit
  RowView ToView(const mtimpl::Row& r) const;
  const std::vector<FieldValue>& Values() const;  // buffer in edit modes, else current row
  FieldValue Convert(int col, const FieldValue& v) const;
  // A text field of the primary key stores an empty value as empty text, not
  // as NULL, so that a second empty key is a key violation like any other.
  bool EmptyIsText(int col) const;
  // The order's j-th field as SQL, and its parameter form.
  std::string OrderTerm(size_t j) const;
  const char* OrderParam(size_t j) const { return mtimpl::OrderParam(orderCaseless[j]); }
  // "field equals v" (term: the field as SQL); empty text matches either
  // stored form of an empty value (NULL, or the empty text of a key field).
  std::string EqualsSql(int col, const std::string& term, bool caseless, const FieldValue& v,
                        std::vector<mtimpl::Bind>& binds) const;
  void MasterChanged();
};

// Follows the master's moves for a detail table.
class MT::Impl::MasterLink : public MTListener {
 public:
  explicit MasterLink(MT::Impl* detail) : detail_(detail) {}
  void TableEvent(MT&, DataEvent e) override {
    if (e == DataEvent::RecordChanged) return;
    detail_->MasterChanged();
  }

 private:
  MT::Impl* detail_;
};

}  // namespace wendul
