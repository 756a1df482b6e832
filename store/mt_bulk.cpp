// Loading many records in one transaction, and the integrity check.
#include "store/mt_bulk.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "store/mt_internal.h"

namespace wendul {

using mtimpl::StmtScope;

struct MTLoad::Impl {
  mtimpl::Connection conn;
  std::string insertSql;
  std::vector<int> keyCols;  // primary key fields
  bool rebuild = false;      // indexes dropped: built at Commit, keys told apart here
  std::unordered_set<std::string> keys;
  std::string key;  // scratch
  int64_t added = 0;
  bool done = false;

  // The primary key's values as one byte string (kind, length, bytes).
  const std::string& KeyOf(const std::vector<FieldValue>& values) {
    key.clear();
    for (int c : keyCols) {
      static const FieldValue kNull;
      const FieldValue& v = static_cast<size_t>(c) < values.size() ? values[c] : kNull;
      key += static_cast<char>(v.kind);
      if (v.kind == FieldValue::Kind::Text) {
        const uint32_t n = static_cast<uint32_t>(v.text.size());
        key.append(reinterpret_cast<const char*>(&n), sizeof n);
        key += v.text;
      } else if (!v.IsNull()) {
        key.append(reinterpret_cast<const char*>(&v.number), sizeof v.number);
      }
    }
    return key;
  }
};

MTLoad::MTLoad(const MT& table, bool emptyFirst) : d(std::make_unique<Impl>()) {
  mtimpl::Connection& c = d->conn;
  c.Open(table.FilePath(), table.FieldDefs(), false, SQLITE_OPEN_NOMUTEX);
  // Index builds sort in memory up to the cache's size; the load's records
  // then reach the file in few passes.
  c.Exec("PRAGMA cache_size=-65536");
  c.Begin();
  try {
    const mtimpl::Layout& layout = c.layout();
    bool empty = emptyFirst;
    if (!empty) {
      StmtScope s(c.Prepare(std::string("SELECT EXISTS(SELECT 1 FROM ") + mtimpl::kDataTable + ")"));
      const int rc = sqlite3_step(s.get());
      if (rc != SQLITE_ROW) c.Fail(rc);
      empty = sqlite3_column_int(s.get(), 0) == 0;
    }
    if (empty) {
      d->rebuild = true;
      for (const mtimpl::IndexDef& idx : layout.indexes) {
        const std::string sqlName =
            idx.primary ? mtimpl::kPrimaryIndexSql : mtimpl::kSecondaryPrefixSql + idx.name;
        c.Exec(("DROP INDEX IF EXISTS " + mtimpl::Quote(sqlName)).c_str());
      }
      // Without indexes the engine empties the table in one step.
      if (emptyFirst) c.Exec((std::string("DELETE FROM ") + mtimpl::kDataTable).c_str());
    }
    for (const mtimpl::IndexDef& idx : layout.indexes)
      if (idx.primary) d->keyCols = idx.cols;
    std::string names, marks;
    for (size_t i = 0; i < layout.fields.size(); ++i) {
      names += (i ? ", " : "") + mtimpl::Quote(layout.fields[i].name);
      marks += i ? ", ?" : "?";
    }
    d->insertSql = std::string("INSERT INTO ") + mtimpl::kDataTable + "(" + mtimpl::kIdColumn + ", " + names +
                   ") VALUES(?, " + marks + ")";
  } catch (...) {
    c.Rollback();
    throw;
  }
}

MTLoad::~MTLoad() {
  if (!d->done) d->conn.Rollback();
  d->conn.Close();
}

const std::vector<FieldInfo>& MTLoad::Fields() const { return d->conn.layout().fields; }

int64_t MTLoad::Added() const { return d->added; }

bool MTLoad::Add(const std::vector<FieldValue>& values, int64_t id) {
  if (d->done) mtimpl::ThrowStore(SQLITE_MISUSE, "The load has ended", d->conn.path());
  const bool keyed = d->rebuild && !d->keyCols.empty();
  if (keyed && !d->keys.insert(d->KeyOf(values)).second) return false;
  try {
    sqlite3_stmt* s = d->conn.Prepare(d->insertSql);
    StmtScope scope(s);
    const size_t fields = d->conn.layout().fields.size();
    if (id > 0) sqlite3_bind_int64(s, 1, id);
    else sqlite3_bind_null(s, 1);
    for (size_t i = 0; i < fields; ++i) {
      const int at = static_cast<int>(i) + 2;
      int rc = SQLITE_OK;
      const FieldValue* v = i < values.size() ? &values[i] : nullptr;
      if (!v || v->IsNull()) {
        rc = sqlite3_bind_null(s, at);
      } else if (v->kind == FieldValue::Kind::Text) {
        // An empty text stays a blob, never NULL.
        rc = v->text.empty() ? sqlite3_bind_zeroblob(s, at, 0)
                             : sqlite3_bind_blob(s, at, v->text.data(), static_cast<int>(v->text.size()),
                                                 SQLITE_STATIC);
      } else {
        rc = sqlite3_bind_double(s, at, v->number);
      }
      if (rc != SQLITE_OK) d->conn.Fail(rc);
    }
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_DONE) {
      ++d->added;
      return true;
    }
    const int ext = sqlite3_extended_errcode(d->conn.db());
    // The key (or the id) exists; the failed statement changed nothing.
    if (ext == SQLITE_CONSTRAINT_UNIQUE || ext == SQLITE_CONSTRAINT_PRIMARYKEY || ext == SQLITE_CONSTRAINT_ROWID)
      return false;
    d->conn.Fail(rc);
  } catch (...) {
    // A record that is not stored leaves its key free for a later line.
    if (keyed) d->keys.erase(d->key);
    throw;
  }
}

namespace {

// Calls the load's OnStep every so many engine steps (a few milliseconds).
int LoadStep(void* load) {
  const auto* step = static_cast<const std::function<bool()>*>(load);
  return (*step)() ? 0 : 1;
}
constexpr int kStepsPerCall = 200000;

}  // namespace

void MTLoad::Commit() {
  if (d->done) return;
  d->done = true;
  sqlite3* db = d->conn.db();
  if (OnStep) sqlite3_progress_handler(db, kStepsPerCall, LoadStep, &OnStep);
  try {
    if (d->rebuild)
      for (const mtimpl::IndexDef& idx : d->conn.layout().indexes) d->conn.WriteIndex(idx);
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    d->conn.Commit();
  } catch (...) {
    sqlite3_progress_handler(db, 0, nullptr, nullptr);
    d->conn.Rollback();
    throw;
  }
  d->keys = {};
}

std::vector<uint32_t> MT::ReadAllRecords(const std::function<bool(const RowView&)>& each, bool* damaged) {
  d->CheckActive();
  if (damaged) *damaged = false;
  mtimpl::Connection c;
  c.Open(FilePath(), {}, ReadOnly, SQLITE_OPEN_NOMUTEX);
  // One pass over many pages: mapped, they are read without a copy each.
  c.Exec("PRAGMA mmap_size=1073741824");
  const auto& fields = c.layout().fields;
  if (fields.size() != d->conn.layout().fields.size())
    mtimpl::ThrowStore(SQLITE_SCHEMA, "The table's layout changed", FilePath());
  std::vector<mtimpl::Bind> binds;
  std::string where;
  for (const mtimpl::Constraint& k : d->Constraints()) {
    where += (where.empty() ? " WHERE (" : " AND (") + k.sql + ")";
    binds.insert(binds.end(), k.binds.begin(), k.binds.end());
  }
  // Both reads see the same snapshot.
  c.Exec("BEGIN");
  std::vector<int64_t> ids;  // storage order: ascending
  // A damaged file: what can be read, in storage order.
  auto storageOrder = [&] {
    if (damaged) *damaged = true;
    std::vector<uint32_t> order(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) order[i] = static_cast<uint32_t>(i);
    return order;
  };
  {
    sqlite3_stmt* s = c.Prepare(d->selectSql + where + " ORDER BY " + mtimpl::kIdColumn);
    StmtScope scope(s);
    c.Bind(s, binds);
    RowView row;
    row.values.resize(fields.size());
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      row.bookmark = sqlite3_column_int64(s, 0);
      for (size_t i = 0; i < fields.size(); ++i) {
        FieldValue& v = row.values[i];
        const int col = static_cast<int>(i) + 1;
        const int type = sqlite3_column_type(s, col);
        if (type == SQLITE_NULL) {
          v.kind = FieldValue::Kind::Null;
          v.text.clear();
        } else if (fields[i].kind != FieldValue::Kind::Text) {
          v.kind = fields[i].kind;
          v.number = sqlite3_column_double(s, col);
        } else if (type == SQLITE_BLOB || type == SQLITE_TEXT) {
          v.kind = FieldValue::Kind::Text;
          const void* p = sqlite3_column_blob(s, col);
          v.text.assign(p ? static_cast<const char*>(p) : "", p ? static_cast<size_t>(sqlite3_column_bytes(s, col)) : 0);
        } else {
          v = mtimpl::ReadValue(s, col, fields[i].kind);
        }
      }
      ids.push_back(row.bookmark);
      if (!each(row)) return {};
    }
    if ((rc & 0xff) == SQLITE_CORRUPT) {
      sqlite3_reset(s);
      const std::string andWhere = where.empty() ? std::string() : " AND" + where.substr(6);
      const mtimpl::SalvageCounts got = mtimpl::SalvageRows(
          c, fields, ids.empty() ? INT64_MIN : ids.back(), andWhere, binds, [&](const mtimpl::Row& r) {
            RowView view{r.id, r.vals};
            ids.push_back(r.id);
            return each(view);
          });
      if (got.stopped) return {};
      return storageOrder();
    }
    if (rc != SQLITE_DONE) c.Fail(rc);
  }
  std::vector<uint32_t> order;
  order.reserve(ids.size());
  if (d->orderCols.empty()) {
    for (size_t i = 0; i < ids.size(); ++i) order.push_back(static_cast<uint32_t>(i));
    return order;
  }
  // The order's index holds the record ids: walking it reads no record.
  const char* dir = d->orderDesc ? " DESC" : "";
  std::string sql = std::string("SELECT ") + mtimpl::kIdColumn + " FROM " + mtimpl::kDataTable + where + " ORDER BY ";
  for (int col : d->orderCols) sql += mtimpl::Quote(fields[col].name) + dir + ", ";
  sql += std::string(mtimpl::kIdColumn) + dir;
  // Ids are usually dense: a direct table then, else a search.
  std::vector<uint32_t> at;
  const bool dense = !ids.empty() && static_cast<uint64_t>(ids.back() - ids.front()) < 2 * ids.size() + 1024;
  if (dense) {
    at.assign(static_cast<size_t>(ids.back() - ids.front() + 1), UINT32_MAX);
    for (size_t i = 0; i < ids.size(); ++i) at[static_cast<size_t>(ids[i] - ids.front())] = static_cast<uint32_t>(i);
  }
  sqlite3_stmt* s = c.Prepare(sql);
  StmtScope scope(s);
  c.Bind(s, binds);
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    const int64_t id = sqlite3_column_int64(s, 0);
    uint32_t pos = UINT32_MAX;
    if (dense) {
      if (id >= ids.front() && id <= ids.back()) pos = at[static_cast<size_t>(id - ids.front())];
    } else {
      auto it = std::lower_bound(ids.begin(), ids.end(), id);
      if (it != ids.end() && *it == id) pos = static_cast<uint32_t>(it - ids.begin());
    }
    if (pos != UINT32_MAX) order.push_back(pos);
  }
  // A damaged index: the records were all read, in storage order.
  if ((rc & 0xff) == SQLITE_CORRUPT || order.size() != ids.size()) return storageOrder();
  if (rc != SQLITE_DONE) c.Fail(rc);
  return order;
}

std::vector<std::string> TableIntegrityProblems(const MT& table) {
  mtimpl::Connection c;
  c.Open(table.FilePath(), {});
  std::vector<std::string> problems;
  StmtScope s(c.Prepare("PRAGMA integrity_check"));
  int rc;
  while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
    const std::string line = text ? text : "";
    if (line != "ok") problems.push_back(line);
  }
  if (rc != SQLITE_DONE) c.Fail(rc);
  return problems;
}

}  // namespace wendul
