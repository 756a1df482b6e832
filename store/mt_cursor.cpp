// MT's cursor: index order, filter, master link and keyset navigation.
//
// Every move is a query on the current order (index fields + rowid as the
// tie-break) that starts from the current record's key and asks for the next
// row(s) with LIMIT, so each step costs one or a few index seeks whatever the
// table's size. Nothing is loaded beyond the rows asked for.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "store/mt_internal.h"
#include "util/datetime.h"
#include "util/strutil.h"

namespace wendul {

using mtimpl::Bind;
using mtimpl::Constraint;
using mtimpl::Quote;
using mtimpl::Row;
using mtimpl::StmtScope;

namespace {

// The smallest byte string greater than every string that begins with p;
// empty when there is none (p empty or all 0xFF).
std::string PrefixEnd(std::string p) {
  while (!p.empty() && static_cast<unsigned char>(p.back()) == 0xFF) p.pop_back();
  if (!p.empty()) p.back() = static_cast<char>(static_cast<unsigned char>(p.back()) + 1);
  return p;
}

[[noreturn]] void BadFilter(const std::string& path, const std::string& why) {
  mtimpl::ThrowStore(SQLITE_ERROR, "Invalid filter: " + why, path);
}

}  // namespace

// "yyyy/mm/dd" with an optional " hh:nn" or " hh:nn:ss". The store reads date
// texts itself: the date converter's error path sets the process-wide quiet
// flag, which a rejected field value must not do.
bool mtimpl::ParseDateText(const std::string& t, TDateTime* out) {
  int y = 0, mo = 0, dd = 0, h = 0, mi = 0, sec = 0, used = 0;
  if (std::sscanf(t.c_str(), "%d/%d/%d%n", &y, &mo, &dd, &used) != 3) return false;
  std::string rest = Trim(t.substr(static_cast<size_t>(used)));
  if (!rest.empty()) {
    int used2 = 0;
    int n = std::sscanf(rest.c_str(), "%d:%d:%d%n", &h, &mi, &sec, &used2);
    if (n != 3) {
      sec = 0;
      used2 = 0;
      if (std::sscanf(rest.c_str(), "%d:%d%n", &h, &mi, &used2) != 2) return false;
    }
    if (static_cast<size_t>(used2) != rest.size()) return false;
    if (h < 0 || h > 23 || mi < 0 || mi > 59 || sec < 0 || sec > 59) return false;
  }
  TDateTime date = 0;
  if (!TryEncodeDate(y, mo, dd, &date)) return false;
  const double time = (h * 3600 + mi * 60 + sec) / 86400.0;
  *out = date >= 0 ? date + time : date - time;
  return true;
}

// --- basic helpers ------------------------------------------------------

void MT::Impl::CheckActive() const {
  if (!active)
    mtimpl::ThrowStore(SQLITE_MISUSE, "Cannot perform this operation on a closed dataset", self->FilePath());
}

void MT::Impl::Notify(DataEvent e) {
  if (disableCount > 0) return;
  const std::vector<MTListener*> copy = listeners;
  for (MTListener* l : copy) {
    // A listener may remove (and destroy) another one while we call round.
    if (std::find(listeners.begin(), listeners.end(), l) == listeners.end()) continue;
    l->TableEvent(*self, e);
  }
}

int MT::Impl::Field(const std::string& name) const {
  const auto& fields = conn.layout().fields;
  for (size_t i = 0; i < fields.size(); ++i)
    if (mtimpl::SameName(fields[i].name, name)) return static_cast<int>(i);
  mtimpl::ThrowStore(SQLITE_ERROR, "Field '" + name + "' not found", self->FilePath());
}

std::string MT::Impl::SelectList() const {
  std::string s = std::string("SELECT ") + mtimpl::kIdColumn;
  for (const FieldInfo& f : conn.layout().fields) s += ", " + Quote(f.name);
  return s + " FROM " + mtimpl::kDataTable;
}

Row MT::Impl::ReadRow(sqlite3_stmt* s) const {
  Row r;
  r.id = sqlite3_column_int64(s, 0);
  const auto& fields = conn.layout().fields;
  r.vals.reserve(fields.size());
  for (size_t i = 0; i < fields.size(); ++i)
    r.vals.push_back(mtimpl::ReadValue(s, static_cast<int>(i) + 1, fields[i].kind));
  return r;
}

std::optional<Row> MT::Impl::ReadById(int64_t id) {
  sqlite3_stmt* s = conn.Prepare(selectSql + " WHERE " + mtimpl::kIdColumn + " = ?");
  StmtScope scope(s);
  sqlite3_bind_int64(s, 1, id);
  int rc = sqlite3_step(s);
  if (rc == SQLITE_ROW) return ReadRow(s);
  if (rc != SQLITE_DONE) conn.Fail(rc);
  return std::nullopt;
}

void MT::Impl::SetCurrent(const Row& r) {
  hasCur = true;
  cur = r;
}

void MT::Impl::ClearCurrent() {
  hasCur = false;
  cur = Row();
}

const std::vector<FieldValue>& MT::Impl::Values() const {
  static const std::vector<FieldValue> none;
  if (state == DataSetState::Edit || state == DataSetState::Insert) return buf;
  return hasCur ? cur.vals : none;
}

RowView MT::Impl::ToView(const Row& r) const { return RowView{r.id, r.vals}; }

// --- order and filter ---------------------------------------------------

void MT::Impl::ResolveOrder() {
  filterDense.reset();
  const mtimpl::Layout& layout = conn.layout();
  const std::string path = self->FilePath();
  auto use = [&](const mtimpl::IndexDef& idx) {
    orderCols = idx.cols;
    orderDesc = idx.descending;
    orderCaseless.clear();
    for (int c : idx.cols) orderCaseless.push_back(idx.caseless && layout.fields[c].kind == FieldValue::Kind::Text);
  };
  if (!indexFieldNames.empty()) {
    std::vector<int> want = mtimpl::ResolveFields(layout.fields, indexFieldNames, path);
    // The primary key first, then the secondary indexes: the first index whose
    // fields begin with the given ones decides the order.
    for (int pass = 0; pass < 2; ++pass)
      for (const mtimpl::IndexDef& idx : layout.indexes) {
        if (idx.primary != (pass == 0)) continue;
        if (idx.cols.size() >= want.size() && std::equal(want.begin(), want.end(), idx.cols.begin())) {
          use(idx);
          return;
        }
      }
    mtimpl::ThrowStore(SQLITE_ERROR, "No index for fields '" + indexFieldNames + "'", path);
  }
  if (!indexName.empty()) {
    for (const mtimpl::IndexDef& idx : layout.indexes)
      if (!idx.primary && mtimpl::SameName(idx.name, indexName)) {
        use(idx);
        return;
      }
    mtimpl::ThrowStore(SQLITE_ERROR, "Index '" + indexName + "' not found", path);
  }
  orderCols.clear();
  orderCaseless.clear();
  orderDesc = false;
  for (const mtimpl::IndexDef& idx : layout.indexes)
    if (idx.primary) use(idx);
}

std::string MT::Impl::OrderTerm(size_t j) const {
  return mtimpl::OrderTerm(conn.layout().fields[orderCols[j]], orderCaseless[j]);
}

bool MT::Impl::EmptyIsText(int col) const {
  const mtimpl::Layout& layout = conn.layout();
  if (layout.fields[col].kind != FieldValue::Kind::Text) return false;
  for (const mtimpl::IndexDef& idx : layout.indexes)
    if (idx.primary) return std::find(idx.cols.begin(), idx.cols.end(), col) != idx.cols.end();
  return false;
}

std::string MT::Impl::EqualsSql(int col, const std::string& term, bool caseless, const FieldValue& v,
                                std::vector<Bind>& binds) const {
  const bool text = conn.layout().fields[col].kind == FieldValue::Kind::Text;
  if (v.IsNull() || (v.kind == FieldValue::Kind::Text && v.text.empty())) {
    // A table made before key fields kept empty text holds NULL there.
    if (text) return "(" + term + " IS NULL OR " + term + (caseless ? " = ''" : " = X''") + ")";
    return term + " IS NULL";
  }
  binds.push_back(Bind::Of(v));
  return term + " = " + mtimpl::OrderParam(caseless);
}

// Filter texts: FIELD='value' (equal) or FIELD='prefix*' (begins with). The
// value is everything between the first quote after '=' and the last quote,
// so a value may itself hold quotes; it only ever reaches SQLite as a bound
// parameter.
void MT::Impl::ResolveFilter() {
  filterConstraint.reset();
  filterRange.reset();
  filterCol = -1;
  filterDense.reset();
  if (!filtered) return;
  const std::string path = self->FilePath();
  const std::string text = Trim(filterText);
  if (text.empty()) return;
  const size_t eq = text.find('=');
  if (eq == std::string::npos) BadFilter(path, "'=' expected");
  const std::string fieldName = Trim(text.substr(0, eq));
  if (!mtimpl::ValidName(fieldName)) BadFilter(path, "field name expected before '='");
  const size_t q1 = text.find('\'', eq + 1);
  const size_t q2 = text.rfind('\'');
  if (q1 == std::string::npos || q2 == q1) BadFilter(path, "value in quotes expected");
  if (!Trim(text.substr(eq + 1, q1 - eq - 1)).empty()) BadFilter(path, "value in quotes expected");
  if (q2 + 1 != text.size()) BadFilter(path, "text after the closing quote");
  std::string value = text.substr(q1 + 1, q2 - q1 - 1);
  const bool prefix = !value.empty() && value.back() == '*';
  if (prefix) value.pop_back();

  const int col = Field(fieldName);
  const FieldInfo& f = conn.layout().fields[col];
  const std::string c = Quote(f.name);
  Constraint k;
  if (f.kind == FieldValue::Kind::Text) {
    if (f.type == 'A') value = mtimpl::CutToSize(value, static_cast<size_t>(f.size));
    if (prefix) {
      if (value.empty()) return;  // begins with nothing: every record
      const std::string end = PrefixEnd(value);
      filterRange.emplace(value, end);
      k.sql = c + " >= ?";
      k.binds.push_back(Bind::Of(FieldValue::Of(value)));
      if (!end.empty()) {
        k.sql += " AND " + c + " < ?";
        k.binds.push_back(Bind::Of(FieldValue::Of(end)));
      }
    } else {
      k.sql = EqualsSql(col, c, false, FieldValue::Of(value), k.binds);
    }
  } else {
    if (prefix) BadFilter(path, "'*' needs a text field");
    if (value.empty()) {
      k.sql = c + " IS NULL";
    } else {
      FieldValue v;
      try {
        v = Convert(col, FieldValue::Of(value));
      } catch (const std::exception&) {
        BadFilter(path, "value does not fit field " + f.name);
      }
      k.sql = c + " = ?";
      k.binds.push_back(Bind::Of(v));
    }
  }
  // The same test with "+field": SQLite then serves it by no index.
  k.sqlNoIndex = k.sql;
  for (size_t at = 0; (at = k.sqlNoIndex.find(c, at)) != std::string::npos; at += c.size() + 1)
    k.sqlNoIndex.insert(at, "+");
  filterCol = col;
  filterConstraint = std::move(k);
}

std::vector<Constraint> MT::Impl::Constraints(bool walkingOrder) const {
  std::vector<Constraint> out;
  if (filterConstraint) {
    out.push_back(*filterConstraint);
    if (walkingOrder && filterDense.value_or(false)) out.back().sql = out.back().sqlNoIndex;
  }
  if (master) {
    Constraint k;
    const MT::Impl& m = *master->d;
    const std::vector<FieldValue>& mv = m.Values();
    int mcol = -1, dcol = -1;
    if (m.active && !mv.empty()) {
      const auto& mf = m.conn.layout().fields;
      for (size_t i = 0; i < mf.size(); ++i)
        if (mtimpl::SameName(mf[i].name, masterField)) mcol = static_cast<int>(i);
      const auto& df = conn.layout().fields;
      for (size_t i = 0; i < df.size(); ++i)
        if (mtimpl::SameName(df[i].name, detailField)) dcol = static_cast<int>(i);
    }
    if (mcol < 0 || dcol < 0) {
      k.sql = "0";  // no master record: no detail records
    } else {
      FieldValue v = mv[mcol];
      try {
        v = Convert(dcol, v);
      } catch (const std::exception&) {
        v = FieldValue();
      }
      k.sql = EqualsSql(dcol, Quote(conn.layout().fields[dcol].name), false, v, k.binds);
    }
    out.push_back(std::move(k));
  }
  return out;
}

// --- scanning -----------------------------------------------------------

// Rows of the physical order (index fields ascending, then rowid) after the
// anchor when fwd, before it (nearest first) otherwise. The rows after a key
// split by how long a prefix of the key they share: same key and larger rowid,
// then same first n-1 fields and a larger n-th, and so on; each part is one
// index range, read in order, so the parts are simply concatenated. NULL sorts
// first, as SQLite orders it.
std::vector<Row> MT::Impl::Scan(const Row* anchor, bool fwd, bool inclusive, int limit) {
  std::vector<Row> out;
  if (limit <= 0) return out;
  if (filterConstraint && !filterDense && (orderCols.empty() || orderCols[0] != filterCol || orderCaseless[0])) {
    // A filter on another field than the order's (or on its bytes while the
    // order folds letters): SQLite sorts every match.
    // That is cheap for a few hundred matches; for more, walking the order's
    // index meets matches soon (one in every n/matches records).
    constexpr int64_t kSortAtMost = 500;
    filterDense = false;
    const std::string sql = std::string("SELECT count(*) FROM (SELECT 1 FROM ") + mtimpl::kDataTable + " WHERE " +
                            filterConstraint->sql + " LIMIT ?)";
    std::vector<Bind> binds = filterConstraint->binds;
    binds.push_back(Bind::Id(kSortAtMost + 1));
    sqlite3_stmt* s = conn.Prepare(sql);
    StmtScope scope(s);
    conn.Bind(s, binds);
    int rc = sqlite3_step(s);
    if (rc != SQLITE_ROW) conn.Fail(rc);
    filterDense = sqlite3_column_int64(s, 0) > kSortAtMost;
  }
  const auto& fields = conn.layout().fields;
  std::vector<Constraint> base = Constraints(true);
  if (anchor) BoundByAnchor(*anchor, fwd, base);
  const char* dir = fwd ? "" : " DESC";

  auto run = [&](const std::string& extra, const std::vector<Bind>& extraBinds, size_t fromCol) {
    if (static_cast<int>(out.size()) >= limit) return;
    std::string sql = selectSql;
    std::string where;
    std::vector<Bind> binds;
    for (const Constraint& c : base) {
      where += (where.empty() ? "(" : " AND (") + c.sql + ")";
      binds.insert(binds.end(), c.binds.begin(), c.binds.end());
    }
    if (!extra.empty()) {
      where += (where.empty() ? "" : " AND ") + extra;
      binds.insert(binds.end(), extraBinds.begin(), extraBinds.end());
    }
    if (!where.empty()) sql += " WHERE " + where;
    sql += " ORDER BY ";
    for (size_t j = fromCol; j < orderCols.size(); ++j) sql += OrderTerm(j) + dir + ", ";
    sql += std::string(mtimpl::kIdColumn) + dir + " LIMIT ?";
    binds.push_back(Bind::Id(limit - static_cast<int64_t>(out.size())));
    sqlite3_stmt* s = conn.Prepare(sql);
    StmtScope scope(s);
    conn.Bind(s, binds);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) out.push_back(ReadRow(s));
    if (rc != SQLITE_DONE) conn.Fail(rc);
  };

  if (!anchor) {
    run({}, {}, 0);
    return out;
  }
  const size_t n = orderCols.size();
  if (n == 1 && !orderCaseless[0] && !anchor->vals[orderCols[0]].IsNull()) {
    // One field with a value (the usual case): one range, (field, rowid) past
    // the anchor's, so a step is one statement. Going back, the NULLs that
    // sort before every value follow. (SQLite seeks such a range in an index
    // of fields, not in one of expressions: a case-insensitive order takes
    // the steps below.)
    const std::string c = Quote(fields[orderCols[0]].name);
    const char* op = fwd ? (inclusive ? " >= " : " > ") : (inclusive ? " <= " : " < ");
    const std::vector<Bind> binds = {Bind::Of(anchor->vals[orderCols[0]]), Bind::Id(anchor->id)};
    run("(" + c + ", " + mtimpl::kIdColumn + ")" + op + "(?, ?)", binds, 0);
    if (!fwd) run(c + " IS NULL", {}, 1);
    return out;
  }
  for (size_t level = n + 1; level-- > 0;) {
    if (static_cast<int>(out.size()) >= limit) break;
    std::string pre;
    std::vector<Bind> binds;
    for (size_t j = 0; j < level; ++j) {
      const FieldValue& v = anchor->vals[orderCols[j]];
      const std::string c = OrderTerm(j);
      if (v.IsNull()) {
        pre += c + " IS NULL AND ";
      } else {
        pre += c + " = " + OrderParam(j) + " AND ";
        binds.push_back(Bind::Of(v));
      }
    }
    if (level == n) {
      pre += std::string(mtimpl::kIdColumn) + (fwd ? (inclusive ? " >= ?" : " > ?") : (inclusive ? " <= ?" : " < ?"));
      binds.push_back(Bind::Id(anchor->id));
      run(pre, binds, n);
      continue;
    }
    const FieldValue& v = anchor->vals[orderCols[level]];
    const std::string c = OrderTerm(level);
    const std::string param = OrderParam(level);
    if (fwd) {
      if (v.IsNull()) {
        run(pre + c + " IS NOT NULL", binds, level);
      } else {
        std::vector<Bind> b2 = binds;
        b2.push_back(Bind::Of(v));
        run(pre + c + " > " + param, b2, level);
      }
    } else if (!v.IsNull()) {
      std::vector<Bind> b2 = binds;
      b2.push_back(Bind::Of(v));
      run(pre + c + " < " + param, b2, level);
      run(pre + c + " IS NULL", binds, level + 1);
    }
  }
  return out;
}

// A "begins with" filter on the first field of the primary order, walked from
// a record inside its range: the record bounds the walk on its side, so only
// the filter's far end is kept. SQLite takes one bound per side from the
// index, and given the filter's own it would step over every match between
// that end and the record (a one-letter prefix over most of the table).
void MT::Impl::BoundByAnchor(const Row& anchor, bool fwd, std::vector<Constraint>& base) const {
  if (!filterRange || !filterConstraint || base.empty() || orderCols.empty() || orderCols[0] != filterCol) return;
  bool primary = false;
  for (const mtimpl::IndexDef& idx : conn.layout().indexes)
    if (idx.primary && idx.cols == orderCols) primary = true;
  const FieldValue& v = anchor.vals[static_cast<size_t>(filterCol)];
  const auto& [from, to] = *filterRange;
  if (!primary || v.kind != FieldValue::Kind::Text || v.text < from || (!to.empty() && v.text >= to)) return;
  const std::string c = Quote(conn.layout().fields[static_cast<size_t>(filterCol)].name);
  if (fwd && to.empty()) {  // no far end: every record after the anchor is inside
    base.erase(base.begin());  // the filter comes first
    return;
  }
  Constraint far;
  far.sql = c + (fwd ? " < ?" : " >= ?");
  far.binds.push_back(Bind::Of(FieldValue::Of(fwd ? to : from)));
  far.sqlNoIndex = far.sql;
  base.front() = std::move(far);
}

void MT::Impl::GoFirst() {
  std::vector<Row> rows = Scan(nullptr, LogicalFwd(true), false, 1);
  if (rows.empty()) {
    ClearCurrent();
    bof = eof = true;
  } else {
    SetCurrent(rows[0]);
    bof = true;
    eof = false;
  }
}

void MT::Impl::GoLast() {
  std::vector<Row> rows = Scan(nullptr, LogicalFwd(false), false, 1);
  if (rows.empty()) {
    ClearCurrent();
    bof = eof = true;
  } else {
    SetCurrent(rows[0]);
    bof = false;
    eof = true;
  }
}

bool MT::Impl::Passes(int64_t id) {
  const std::vector<mtimpl::Constraint> ks = Constraints();
  if (ks.empty()) return true;
  std::string sql = std::string("SELECT 1 FROM ") + mtimpl::kDataTable + " WHERE " + mtimpl::kIdColumn + " = ?";
  std::vector<Bind> binds{Bind::Id(id)};
  for (const mtimpl::Constraint& k : ks) {
    sql += " AND (" + k.sql + ")";
    binds.insert(binds.end(), k.binds.begin(), k.binds.end());
  }
  sqlite3_stmt* s = conn.Prepare(sql);
  StmtScope scope(s);
  conn.Bind(s, binds);
  const int rc = sqlite3_step(s);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) conn.Fail(rc);
  return rc == SQLITE_ROW;
}

void MT::Impl::Reposition() {
  if (!hasCur) {
    GoFirst();
    return;
  }
  // Changed elsewhere so that the filter no longer takes it: as if deleted.
  if (std::optional<Row> r = ReadById(cur.id); r && Passes(cur.id)) {
    SetCurrent(*r);
    return;
  }
  // Deleted elsewhere: the record that followed it, else the one before it.
  const Row old = cur;
  std::vector<Row> rows = Scan(&old, LogicalFwd(true), false, 1);
  if (rows.empty()) rows = Scan(&old, LogicalFwd(false), false, 1);
  if (rows.empty()) {
    ClearCurrent();
    bof = eof = true;
  } else {
    SetCurrent(rows[0]);
    bof = eof = false;
  }
}

bool MT::Impl::SameKey(const Row& a, const Row& b) const {
  std::vector<int> cols;
  for (const mtimpl::IndexDef& idx : conn.layout().indexes)
    if (idx.primary) cols = idx.cols;
  if (cols.empty())
    for (size_t i = 0; i < conn.layout().fields.size(); ++i) cols.push_back(static_cast<int>(i));
  for (int c : cols) {
    const auto i = static_cast<size_t>(c);
    if (i >= a.vals.size() || i >= b.vals.size()) return a.vals.size() == b.vals.size();
    const FieldValue& x = a.vals[i];
    const FieldValue& y = b.vals[i];
    if (x.IsNull() || y.IsNull()) {
      if (x.IsNull() != y.IsNull()) return false;
      continue;
    }
    if (x.kind == FieldValue::Kind::Text ? x.text != y.text : x.number != y.number) return false;
  }
  return true;
}

void MT::Impl::CheckBrowseMode() {
  if (state != DataSetState::Edit && state != DataSetState::Insert) return;
  if (modified)
    self->Post();
  else
    self->Cancel();
}

int64_t MT::Impl::Count(int64_t limit) {
  std::string where;
  std::vector<Bind> binds;
  for (const Constraint& c : Constraints()) {
    where += (where.empty() ? "(" : " AND (") + c.sql + ")";
    binds.insert(binds.end(), c.binds.begin(), c.binds.end());
  }
  std::string sql;
  if (limit < 0) {
    sql = std::string("SELECT count(*) FROM ") + mtimpl::kDataTable + (where.empty() ? "" : " WHERE " + where);
  } else {
    sql = std::string("SELECT count(*) FROM (SELECT 1 FROM ") + mtimpl::kDataTable +
          (where.empty() ? "" : " WHERE " + where) + " LIMIT ?)";
    binds.push_back(Bind::Id(limit));
  }
  sqlite3_stmt* s = conn.Prepare(sql);
  StmtScope scope(s);
  conn.Bind(s, binds);
  int rc = sqlite3_step(s);
  if (rc != SQLITE_ROW) conn.Fail(rc);
  return sqlite3_column_int64(s, 0);
}

void MT::Impl::MasterChanged() {
  if (!active) return;
  try {
    CheckBrowseMode();
  } catch (const std::exception&) {
    self->Cancel();
  }
  GoFirst();
  Notify(DataEvent::DataChanged);
}

// Brings a value to the field's type. Text is cut to the field's size.
FieldValue MT::Impl::Convert(int col, const FieldValue& v) const {
  const FieldInfo& f = conn.layout().fields[col];
  if (v.IsNull()) return EmptyIsText(col) ? FieldValue::Of({}) : FieldValue{};
  switch (f.kind) {
    case FieldValue::Kind::Text: {
      SjisString t;
      if (v.kind == FieldValue::Kind::Text) {
        t = v.text;
      } else if (v.kind == FieldValue::Kind::DateTime) {
        t = (v.number == std::floor(v.number)) ? DateStr(v.number) : DateTimeStr(v.number);
      } else {
        char b[32];
        std::snprintf(b, sizeof b, "%.15g", v.number);
        t = b;
      }
      if (f.type == 'A') t = mtimpl::CutToSize(t, static_cast<size_t>(f.size));
      if (t.empty() && !EmptyIsText(col)) return {};
      return FieldValue::Of(t);
    }
    case FieldValue::Kind::Number:
    case FieldValue::Kind::DateTime: {
      double x = v.number;
      if (v.kind == FieldValue::Kind::Text) {
        const std::string t = Trim(v.text);
        if (t.empty()) return {};
        if (f.kind == FieldValue::Kind::DateTime) {
          if (!mtimpl::ParseDateText(t, &x))
            mtimpl::ThrowStore(SQLITE_MISMATCH, "'" + t + "' is not a valid date and time", self->FilePath());
        } else {
          char* end = nullptr;
          x = std::strtod(t.c_str(), &end);
          if (*end != '\0' || !std::isfinite(x))
            mtimpl::ThrowStore(SQLITE_MISMATCH, "'" + t + "' is not a valid number", self->FilePath());
        }
      }
      FieldValue out;
      out.kind = f.kind;
      out.number = x;
      return out;
    }
    case FieldValue::Kind::Null: break;
  }
  return {};
}

// --- public: order, filter, master -------------------------------------

namespace {

// Switches to an order given by index name or by index field names (one of
// them empty); the current record stays current. A closed table only notes it.
void SwitchOrder(MT::Impl& d, const std::string& name, const std::string& fields) {
  if (!d.active) {
    d.indexName = name;
    d.indexFieldNames = fields;
    return;
  }
  d.CheckBrowseMode();
  const std::string oldName = d.indexName, oldFields = d.indexFieldNames;
  d.indexName = name;
  d.indexFieldNames = fields;
  try {
    d.ResolveOrder();
  } catch (...) {
    d.indexName = oldName;
    d.indexFieldNames = oldFields;
    throw;
  }
  // The current record stays current: its key in the new order is at hand.
  if (!d.hasCur) d.GoFirst();
  else d.bof = d.eof = false;
  d.Notify(DataEvent::DataChanged);
}

}  // namespace

void MT::SetIndexName(const std::string& indexName) { SwitchOrder(*d, indexName, {}); }

std::string MT::IndexName() const { return d->indexFieldNames.empty() ? d->indexName : std::string(); }

void MT::SetIndexFieldNames(const std::string& fieldNames) { SwitchOrder(*d, {}, fieldNames); }

std::string MT::IndexFieldNames() const { return d->indexFieldNames; }

void MT::SetFilter(const std::string& filter) {
  if (!d->active || !d->filtered) {
    d->filterText = filter;
    return;
  }
  d->CheckBrowseMode();
  const std::string old = d->filterText;
  d->filterText = filter;
  try {
    d->ResolveFilter();
  } catch (...) {
    d->filterText = old;
    d->ResolveFilter();
    throw;
  }
  d->GoFirst();
  d->Notify(DataEvent::DataChanged);
}

const std::string& MT::Filter() const { return d->filterText; }

void MT::SetFiltered(bool on) {
  if (!d->active) {
    d->filtered = on;
    return;
  }
  if (on == d->filtered) return;
  d->CheckBrowseMode();
  d->filtered = on;
  try {
    d->ResolveFilter();
  } catch (...) {
    d->filtered = !on;
    d->ResolveFilter();
    throw;
  }
  d->GoFirst();
  d->Notify(DataEvent::DataChanged);
}

bool MT::Filtered() const { return d->filtered; }

void MT::SetMasterSource(MT* master, const std::string& masterField, const std::string& detailField) {
  if (d->master) {
    d->master->RemoveListener(d->masterLink.get());
    auto& ds = d->master->d->details;
    ds.erase(std::remove(ds.begin(), ds.end(), this), ds.end());
    d->master = nullptr;
  }
  d->masterField = masterField;
  d->detailField = detailField.empty() ? masterField : detailField;
  if (master && master != this) {
    d->master = master;
    if (!d->masterLink) d->masterLink = std::make_unique<Impl::MasterLink>(d.get());
    master->AddListener(d->masterLink.get());
    master->d->details.push_back(this);
  }
  d->MasterChanged();
}

// --- public: navigation -------------------------------------------------

void MT::First() {
  d->CheckActive();
  d->CheckBrowseMode();
  d->GoFirst();
  d->Notify(DataEvent::RecordMoved);
}

void MT::Last() {
  d->CheckActive();
  d->CheckBrowseMode();
  d->GoLast();
  d->Notify(DataEvent::RecordMoved);
}

namespace {

// One record forward or back in the current order; at the end it sets the
// end flag of that direction and stays.
void Step(MT::Impl& d, bool forward) {
  d.CheckActive();
  d.CheckBrowseMode();
  bool& atEnd = forward ? d.eof : d.bof;
  if (atEnd) return;
  if (!d.hasCur) {
    atEnd = true;
    return;
  }
  const Row anchor = d.cur;
  std::vector<Row> rows = d.Scan(&anchor, d.LogicalFwd(forward), false, 1);
  if (rows.empty()) {
    atEnd = true;
    return;
  }
  d.SetCurrent(rows[0]);
  d.bof = d.eof = false;
  d.Notify(DataEvent::RecordMoved);
}

}  // namespace

void MT::Next() { Step(*d, true); }
void MT::Prior() { Step(*d, false); }

bool MT::Eof() const { return !d->active || d->eof; }
bool MT::Bof() const { return !d->active || d->bof; }

bool MT::IsEmpty() {
  d->CheckActive();
  if (d->state == DataSetState::Insert) return false;
  return d->Count(1) == 0;
}

int64_t MT::RecordCount() {
  d->CheckActive();
  return d->Count(-1);
}

int64_t MT::CountAtMost(int64_t limit) {
  d->CheckActive();
  if (limit <= 0) return 0;
  return d->Count(limit);
}

bool MT::FindKey(const std::vector<FieldValue>& key) {
  d->CheckActive();
  d->CheckBrowseMode();
  if (key.empty() || key.size() > d->orderCols.size())
    mtimpl::ThrowStore(SQLITE_ERROR, "Key does not match the index fields", FilePath());
  std::string where;
  std::vector<Bind> binds;
  for (const Constraint& c : d->Constraints()) {
    where += (where.empty() ? "(" : " AND (") + c.sql + ")";
    binds.insert(binds.end(), c.binds.begin(), c.binds.end());
  }
  // A case-insensitive index finds its keys case-insensitively.
  for (size_t j = 0; j < key.size(); ++j) {
    const int col = d->orderCols[j];
    if (!where.empty()) where += " AND ";
    where += d->EqualsSql(col, d->OrderTerm(j), d->orderCaseless[j], d->Convert(col, key[j]), binds);
  }
  const char* dir = d->orderDesc ? " DESC" : "";
  std::string sql = d->selectSql + " WHERE " + where + " ORDER BY ";
  for (size_t j = key.size(); j < d->orderCols.size(); ++j) sql += d->OrderTerm(j) + dir + ", ";
  sql += std::string(mtimpl::kIdColumn) + dir + " LIMIT 1";
  sqlite3_stmt* s = d->conn.Prepare(sql);
  std::optional<Row> found;
  {
    StmtScope scope(s);
    d->conn.Bind(s, binds);
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) found = d->ReadRow(s);
    else if (rc != SQLITE_DONE) d->conn.Fail(rc);
  }
  if (!found) return false;
  d->SetCurrent(*found);
  d->bof = d->eof = false;
  d->Notify(DataEvent::RecordMoved);
  return true;
}

bool MT::FindKey(const SjisString& textKey) { return FindKey(std::vector<FieldValue>{FieldValue::Of(textKey)}); }

Bookmark MT::GetBookmark() const {
  if (!d->active || !d->hasCur || d->state == DataSetState::Insert) return 0;
  return d->cur.id;
}

bool MT::RecordUnchanged() {
  if (!d->active || !d->hasCur) return false;
  const std::optional<Row> fresh = d->ReadById(d->cur.id);
  return fresh && d->SameKey(*fresh, d->cur);
}

bool MT::BookmarkValid(Bookmark b) {
  if (!d->active || b == 0) return false;
  return d->ReadById(b).has_value();
}

void MT::GotoBookmark(Bookmark b) {
  d->CheckActive();
  d->CheckBrowseMode();
  std::optional<Row> r = b ? d->ReadById(b) : std::nullopt;
  if (!r) mtimpl::ThrowStore(SQLITE_NOTFOUND, "Record not found", FilePath());
  d->SetCurrent(*r);
  d->bof = d->eof = false;
  d->Notify(DataEvent::RecordMoved);
}

void MT::Refresh() {
  d->CheckActive();
  d->CheckBrowseMode();
  d->Reposition();
  d->Notify(DataEvent::DataChanged);
}

bool MT::SkipNext(int n) {
  for (int i = 0; i < n && !Eof(); ++i) Next();
  return true;
}

bool MT::SkipPrior(int n) {
  for (int i = 0; i < n && !Bof(); ++i) Prior();
  return true;
}

// --- public: rows for display ------------------------------------------

std::vector<RowView> MT::RowsAround(int before, int after, int* currentIndex) {
  std::vector<RowView> out;
  int ci = -1;
  if (d->active) {
    before = std::max(before, 0);
    after = std::max(after, 0);
    std::vector<Row> prev, next;
    bool haveCurrent = true;
    if (d->state == DataSetState::Insert) {
      // The new record shows where it was begun: before the record that was
      // current (Insert) or after the last one (Append).
      if (d->appending || !d->hadCurBeforeInsert) {
        prev = d->Scan(nullptr, d->LogicalFwd(false), false, before);
      } else {
        prev = d->Scan(&d->beforeInsert, d->LogicalFwd(false), false, before);
        next = d->Scan(&d->beforeInsert, d->LogicalFwd(true), true, after);
      }
    } else if (d->hasCur) {
      prev = d->Scan(&d->cur, d->LogicalFwd(false), false, before);
      next = d->Scan(&d->cur, d->LogicalFwd(true), false, after);
    } else {
      next = d->Scan(nullptr, d->LogicalFwd(true), false, after + 1);
      haveCurrent = false;
    }
    std::reverse(prev.begin(), prev.end());
    for (const Row& r : prev) out.push_back(d->ToView(r));
    if (haveCurrent) {
      ci = static_cast<int>(out.size());
      out.push_back(RowView{GetBookmark(), d->Values()});
    }
    for (const Row& r : next) out.push_back(d->ToView(r));
  }
  if (currentIndex) *currentIndex = ci;
  return out;
}

std::vector<RowView> MT::RowsFrom(Bookmark from, int count) {
  std::vector<RowView> out;
  if (!d->active || count == 0) return out;
  const bool fwd = count > 0;
  const int n = fwd ? count : -count;
  std::vector<Row> rows;
  if (from == 0) {
    rows = d->Scan(nullptr, d->LogicalFwd(fwd), false, n);
  } else {
    std::optional<Row> anchor = d->ReadById(from);
    if (!anchor) return out;
    rows = d->Scan(&*anchor, d->LogicalFwd(fwd), true, n);
  }
  if (!fwd) std::reverse(rows.begin(), rows.end());
  for (const Row& r : rows) out.push_back(d->ToView(r));
  return out;
}

}  // namespace wendul
