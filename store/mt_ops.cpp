// MT's own operations: the open that never raises, close with commit, the
// edit retry, emptying, index building and the error log.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "store/mt_internal.h"
#include "util/codec.h"
#include "util/datetime.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

std::string g_logBase;

// Appends bytes to a file, creating it and its folder. A log that cannot be
// written must not turn one failure into another, so errors are dropped.
void AppendToFile(const std::string& path, const std::string& bytes) {
  std::error_code ec;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  if (std::FILE* f = std::fopen(path.c_str(), "ab")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// The log is in the system code page; paths are file-system text (UTF-8).
// A path that is not UTF-8, or holds a character the code page lacks, is
// written as it is rather than not at all.
SjisString PathForLog(const std::string& path) {
  try {
    return Utf8ToSjis(path);
  } catch (const GeneralError&) {
    return path;
  }
}

const EDBEngineError* AsEngineError(const std::exception& e) { return dynamic_cast<const EDBEngineError*>(&e); }

}  // namespace

void SetErrorLogBase(const std::string& folderWithSlash) {
  g_logBase = folderWithSlash;
  if (!g_logBase.empty() && g_logBase.back() != '/' && g_logBase.back() != '\\') g_logBase += '/';
}

std::string ErrorLogPath() { return g_logBase + "TABLE/ERROR_LOG.TXT"; }

bool IsKeyViolation(const std::exception& e) {
  const EDBEngineError* db = AsEngineError(e);
  if (!db || db->errors.empty()) return false;
  const uint32_t code = db->errors[0].errorCode;
  return code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY;
}

bool IsTableFull(const std::exception& e) {
  const EDBEngineError* db = AsEngineError(e);
  return db && !db->errors.empty() && db->errors[0].category == SQLITE_FULL;
}

bool IsLockError(const std::exception& e) {
  const EDBEngineError* db = AsEngineError(e);
  return db && !db->errors.empty() && (db->errors[0].category == SQLITE_BUSY || db->errors[0].category == SQLITE_LOCKED);
}

bool IsCorrupt(const std::exception& e) {
  const EDBEngineError* db = AsEngineError(e);
  return db && !db->errors.empty() && (db->errors[0].category == SQLITE_CORRUPT || db->errors[0].category == SQLITE_NOTADB);
}

bool IsInterrupted(const std::exception& e) {
  const EDBEngineError* db = AsEngineError(e);
  return db && !db->errors.empty() && db->errors[0].category == SQLITE_INTERRUPT;
}

bool IsReadOnlyError(const std::exception& e) {
  const EDBEngineError* db = AsEngineError(e);
  if (!db || db->errors.empty()) return false;
  const int c = db->errors[0].category;
  return c == SQLITE_READONLY || c == SQLITE_PERM || c == SQLITE_CANTOPEN;
}

bool IsRecordChanged(const std::exception& e) {
  const EDBEngineError* db = AsEngineError(e);
  return db && !db->errors.empty() && db->errors[0].errorCode == static_cast<uint32_t>(mtimpl::kRecordChangedCode);
}

bool MT::Op() {
  try {
    Open();
    return true;
  } catch (const std::exception& e) {
    if (!Silent) muShowExceptionError(e, FailureText(e, "MT.Op"), true);
    return false;
  }
}

bool MT::Cl(bool commit) {
  if (!Active()) return false;
  if (commit) Cmt();
  Close();
  return true;
}

void MT::Cmt() {
  try {
    if (!Active() || IsEmpty()) return;
    muEdit();
    muPost();
  } catch (const std::exception& e) {
    ErrMsgBox("CMT " + TableName() + " " + e.what());
  }
}

bool MT::muEdit() {
  // The hundred attempts are the wait: each takes the lock or fails at once.
  struct NoWait {
    int& wait;
    int saved;
    explicit NoWait(int& w) : wait(w), saved(w) { wait = 0; }
    ~NoWait() { wait = saved; }
  } noWait(d->writeWaitMs);
  for (int n = 1;; ++n) {
    ProcessMessages();
    try {
      Refresh();
      Edit();
      return false;
    } catch (const std::exception& e) {
      if (Silent) return true;
      muShowExceptionError(e, FailureText(e, "MT.muEdit") + "\r\n" + "n_retry:" + std::to_string(n), n >= 100);
      if (n > 99) return true;
    }
  }
}

bool MT::muPost() {
  try {
    Post();
    return false;
  } catch (const std::exception& e) {
    if (!Silent) muShowExceptionError(e, FailureText(e, "MT.muPost"), false);
    // Even when silent the pending edit goes, so the write lock is not kept.
    try {
      Cancel();
    } catch (const std::exception&) {
    }
    return true;
  }
}

namespace {

// Runs work on the closed table and puts the open state back afterwards, also
// when the work fails (a table locked elsewhere must not stay closed).
template <typename F>
void WithTableClosed(MT& t, bool commit, bool reopenWithOp, F&& work) {
  const bool wasOpen = t.Active();
  t.Cl(commit);
  try {
    work();
  } catch (...) {
    if (wasOpen) t.Op();
    throw;
  }
  if (wasOpen) {
    if (reopenWithOp) t.Op();
    else t.Open();
  }
}

}  // namespace

void MT::EmptyT() {
  // An open table outside a batch is emptied on its own connection: closing
  // and opening it would copy the write-ahead log back and sync the file,
  // twice. A pending edit goes, as with the close.
  if (d->active && d->batchDepth == 0) {
    Cancel();
    d->conn.Begin();  // a table locked elsewhere fails here, at once
    try {
      d->conn.Exec((std::string("DELETE FROM ") + mtimpl::kDataTable).c_str());
      d->conn.Commit();
    } catch (...) {
      if (d->conn.InTransaction()) d->conn.Rollback();
      throw;
    }
    d->ClearCurrent();
    d->bof = d->eof = true;
    d->Notify(DataEvent::DataChanged);
    return;
  }
  WithTableClosed(*this, false, true, [&] {
    mtimpl::Connection c;
    c.Open(FilePath(), d->decls);
    c.Begin();
    c.Exec((std::string("DELETE FROM ") + mtimpl::kDataTable).c_str());
    c.Commit();
  });
}

void MT::AddFieldDef(const std::string& declaration) { d->decls.push_back(declaration); }

const std::vector<std::string>& MT::FieldDefs() const { return d->decls; }

namespace {

// Builds an index on a closed table's file (created from the declarations
// when missing). An index of the same name is rebuilt.
void BuildIndex(const std::string& path, const std::vector<std::string>& decls, mtimpl::IndexDef idx,
                const std::string& fieldNames) {
  mtimpl::Connection c;
  c.Open(path, decls);
  idx.cols = mtimpl::ResolveFields(c.layout().fields, fieldNames, path);
  c.Begin();
  c.WriteIndex(idx);  // a duplicate key refuses a primary index; nothing changes then
  c.Commit();
}

}  // namespace

void MT::AddSecIndex(const std::string& indexName, const std::string& fieldNames) {
  if (!mtimpl::ValidName(indexName))
    mtimpl::ThrowStore(SQLITE_ERROR, "Invalid index name '" + indexName + "'", FilePath());
  mtimpl::IndexDef idx;
  idx.name = indexName;
  idx.descending = true;
  idx.caseless = true;
  WithTableClosed(*this, true, false, [&] { BuildIndex(FilePath(), d->decls, idx, fieldNames); });
}

void MT::AddPrimaryIndex(const std::string& fieldNames) {
  mtimpl::IndexDef idx;
  idx.primary = true;
  WithTableClosed(*this, true, false, [&] { BuildIndex(FilePath(), d->decls, idx, fieldNames); });
}

SjisString MT::FailureText(const std::exception& e, const std::string& method) const {
  return "Error_Message:" + std::string(e.what()) + "\r\n" + "Method_Name:" + method + "\r\n" + "Self.Name:" + Name +
         "\r\n" + "Self.TableName:" + PathForLog(FilePath());
}

void MT::LogFailure(const std::exception& e, const std::string& method) {
  if (!Silent) muShowExceptionError(e, FailureText(e, method), false);
}

void MT::muShowExceptionError(const std::exception& e, const SjisString& text, bool show) {
  std::string detail;
  if (const EDBEngineError* db = AsEngineError(e)) {
    DBErrorEntry first;
    if (!db->errors.empty()) first = db->errors[0];
    // "<EDBEngineError> エラーの数: "
    detail = "\r\n/*\r\n<EDBEngineError> \x83\x47\x83\x89\x81\x5b\x82\xcc\x90\x94: " +
             std::to_string(db->errors.size()) + "\r\n";
    for (const DBErrorEntry& entry : db->errors) detail += entry.message + "\r\n";
    // "カテゴリ: ", "エラーコード: ", "サブコード: ", "サーバーエラーコード: "
    detail += "\x83\x4a\x83\x65\x83\x53\x83\x8a: " + std::to_string(first.category) + "\r\n";
    detail += "\x83\x47\x83\x89\x81\x5b\x83\x52\x81\x5b\x83\x68: " + HexPairStr(first.errorCode) + " " +
              std::to_string(first.errorCode) + "\r\n";
    detail += "\x83\x54\x83\x75\x83\x52\x81\x5b\x83\x68: " + HexPairStr(first.subCode) + "\r\n";
    detail += "\x83\x54\x81\x5b\x83\x6f\x81\x5b\x83\x47\x83\x89\x81\x5b\x83\x52\x81\x5b\x83\x68: " +
              HexPairStr(first.nativeCode) + "\r\n";
    detail += "*/\r\n";
  }
  // The process-name slot is always empty: one blank follows the colon.
  const std::string header = "**********************\r\n \x83\x76\x83\x8d\x83\x5a\x83\x58\x96\xbc:" + std::string(" ") +
                             "\r\n" + text + "\r\n";
  AppendToFile(ErrorLogPath(), TimeStampStr(Now()) + ": " + header + detail);
  if (show) MsgBox("", text);
}

}  // namespace wendul
