// Reading a damaged table file, and rebuilding a table's file from every
// record that can still be read.
//
// The engine's own recovery (the shell's ".recover") needs the page-reading
// table the distribution's library is built without. A damaged page makes a
// read fail as soon as a lookup passes through it; every record elsewhere
// can still be reached by its id. So the records are read in id order, and
// where a read fails the first id past the damage that reads again is sought
// (doubling steps, then halving): a damaged index page costs no record, a
// damaged data page the records on it.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>

#include "store/mt_bulk.h"
#include "store/mt_internal.h"
#include "store/mt_safe.h"
#include "store/mt_safe_internal.h"
#include "util/datetime.h"

namespace wendul {

namespace fs = std::filesystem;

namespace mtimpl {

void Connection::OpenDamaged(const std::string& path) {
  Close();
  path_ = path;
  mtsafe::RawOpen(path, true, &db_);
  const int rc = sqlite3_create_collation_v2(db_, kCaselessCollation, SQLITE_UTF8, nullptr, nullptr, nullptr);
  (void)rc;  // nothing here sorts by it
}

namespace {

bool IsDamage(int rc) { return (rc & 0xff) == SQLITE_CORRUPT || (rc & 0xff) == SQLITE_NOTADB; }

}  // namespace

SalvageCounts SalvageRows(Connection& c, const std::vector<FieldInfo>& fields, int64_t after,
                          const std::string& where, const std::vector<Bind>& binds,
                          const std::function<bool(const Row&)>& each) {
  std::string select = std::string("SELECT ") + kIdColumn;
  for (const FieldInfo& f : fields) select += ", " + Quote(f.name);
  // From an id on, that id included: a seek past an id would pass through
  // the page that holds the id itself, the damaged one.
  select += std::string(" FROM ") + kDataTable + " WHERE " + kIdColumn + " >= ?" + where + " ORDER BY " + kIdColumn;
  // The first record from an id on, with its values: whether reading can go on from there.
  const std::string probe = select + " LIMIT 1";
  auto bindFrom = [&](sqlite3_stmt* s, int64_t id) {
    sqlite3_bind_int64(s, 1, id);
    int at = 2;
    for (const Bind& b : binds) {
      switch (b.k) {
        case Bind::K::Null: sqlite3_bind_null(s, at); break;
        case Bind::K::Blob:
          if (b.blob.empty()) sqlite3_bind_zeroblob(s, at, 0);
          else sqlite3_bind_blob(s, at, b.blob.data(), static_cast<int>(b.blob.size()), SQLITE_STATIC);
          break;
        case Bind::K::Real: sqlite3_bind_double(s, at, b.real); break;
        case Bind::K::Int: sqlite3_bind_int64(s, at, b.i); break;
      }
      ++at;
    }
  };
  auto readsFrom = [&](int64_t id) {
    StmtScope s(c.Prepare(probe));
    bindFrom(s.get(), id);
    const int rc = sqlite3_step(s.get());
    if (rc == SQLITE_ROW || rc == SQLITE_DONE) return true;
    if (IsDamage(rc)) return false;
    c.Fail(rc);
  };
  SalvageCounts n;
  for (;;) {
    int rc;
    {
      if (after == INT64_MAX) return n;
      StmtScope s(c.Prepare(select));
      bindFrom(s.get(), after + 1);
      Row r;
      while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        r.id = sqlite3_column_int64(s.get(), 0);
        // A damaged page that still parses may give ids out of order.
        if (r.id <= after) {
          rc = SQLITE_CORRUPT;
          break;
        }
        r.vals.clear();
        for (size_t i = 0; i < fields.size(); ++i) r.vals.push_back(ReadValue(s.get(), static_cast<int>(i) + 1, fields[i].kind));
        after = r.id;
        ++n.rows;
        if (!each(r)) {
          n.stopped = true;
          return n;
        }
      }
    }
    if (rc == SQLITE_DONE) return n;
    if (!IsDamage(rc)) c.Fail(rc);
    ++n.damagedRuns;
    // The smallest id past `after` from which reading works again.
    int64_t bad = after, good = INT64_MAX;
    for (uint64_t step = 1;; step *= 2) {
      const int64_t id = step >= static_cast<uint64_t>(INT64_MAX - after) ? INT64_MAX : after + static_cast<int64_t>(step);
      if (readsFrom(id)) {
        good = id;
        break;
      }
      bad = id;
      if (id == INT64_MAX) {  // damaged to the end
        n.gaps.emplace_back(after, INT64_MAX);
        return n;
      }
    }
    while (good - bad > 1) {
      const int64_t mid = bad + (good - bad) / 2;
      if (readsFrom(mid)) good = mid;
      else bad = mid;
    }
    n.gaps.emplace_back(after, good);
    after = good - 1;
  }
}

std::vector<Row> RowsFromIndexes(Connection& c, const std::vector<FieldInfo>& fields,
                                 const std::vector<std::pair<int64_t, int64_t>>& gaps) {
  if (gaps.empty()) return {};
  // The first gap ending past the id holds it, or none does.
  auto inGap = [&](int64_t id) {
    const auto g = std::upper_bound(gaps.begin(), gaps.end(), id,
                                    [](int64_t v, const std::pair<int64_t, int64_t>& gap) { return v < gap.second; });
    return g != gaps.end() && g->first < id;
  };
  // One statement at a time, finalized here: none of it goes to the cache.
  auto each = [&](const std::string& sql, const std::function<void(sqlite3_stmt*)>& row) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(c.db(), sql.c_str(), -1, &s, nullptr) == SQLITE_OK)
      while (sqlite3_step(s) == SQLITE_ROW) row(s);  // a damaged page ends the scan
    sqlite3_finalize(s);
  };
  std::vector<std::string> indexes;
  each(std::string("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = '") + kDataTable + "'",
       [&](sqlite3_stmt* s) {
         if (const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0))) indexes.emplace_back(name);
       });
  std::map<int64_t, Row> found;
  for (const std::string& index : indexes) {
    std::string quoted;
    try {
      quoted = Quote(index);
    } catch (const std::exception&) {
      continue;  // a name the table's own never are
    }
    // Its columns, all of them fields of the table (no expressions).
    std::vector<size_t> at;
    bool usable = true;
    each("PRAGMA index_info(" + quoted + ")", [&](sqlite3_stmt* s) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 2));
      size_t k = 0;
      while (name && k < fields.size() && !SameName(fields[k].name, name)) ++k;
      if (!name || k == fields.size()) usable = false;
      else at.push_back(k);
    });
    if (!usable || at.empty()) continue;
    std::string select = std::string("SELECT ") + kIdColumn;
    for (size_t k : at) select += ", " + Quote(fields[k].name);
    each(select + " FROM " + kDataTable + " INDEXED BY " + quoted, [&](sqlite3_stmt* s) {
      const int64_t id = sqlite3_column_int64(s, 0);
      if (!inGap(id)) return;
      Row& r = found[id];
      if (r.vals.empty()) {
        r.id = id;
        r.vals.assign(fields.size(), FieldValue());
      }
      for (size_t i = 0; i < at.size(); ++i) r.vals[at[i]] = ReadValue(s, static_cast<int>(i) + 1, fields[at[i]].kind);
    });
  }
  std::vector<Row> rows;
  rows.reserve(found.size());
  for (auto& [id, r] : found) rows.push_back(std::move(r));
  return rows;
}

}  // namespace mtimpl

using namespace mtsafe;

namespace {

constexpr int64_t kRowsPerProgress = 4096;
constexpr size_t kProblemsKept = 10;

// Calls the progress every so many engine steps of a long statement.
struct StepProgress {
  const TableProgress* progress;
  TableWork work;
  static int Call(void* self) {
    auto* p = static_cast<StepProgress*>(self);
    return (*p->progress)(p->work, 0, 0) ? 0 : 1;
  }
};

// The old file's own check: what the engine finds wrong (a few lines).
std::vector<std::string> QuickCheck(mtimpl::Connection& c, const TableProgress& progress) {
  std::vector<std::string> problems;
  StepProgress step{&progress, TableWork::Checking};
  if (progress) sqlite3_progress_handler(c.db(), 200000, StepProgress::Call, &step);
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v2(c.db(), "PRAGMA quick_check", -1, &s, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(s)) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    const std::string line = text ? text : "";
    if (line != "ok" && problems.size() < kProblemsKept) problems.push_back(line);
  }
  if (rc == SQLITE_ROW) rc = SQLITE_DONE;
  const std::string message = sqlite3_errmsg(c.db());
  sqlite3_finalize(s);
  sqlite3_progress_handler(c.db(), 0, nullptr, nullptr);
  if ((rc & 0xff) == SQLITE_INTERRUPT) throw TableWorkCancelled();
  if (rc != SQLITE_DONE && rc != SQLITE_OK) problems.push_back(message);
  return problems;
}

// The old file's layout as it says, else as declared.
std::vector<FieldInfo> OldFields(mtimpl::Connection& c, const MT& table) {
  try {
    c.ReloadLayout();
    if (!c.layout().fields.empty()) return c.layout().fields;
  } catch (const std::exception&) {
  }
  return mtimpl::ParseDeclarations(table.FieldDefs(), table.FilePath()).fields;
}

// Commits of other connections to the table's file since a moment: the
// engine's data version, as one connection kept open sees it.
class CommitWatch {
 public:
  explicit CommitWatch(mtimpl::Connection& c) : c_(c) { known_ = Read(&seen_); }
  // Whether something was committed since the start or the last call that
  // said so. A file whose version cannot be read (its first page damaged)
  // cannot be written by anyone either.
  bool Moved() {
    int64_t now = 0;
    if (!known_ || !Read(&now) || now == seen_) return false;
    seen_ = now;
    return true;
  }

 private:
  bool Read(int64_t* out) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(c_.db(), "PRAGMA data_version", -1, &s, nullptr) != SQLITE_OK) return false;
    const bool ok = sqlite3_step(s) == SQLITE_ROW;
    if (ok) *out = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return ok;
  }
  mtimpl::Connection& c_;
  bool known_ = false;
  int64_t seen_ = 0;
};

bool SameValue(const FieldValue& a, const FieldValue& b) {
  if (a.kind != b.kind) return false;
  if (a.kind == FieldValue::Kind::Text) return a.text == b.text;
  return a.IsNull() || a.number == b.number;
}

// Makes the new file hold what the table's file holds now: the records
// another program added, changed or deleted since they were read are written
// into it (both are walked in id order; the new file is written after the
// walk). `from` maps the new file's fields to the old one's. The records
// taken from the old file's indexes (`fromIndexes`, sorted) lie on damaged
// pages the walk passes over: nobody can have changed them. Returns how many
// records were written or deleted.
int64_t CarryOver(mtimpl::Connection& old, const std::vector<FieldInfo>& oldFields, const std::vector<int>& from,
                  const std::vector<int64_t>& fromIndexes, const MT& fresh, const std::function<void(int64_t)>& step) {
  mtimpl::Connection c;
  c.Open(fresh.FilePath(), fresh.FieldDefs(), false, SQLITE_OPEN_NOMUTEX);
  const std::vector<FieldInfo>& fields = c.layout().fields;
  std::string names, marks;
  for (size_t i = 0; i < fields.size(); ++i) {
    names += ", " + mtimpl::Quote(fields[i].name);
    marks += ", ?";
  }
  const std::string table = mtimpl::kDataTable, id = mtimpl::kIdColumn;
  std::vector<int64_t> gone;
  std::vector<mtimpl::Row> put;
  {
    mtimpl::StmtScope s(c.Prepare("SELECT " + id + names + " FROM " + table + " ORDER BY " + id));
    int rc = sqlite3_step(s.get());
    auto freshId = [&] { return sqlite3_column_int64(s.get(), 0); };
    auto goneUnlessSalvaged = [&](int64_t id) {
      if (!std::binary_search(fromIndexes.begin(), fromIndexes.end(), id)) gone.push_back(id);
    };
    int64_t read = 0;
    mtimpl::Row now;
    mtimpl::SalvageRows(old, oldFields, INT64_MIN, {}, {}, [&](const mtimpl::Row& r) {
      for (; rc == SQLITE_ROW && freshId() < r.id; rc = sqlite3_step(s.get())) goneUnlessSalvaged(freshId());
      now.id = r.id;
      now.vals.assign(from.size(), FieldValue());
      for (size_t i = 0; i < from.size(); ++i)
        if (from[i] >= 0) now.vals[i] = r.vals[static_cast<size_t>(from[i])];
      bool same = rc == SQLITE_ROW && freshId() == r.id;
      for (size_t i = 0; same && i < fields.size(); ++i)
        same = SameValue(now.vals[i], mtimpl::ReadValue(s.get(), static_cast<int>(i) + 1, fields[i].kind));
      if (rc == SQLITE_ROW && freshId() == r.id) rc = sqlite3_step(s.get());
      if (!same) put.push_back(now);
      if (++read % kRowsPerProgress == 0) step(read);
      return true;
    });
    for (; rc == SQLITE_ROW; rc = sqlite3_step(s.get())) goneUnlessSalvaged(freshId());
    if (rc != SQLITE_DONE) c.Fail(rc);
  }
  if (gone.empty() && put.empty()) return 0;
  c.Begin();
  try {
    for (int64_t at : gone) {
      mtimpl::StmtScope s(c.Prepare("DELETE FROM " + table + " WHERE " + id + " = ?"));
      c.Bind(s.get(), {mtimpl::Bind::Id(at)});
      if (const int rc = sqlite3_step(s.get()); rc != SQLITE_DONE) c.Fail(rc);
    }
    // A record whose key another now holds replaces it, as in the table's file.
    const std::string insert = "INSERT OR REPLACE INTO " + table + "(" + id + names + ") VALUES(?" + marks + ")";
    std::vector<mtimpl::Bind> binds;
    for (const mtimpl::Row& r : put) {
      binds.assign(1, mtimpl::Bind::Id(r.id));
      for (const FieldValue& v : r.vals) binds.push_back(mtimpl::Bind::Of(v));
      mtimpl::StmtScope s(c.Prepare(insert));
      c.Bind(s.get(), binds);
      if (const int rc = sqlite3_step(s.get()); rc != SQLITE_DONE) c.Fail(rc);
    }
    c.Commit();
  } catch (...) {
    c.Rollback();
    throw;
  }
  return static_cast<int64_t>(gone.size() + put.size());
}

}  // namespace

RebuildReport RebuildTable(const MT& table, const TableProgress& progress) {
  const std::string path = table.FilePath();
  const std::string folder = Folder(table);
  const std::string freshName = table.TableName() + ".rebuild";
  const std::string freshPath = folder + freshName;
  auto goOn = [&](TableWork work, int64_t done, int64_t total) {
    if (progress && !progress(work, done, total)) throw TableWorkCancelled();
  };
  RebuildReport report;
  RemoveFileSet(freshPath);
  // Kept open to the end: another Wendul may learn words into the table
  // while it is read, and what it commits meanwhile is carried over.
  mtimpl::Connection old;
  old.OpenDamaged(path);
  CommitWatch watch(old);
  std::vector<FieldInfo> oldFields;
  std::vector<int> from;  // where each field of the new file comes from in the old one
  std::vector<int64_t> salvaged;  // ids of the records taken from the old file's indexes
  MT fresh("rebuild");
  fresh.SetDatabaseName(folder);
  fresh.SetTableName(freshName);
  for (const std::string& decl : table.FieldDefs()) fresh.AddFieldDef(decl);
  auto catchUp = [&](TableWork work) {
    if (!watch.Moved()) return;
    report.carried += CarryOver(old, oldFields, from, salvaged, fresh, [&](int64_t done) {
      if (progress && !progress(work, done, report.before) && work != TableWork::Installing)
        throw TableWorkCancelled();
    });
    report.records = CountRecords(freshPath);
  };
  try {
    report.problems = QuickCheck(old, progress);
    oldFields = OldFields(old, table);
    try {
      mtimpl::StmtScope s(old.Prepare(std::string("SELECT count(*) FROM ") + mtimpl::kDataTable));
      if (sqlite3_step(s.get()) == SQLITE_ROW) report.before = sqlite3_column_int64(s.get(), 0);
    } catch (const std::exception&) {
    }
    {
      MTLoad load(fresh, true);
      for (const FieldInfo& f : load.Fields()) {
        int at = -1;
        for (size_t i = 0; i < oldFields.size(); ++i)
          if (mtimpl::SameName(oldFields[i].name, f.name)) at = static_cast<int>(i);
        from.push_back(at);
      }
      std::vector<FieldValue> values;
      const mtimpl::SalvageCounts got =
          mtimpl::SalvageRows(old, oldFields, INT64_MIN, {}, {}, [&](const mtimpl::Row& r) {
            values.assign(from.size(), FieldValue());
            for (size_t i = 0; i < from.size(); ++i)
              if (from[i] >= 0) values[i] = r.vals[static_cast<size_t>(from[i])];
            if (!load.Add(values, r.id)) ++report.duplicates;
            if (load.Added() % kRowsPerProgress == 0) goOn(TableWork::Reading, load.Added(), report.before);
            return true;
          });
      report.damagedRuns = got.damagedRuns;
      // A damaged data page need not cost its records: the indexes still
      // hold their keys (a word keeps its word and its last use).
      for (const mtimpl::Row& r : mtimpl::RowsFromIndexes(old, oldFields, got.gaps)) {
        values.assign(from.size(), FieldValue());
        for (size_t i = 0; i < from.size(); ++i)
          if (from[i] >= 0) values[i] = r.vals[static_cast<size_t>(from[i])];
        if (!load.Add(values, r.id)) {
          ++report.duplicates;
          continue;
        }
        ++report.fromIndexes;
        salvaged.push_back(r.id);
      }
      report.records = load.Added();
      load.OnStep = [&] { return !progress || progress(TableWork::Indexing, 0, 0); };
      try {
        load.Commit();
      } catch (const EDBEngineError& e) {
        if (IsInterrupted(e)) throw TableWorkCancelled();
        throw;
      }
    }
    report.damaged = report.damagedRuns > 0 || !report.problems.empty();
    // The old file is kept: a damaged one beside the table, where no
    // rotation of backups removes it; a sound one as a backup.
    if (report.damaged) {
      report.kept = FreeName(folder, Stem(table) + "-damaged", ".DB");
      CopyToNewFile(path, true, report.kept, TableWork::Copying, progress);
    } else {
      report.kept = BackupTable(table, "reindex", progress);
    }
    // What was committed while reading, taken over while cancel still can act.
    catchUp(TableWork::Reading);
  } catch (...) {
    RemoveFileSet(freshPath);
    throw;
  }
  // From here on the table's file changes: no cancel.
  if (progress) progress(TableWork::Installing, 0, 0);
  try {
    // Once the table's file is locked nobody else commits to it: what came
    // since the catch-up above is taken over then, so nothing is lost.
    Install(freshPath, path, progress, [&] { catchUp(TableWork::Installing); });
  } catch (...) {
    RemoveFileSet(freshPath);
    throw;
  }
  RemoveFileSet(freshPath);
  return report;
}

}  // namespace wendul
