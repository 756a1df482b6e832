// MT: properties, open and close, the edit buffer and field access.
#include "store/mt.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "store/mt_internal.h"
#include "util/datetime.h"
#include "util/messages.h"

namespace wendul {

using mtimpl::Bind;
using mtimpl::Quote;
using mtimpl::Row;
using mtimpl::StmtScope;

MT::MT(std::string componentName) : Name(std::move(componentName)), d(std::make_unique<Impl>(this)) {}

MT::~MT() {
  if (AutoClose && d->active) {
    try {
      Cl(false);
    } catch (...) {
    }
  }
  if (d->master) {
    d->master->RemoveListener(d->masterLink.get());
    auto& ds = d->master->d->details;
    ds.erase(std::remove(ds.begin(), ds.end(), this), ds.end());
  }
  for (MT* detail : d->details) detail->d->master = nullptr;
  // Without AutoClose the connection still goes: nothing may outlive the object,
  // and what an unfinished batch posted is kept.
  d->SettleBeforeClose();
  d->keeper.reset();
  d->conn.Close();
}

// --- properties ---------------------------------------------------------

namespace {
void RefuseWhileOpen(const MT::Impl& d, const MT& t) {
  if (d.active)
    mtimpl::ThrowStore(SQLITE_MISUSE, "Cannot perform this operation on an open dataset", t.FilePath());
}
}  // namespace

void MT::SetDatabaseName(const std::string& folder) {
  if (folder == d->folder) return;
  RefuseWhileOpen(*d, *this);
  d->folder = folder;
}
const std::string& MT::DatabaseName() const { return d->folder; }

void MT::SetTableName(const std::string& fileName) {
  if (fileName == d->tableName) return;
  RefuseWhileOpen(*d, *this);
  d->tableName = fileName;
}
const std::string& MT::TableName() const { return d->tableName; }

std::string MT::FilePath() const {
  std::string folder = d->folder;
  // Folders written the Windows way still work.
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder + d->tableName;
}

// --- open / close -------------------------------------------------------

void MT::OpenBriefly() {
  if (d->active) return;
  d->conn.SetReadWait(mtimpl::kProbeWaitMs);
  try {
    Open();
  } catch (...) {
    d->conn.SetReadWait(mtimpl::kReadWaitMs);
    throw;
  }
  d->conn.SetReadWait(mtimpl::kReadWaitMs);
}

void MT::Open() {
  if (d->active) return;
  d->conn.Open(FilePath(), d->decls, ReadOnly);
  try {
    if (d->backgroundCheckpoints && !ReadOnly) {
      d->keeper = mtimpl::LogKeeper::For(FilePath());
      d->keeper->Attach(d->conn.db());
    }
    d->selectSql = d->SelectList();
    d->ResolveOrder();
    d->ResolveFilter();
    d->active = true;
    d->state = DataSetState::Browse;
    d->modified = false;
    try {
      d->GoFirst();
    } catch (const EDBEngineError& e) {
      // A damaged page on the way to the first record: open all the same.
      if (!IsCorrupt(e)) throw;
      d->ClearCurrent();
      d->bof = d->eof = true;
    }
  } catch (...) {
    d->active = false;
    d->state = DataSetState::Inactive;
    d->ClearCurrent();
    d->keeper.reset();
    d->conn.Close();
    throw;
  }
  d->Notify(DataEvent::StateChanged);
  d->Notify(DataEvent::DataChanged);
}

void MT::Close() {
  if (!d->active) return;
  d->SettleBeforeClose();
  // The keeper goes first: the last connection to close copies the log.
  d->keeper.reset();
  d->conn.Close();  // a pending edit is rolled back
  d->active = false;
  d->state = DataSetState::Inactive;
  d->modified = false;
  d->ClearCurrent();
  d->bof = d->eof = true;
  d->filterConstraint.reset();
  d->Notify(DataEvent::StateChanged);
  d->Notify(DataEvent::DataChanged);
}

bool MT::Active() const { return d->active; }
DataSetState MT::State() const { return d->state; }
bool MT::Modified() const { return d->modified; }

// --- editing ------------------------------------------------------------

void MT::Edit() {
  d->CheckActive();
  if (d->state == DataSetState::Edit || d->state == DataSetState::Insert) return;
  if (!d->hasCur) mtimpl::ThrowStore(SQLITE_NOTFOUND, "Cannot perform this operation on an empty dataset", FilePath());
  d->BeginWrite();  // SQLITE_BUSY at once when another connection writes
  std::optional<Row> fresh;
  try {
    fresh = d->ReadById(d->cur.id);
  } catch (...) {
    d->AbortWrite();
    throw;
  }
  if (!fresh || !d->SameKey(*fresh, d->cur)) {
    d->AbortWrite();
    mtimpl::ThrowStore(mtimpl::kRecordChangedCode,
                       fresh ? "Record was changed by another user" : "Record was deleted by another user", FilePath());
  }
  d->cur = *fresh;
  d->buf = d->cur.vals;
  d->changed.assign(d->buf.size(), false);
  d->modified = false;
  d->state = DataSetState::Edit;
  d->Notify(DataEvent::StateChanged);
}

namespace {
void BeginInsert(MT::Impl& d, bool append) {
  d.CheckActive();
  d.CheckBrowseMode();
  d.BeginWrite();
  d.hadCurBeforeInsert = d.hasCur;
  d.beforeInsert = d.cur;
  d.appending = append;
  d.buf.assign(d.conn.layout().fields.size(), FieldValue());
  for (size_t i = 0; i < d.buf.size(); ++i)
    if (d.EmptyIsText(static_cast<int>(i))) d.buf[i] = FieldValue::Of({});
  d.changed.assign(d.buf.size(), false);
  d.modified = false;
  d.state = DataSetState::Insert;
  d.Notify(DataEvent::StateChanged);
  d.Notify(DataEvent::DataChanged);
}
}  // namespace

void MT::Append() { BeginInsert(*d, true); }
void MT::Insert() { BeginInsert(*d, false); }

void MT::Post() {
  d->CheckActive();
  if (d->state != DataSetState::Edit && d->state != DataSetState::Insert) return;
  // A failed commit may have ended the transaction; the post starts a new one.
  d->EnsureWrite();
  const auto& fields = d->conn.layout().fields;
  if (d->state == DataSetState::Edit) {
    if (d->modified) {
      std::string sql = std::string("UPDATE ") + mtimpl::kDataTable + " SET ";
      std::vector<Bind> binds;
      bool first = true;
      for (size_t i = 0; i < fields.size(); ++i) {
        if (!d->changed[i]) continue;
        sql += (first ? "" : ", ") + Quote(fields[i].name) + " = ?";
        first = false;
        binds.push_back(Bind::Of(d->buf[i]));
      }
      sql += std::string(" WHERE ") + mtimpl::kIdColumn + " = ?";
      binds.push_back(Bind::Id(d->cur.id));
      sqlite3_stmt* s = d->conn.Prepare(sql);
      StmtScope scope(s);
      d->conn.Bind(s, binds);
      int rc = sqlite3_step(s);
      if (rc != SQLITE_DONE) d->conn.Fail(rc);
    }
    d->EndWrite();
    d->cur.vals = d->buf;
  } else {
    std::string sql = std::string("INSERT INTO ") + mtimpl::kDataTable + "(";
    std::string values;
    std::vector<Bind> binds;
    for (size_t i = 0; i < fields.size(); ++i) {
      sql += (i ? ", " : "") + Quote(fields[i].name);
      values += i ? ", ?" : "?";
      binds.push_back(Bind::Of(d->buf[i]));
    }
    sql += ") VALUES(" + values + ")";
    sqlite3_stmt* s = d->conn.Prepare(sql);
    {
      StmtScope scope(s);
      d->conn.Bind(s, binds);
      int rc = sqlite3_step(s);
      if (rc != SQLITE_DONE) d->conn.Fail(rc);
    }
    const int64_t id = sqlite3_last_insert_rowid(d->conn.db());
    d->EndWrite();
    d->SetCurrent(Row{id, d->buf});
    d->bof = d->eof = false;
  }
  d->state = DataSetState::Browse;
  d->modified = false;
  d->Notify(DataEvent::StateChanged);
  d->Notify(DataEvent::DataChanged);
}

void MT::Cancel() {
  if (!d->active) return;
  if (d->state != DataSetState::Edit && d->state != DataSetState::Insert) return;
  const bool wasInsert = d->state == DataSetState::Insert;
  d->AbortWrite();
  if (wasInsert) {
    if (d->hadCurBeforeInsert) d->SetCurrent(d->beforeInsert);
    else d->ClearCurrent();
  }
  d->state = DataSetState::Browse;
  d->modified = false;
  d->Notify(DataEvent::StateChanged);
  if (wasInsert) d->Notify(DataEvent::DataChanged);
}

void MT::Delete() {
  d->CheckActive();
  if (d->state == DataSetState::Insert) {
    Cancel();
    return;
  }
  if (!d->hasCur) mtimpl::ThrowStore(SQLITE_NOTFOUND, "Cannot perform this operation on an empty dataset", FilePath());
  const bool wasEdit = d->state == DataSetState::Edit;
  if (wasEdit) d->EnsureWrite();
  else d->BeginWrite();
  try {
    // The id may have been given to another record since this one was read.
    const std::optional<Row> fresh = d->ReadById(d->cur.id);
    if (!fresh || !d->SameKey(*fresh, d->cur))
      mtimpl::ThrowStore(mtimpl::kRecordChangedCode,
                         fresh ? "Record was changed by another user" : "Record was deleted by another user",
                         FilePath());
    sqlite3_stmt* s = d->conn.Prepare(std::string("DELETE FROM ") + mtimpl::kDataTable + " WHERE " +
                                      mtimpl::kIdColumn + " = ?");
    StmtScope scope(s);
    sqlite3_bind_int64(s, 1, d->cur.id);
    int rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) d->conn.Fail(rc);
    sqlite3_reset(s);
    d->EndWrite();
  } catch (...) {
    if (!wasEdit) d->AbortWrite();
    throw;
  }
  d->state = DataSetState::Browse;
  d->modified = false;
  // The record that followed the deleted one becomes current, else the one before.
  const Row old = d->cur;
  std::vector<Row> rows = d->Scan(&old, d->LogicalFwd(true), false, 1);
  if (rows.empty()) rows = d->Scan(&old, d->LogicalFwd(false), false, 1);
  if (rows.empty()) {
    d->ClearCurrent();
    d->bof = d->eof = true;
  } else {
    d->SetCurrent(rows[0]);
    d->bof = d->eof = false;
  }
  if (wasEdit) d->Notify(DataEvent::StateChanged);
  d->Notify(DataEvent::DataChanged);
}

// --- fields -------------------------------------------------------------

const std::vector<FieldInfo>& MT::Fields() const { return d->conn.layout().fields; }

std::vector<std::string> MT::FieldNames() const {
  std::vector<std::string> names;
  for (const FieldInfo& f : d->conn.layout().fields) names.push_back(f.name);
  return names;
}

int MT::FieldIndex(const std::string& name) const {
  const auto& fields = d->conn.layout().fields;
  for (size_t i = 0; i < fields.size(); ++i)
    if (mtimpl::SameName(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

FieldValue MT::GetField(const std::string& name) const {
  d->CheckActive();
  const int col = d->Field(name);
  const std::vector<FieldValue>& vals = d->Values();
  if (vals.empty()) return {};  // no current record: every field is empty
  return vals[col];
}

void MT::SetField(const std::string& name, const FieldValue& v) {
  d->CheckActive();
  if (d->state != DataSetState::Edit && d->state != DataSetState::Insert)
    mtimpl::ThrowStore(SQLITE_MISUSE, "Dataset not in edit or insert mode", FilePath());
  const int col = d->Field(name);
  d->buf[col] = d->Convert(col, v);
  d->changed[col] = true;
  d->modified = true;
  d->Notify(DataEvent::RecordChanged);
}

SjisString MT::FieldAsString(const std::string& name) const {
  const FieldValue v = GetField(name);
  switch (v.kind) {
    case FieldValue::Kind::Null: return {};
    case FieldValue::Kind::Text: return v.text;
    case FieldValue::Kind::DateTime:
      // The time is left out at exactly midnight, as date-time texts are shown.
      return v.number == std::floor(v.number) ? DateStr(v.number) : DateTimeStr(v.number);
    case FieldValue::Kind::Number: {
      char b[32];
      std::snprintf(b, sizeof b, "%.15g", v.number);
      return b;
    }
  }
  return {};
}

namespace {

// " テーブル名:" and " フィールド名:"
const char kTableNameLabel[] = " \x83\x65\x81\x5b\x83\x75\x83\x8b\x96\xbc:";
const char kFieldNameLabel[] = " \x83\x74\x83\x42\x81\x5b\x83\x8b\x83\x68\x96\xbc:";

[[noreturn]] void FieldError(const char* method, const MT& t, const std::string& field, const std::exception& e) {
  PgmError(std::string(method) + "\r\n" + kTableNameLabel + t.TableName() + "\r\n" + kFieldNameLabel + field +
           "\r\n" + e.what());
}

}  // namespace

SjisString MT::GS(const std::string& field) const {
  try {
    return FieldAsString(field);
  } catch (const std::exception& e) {
    FieldError("MT.GS", *this, field, e);
  }
}

int32_t MT::GI(const std::string& field) const {
  try {
    const FieldValue v = GetField(field);
    double x = 0;
    switch (v.kind) {
      case FieldValue::Kind::Null: return 0;
      case FieldValue::Kind::Text: {
        std::string t = v.text;
        while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.pop_back();
        size_t b = 0;
        while (b < t.size() && static_cast<unsigned char>(t[b]) <= ' ') ++b;
        t = t.substr(b);
        if (t.empty()) return 0;
        char* end = nullptr;
        x = std::strtod(t.c_str(), &end);
        if (*end != '\0') mtimpl::ThrowStore(SQLITE_MISMATCH, "'" + t + "' is not a valid integer", FilePath());
        break;
      }
      case FieldValue::Kind::Number:
      case FieldValue::Kind::DateTime: x = v.number; break;
    }
    x = std::trunc(x);
    if (!(x >= std::numeric_limits<int32_t>::min() && x <= std::numeric_limits<int32_t>::max()))
      mtimpl::ThrowStore(SQLITE_RANGE, "Value out of the integer range", FilePath());
    return static_cast<int32_t>(x);
  } catch (const std::exception& e) {
    FieldError("MT.GI", *this, field, e);
  }
}

TDateTime MT::GD(const std::string& field) const {
  try {
    const FieldValue v = GetField(field);
    switch (v.kind) {
      case FieldValue::Kind::Null: return 0;
      case FieldValue::Kind::Text: {
        TDateTime x = 0;
        if (!mtimpl::ParseDateText(v.text, &x))
          mtimpl::ThrowStore(SQLITE_MISMATCH, "'" + v.text + "' is not a valid date and time", FilePath());
        return x;
      }
      case FieldValue::Kind::Number:
      case FieldValue::Kind::DateTime: return v.number;
    }
    return 0;
  } catch (const std::exception& e) {
    FieldError("MT.GD", *this, field, e);
  }
}

void MT::SS(const std::string& field, const SjisString& value) { SetField(field, FieldValue::Of(value)); }

void MT::SI(const std::string& field, int32_t value) { SetField(field, FieldValue::OfNumber(value)); }

void MT::SD(const std::string& field, TDateTime value) {
  // Exactly 0 clears the field; every other value, negative ones too, is a date.
  if (value == 0) SetField(field, FieldValue::Of({}));
  else SetField(field, FieldValue::OfDate(value));
}

// --- data sources -------------------------------------------------------

void MT::AddListener(MTListener* l) {
  if (l && std::find(d->listeners.begin(), d->listeners.end(), l) == d->listeners.end()) d->listeners.push_back(l);
}

void MT::RemoveListener(MTListener* l) {
  d->listeners.erase(std::remove(d->listeners.begin(), d->listeners.end(), l), d->listeners.end());
}

void MT::DisableControls() { ++d->disableCount; }

void MT::EnableControls() {
  if (d->disableCount == 0) return;
  if (--d->disableCount == 0) d->Notify(DataEvent::ControlsEnabled);
}

bool MT::ControlsDisabled() const { return d->disableCount > 0; }

}  // namespace wendul
