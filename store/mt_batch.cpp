// MT's write batches and the transaction of one record's write.
//
// Outside a batch a record's write is a transaction of its own: Edit/Append
// begin it, Post commits it, Cancel rolls it back. Inside a batch the first
// write begins the batch's transaction and every record's write is a
// savepoint in it: Post releases the savepoint (the change stays, uncommitted),
// Cancel rolls back to it. The outermost EndBatch commits once.
#include <exception>

#include "store/mt_internal.h"

namespace wendul {

using mtimpl::StmtScope;

namespace {

void Step(mtimpl::Connection& conn, const char* sql) {
  StmtScope s(conn.Prepare(sql));
  const int rc = sqlite3_step(s.get());
  if (rc != SQLITE_DONE) conn.Fail(rc);
}

constexpr const char* kSavepoint = "SAVEPOINT mt_rec";
constexpr const char* kRelease = "RELEASE mt_rec";
constexpr const char* kRollbackTo = "ROLLBACK TO mt_rec";

}  // namespace

void MT::Impl::BeginWrite() {
  if (batchDepth == 0) {
    conn.Begin(writeWaitMs);
    return;
  }
  if (!conn.InTransaction()) {
    // A batch transaction that is gone was rolled back by the engine.
    if (batchTxn) batchLost = true;
    batchTxn = false;
    conn.Begin(writeWaitMs);  // a lock held elsewhere for long fails here
    batchTxn = true;
  }
  Step(conn, kSavepoint);
  recSavepoint = true;
}

void MT::Impl::EnsureWrite() {
  if (conn.InTransaction() && (recSavepoint || !batchTxn)) return;
  recSavepoint = false;
  BeginWrite();
}

void MT::Impl::EndWrite() {
  if (recSavepoint) {
    recSavepoint = false;
    Step(conn, kRelease);
    return;
  }
  conn.Commit();
}

void MT::Impl::AbortWrite() {
  if (recSavepoint) {
    recSavepoint = false;
    if (!conn.InTransaction()) {
      batchLost = batchLost || batchTxn;
      batchTxn = false;
      return;
    }
    // ROLLBACK TO keeps the savepoint open; RELEASE ends it, changing nothing.
    StmtScope back(conn.Prepare(kRollbackTo));
    const int rc = sqlite3_step(back.get());
    sqlite3_reset(back.get());
    StmtScope release(conn.Prepare(kRelease));
    sqlite3_step(release.get());
    if (rc == SQLITE_DONE) return;
    // The engine could not undo the record alone: nothing of the batch stays.
    conn.Rollback();
    batchLost = batchLost || batchTxn;
    batchTxn = false;
    return;
  }
  // Never roll back a batch for a record that had not begun its savepoint.
  if (!batchTxn) conn.Rollback();
}

void MT::Impl::SettleBeforeClose() {
  if (!batchTxn) return;  // a record's own transaction is rolled back by the close
  // Never raises: it runs in Close and in the destructor. A failure is
  // reported by EndBatch.
  try {
    if (recSavepoint) AbortWrite();
    if (!batchTxn || !conn.InTransaction()) {
      batchLost = true;
    } else {
      conn.Commit();
    }
  } catch (const std::exception&) {
    batchLost = true;  // the close that follows rolls back
  }
  batchTxn = false;
  recSavepoint = false;
}

void MT::Impl::AfterBatchRollback() {
  if (!active) return;
  // An appended record that was current may be gone.
  try {
    Reposition();
  } catch (const std::exception&) {
    ClearCurrent();
    bof = eof = true;
  }
  Notify(DataEvent::DataChanged);
}

// --- public --------------------------------------------------------------

void MT::BeginBatch() { ++d->batchDepth; }

int MT::BatchDepth() const { return d->batchDepth; }

void MT::EndBatch() {
  if (d->batchDepth == 0) return;
  if (d->batchDepth > 1) {
    --d->batchDepth;
    return;
  }
  std::exception_ptr failure;
  if (d->active && (d->state == DataSetState::Edit || d->state == DataSetState::Insert)) {
    try {
      d->CheckBrowseMode();  // still inside the batch: a post keeps the record
    } catch (...) {
      failure = std::current_exception();
      try {
        Cancel();
      } catch (...) {
      }
    }
  }
  d->batchDepth = 0;
  d->recSavepoint = false;
  bool lost = d->batchLost;
  d->batchLost = false;
  if (d->batchTxn) {
    d->batchTxn = false;
    if (!d->conn.InTransaction()) {
      lost = true;
    } else {
      try {
        d->conn.Commit();
      } catch (...) {
        d->conn.Rollback();
        if (!failure) failure = std::current_exception();
        d->AfterBatchRollback();
      }
    }
  }
  if (failure) std::rethrow_exception(failure);
  if (lost) {
    d->AfterBatchRollback();
    mtimpl::ThrowStore(SQLITE_ABORT, "The records written in this batch were rolled back", FilePath());
  }
}

bool MT::CheckpointIfIdle() {
  if (!d->active || d->conn.InTransaction()) return false;
  int logFrames = 0, copied = 0;
  const int rc = sqlite3_wal_checkpoint_v2(d->conn.db(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied);
  return rc == SQLITE_OK && copied == logFrames;
}

void MT::SetBackgroundCheckpoints(bool on) { d->backgroundCheckpoints = on; }

void MT::CheckpointSoon() {
  if (d->keeper) d->keeper->Request();
  else CheckpointIfIdle();
}

void MT::WaitForBackgroundCheckpoint() {
  if (d->keeper) d->keeper->WaitIdle();
}

void MT::ProbeWrite(const std::vector<FieldValue>& row) {
  d->CheckActive();
  if (d->state != DataSetState::Browse || d->batchDepth > 0 || d->conn.InTransaction())
    mtimpl::ThrowStore(SQLITE_MISUSE, "Dataset is in edit mode or in a batch", FilePath());
  sqlite3* db = d->conn.db();
  // Nothing waits longer than a frame: a lock held elsewhere fails at once
  // (this runs on a timer while the user types, and is tried again).
  struct ShortWait {
    sqlite3* db;
    explicit ShortWait(sqlite3* h) : db(h) { sqlite3_busy_timeout(db, mtimpl::kProbeWaitMs); }
    ~ShortWait() { sqlite3_busy_timeout(db, mtimpl::kReadWaitMs); }
  } shortWait(db);
  d->conn.Begin(0);
  try {
    // The record goes where a stored word goes: the data table's last page,
    // and its key's and its dates' places in every index. A damaged page
    // there fails as storing the word would.
    const auto& fields = d->conn.layout().fields;
    std::string names, marks;
    std::vector<mtimpl::Bind> binds;
    for (size_t i = 0; i < fields.size() && i < row.size(); ++i) {
      names += (i ? ", " : "") + mtimpl::Quote(fields[i].name);
      marks += i ? ", ?" : "?";
      binds.push_back(mtimpl::Bind::Of(d->Convert(static_cast<int>(i), row[i])));
    }
    const std::string sql = names.empty()
                                ? std::string("INSERT INTO ") + mtimpl::kDataTable + " DEFAULT VALUES"
                                : std::string("INSERT OR REPLACE INTO ") + mtimpl::kDataTable + "(" + names +
                                      ") VALUES(" + marks + ")";
    sqlite3_stmt* s = d->conn.Prepare(sql);
    StmtScope scope(s);
    d->conn.Bind(s, binds);
    const int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) d->conn.Fail(rc);
  } catch (...) {
    d->conn.Rollback();
    throw;
  }
  d->conn.Rollback();
}

// --- MTBatch ---------------------------------------------------------------

MTBatch::MTBatch(MT& table) : table_(&table), exceptions_(std::uncaught_exceptions()) { table.BeginBatch(); }

MTBatch::~MTBatch() {
  if (!table_) return;
  MT& t = *table_;
  // Leaving by an exception: a half-made record is not posted.
  if (std::uncaught_exceptions() > exceptions_ && t.BatchDepth() == 1) {
    try {
      t.Cancel();
    } catch (...) {
    }
  }
  try {
    t.EndBatch();
  } catch (const std::exception& e) {
    t.LogFailure(e, "MT.EndBatch");
  } catch (...) {
  }
}

void MTBatch::End() {
  MT* t = table_;
  table_ = nullptr;
  if (t) t->EndBatch();
}

}  // namespace wendul
