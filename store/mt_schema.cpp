// Table files: the SQLite connection, layout declarations and their schema.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "store/mt_internal.h"
#include "util/codec.h"
#include "util/strutil.h"

namespace wendul::mtimpl {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t p = s.find(sep, start);
    out.push_back(Trim(s.substr(start, p == std::string::npos ? std::string::npos : p - start)));
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

int FindField(const std::vector<FieldInfo>& fields, const std::string& name) {
  for (size_t i = 0; i < fields.size(); ++i)
    if (SameName(fields[i].name, name)) return static_cast<int>(i);
  return -1;
}

}  // namespace

std::vector<int> ResolveFields(const std::vector<FieldInfo>& fields, const std::string& list,
                               const std::string& path) {
  std::vector<int> cols;
  for (const std::string& name : SplitFieldList(list)) {
    int c = FindField(fields, name);
    if (c < 0) ThrowStore(SQLITE_ERROR, "Field '" + name + "' not found", path);
    cols.push_back(c);
  }
  if (cols.empty()) ThrowStore(SQLITE_ERROR, "No index fields given", path);
  return cols;
}

std::string JoinFieldNames(const std::vector<FieldInfo>& fields, const std::vector<int>& cols) {
  std::string s;
  for (int c : cols) {
    if (!s.empty()) s += ';';
    s += fields[c].name;
  }
  return s;
}

Bind Bind::Of(const FieldValue& v) {
  Bind b;
  switch (v.kind) {
    case FieldValue::Kind::Null: break;
    case FieldValue::Kind::Text: b.k = K::Blob; b.blob = v.text; break;
    case FieldValue::Kind::Number:
    case FieldValue::Kind::DateTime: b.k = K::Real; b.real = v.number; break;
  }
  return b;
}

namespace {
// The engine's own entry only: the table is named by whoever reports the error.
std::vector<DBErrorEntry> Entries(const std::string& message, uint32_t extended, uint32_t native) {
  DBErrorEntry e;
  e.message = message;
  e.category = static_cast<int>(extended & 0xff);
  e.errorCode = extended;
  e.subCode = extended >> 8;
  e.nativeCode = native;
  return {e};
}
}  // namespace

void ThrowStore(int code, const std::string& message, const std::string& /*path*/) {
  throw EDBEngineError(message, Entries(message, static_cast<uint32_t>(code), 0));
}

void ThrowSqlite(sqlite3* db, int rc, const std::string& /*path*/) {
  uint32_t extended = static_cast<uint32_t>(rc);
  std::string message = sqlite3_errstr(rc);
  uint32_t native = 0;
  if (db) {
    int ext = sqlite3_extended_errcode(db);
    if ((ext & 0xff) == (rc & 0xff)) {
      extended = static_cast<uint32_t>(ext);
      message = sqlite3_errmsg(db);
    }
    native = static_cast<uint32_t>(sqlite3_system_errno(db));
  }
  throw EDBEngineError(message, Entries(message, extended, native));
}

std::string Quote(const std::string& identifier) { return "\"" + identifier + "\""; }

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || (i > 0 && c >= '0' && c <= '9');
    if (!ok) return false;
  }
  return true;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> SplitFieldList(const std::string& list) {
  std::vector<std::string> out;
  for (std::string& s : Split(list, ';'))
    if (!s.empty()) out.push_back(s);
  return out;
}

SjisString CutToSize(const SjisString& text, size_t max) {
  if (text.size() <= max) return text;
  size_t i = 0;
  while (i < text.size()) {
    size_t len = (IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
    if (i + len > max) break;
    i += len;
  }
  return text.substr(0, i);
}

std::string OrderTerm(const FieldInfo& f, bool caseless) {
  if (!caseless || f.kind != FieldValue::Kind::Text) return Quote(f.name);
  // Text is stored as bytes (BLOB), which SQLite compares byte by byte
  // whatever the collation; as TEXT the collation decides.
  return "CAST(" + Quote(f.name) + " AS TEXT) COLLATE " + kCaselessCollation;
}

const char* OrderParam(bool caseless) { return caseless ? "CAST(? AS TEXT)" : "?"; }

namespace {

// kCaselessCollation: Shift-JIS bytes with the ASCII letters A-Z and a-z
// folded where a character starts. The byte after a lead byte is never
// folded: when it is a letter (0x41-0x7A) it is that character's trail byte
// (ア is 0x83 0x41, ャ 0x83 0x61). Both texts agree up to the first
// difference, so one reading of character starts serves both.
int CompareCaseless(void*, int n1, const void* p1, int n2, const void* p2) {
  const auto* a = static_cast<const unsigned char*>(p1);
  const auto* b = static_cast<const unsigned char*>(p2);
  const int n = std::min(n1, n2);
  for (int i = 0; i < n; ++i) {
    unsigned x = a[i], y = b[i];
    if (x == y) {
      if (IsSjisLeadByte(static_cast<unsigned char>(x)) && ++i < n && a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
      continue;
    }
    if (x >= 'A' && x <= 'Z') x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z') y += 'a' - 'A';
    if (x != y) return x < y ? -1 : 1;
  }
  return n1 < n2 ? -1 : n1 > n2 ? 1 : 0;
}

}  // namespace

Layout ParseDeclarations(const std::vector<std::string>& decls, const std::string& path) {
  Layout layout;
  struct PendingIndex { std::string fields; bool primary; };
  std::vector<PendingIndex> pending;
  for (const std::string& decl : decls) {
    std::vector<std::string> parts = Split(decl, ',');
    auto bad = [&]() { ThrowStore(SQLITE_ERROR, "Invalid field declaration '" + decl + "'", path); };
    if (parts.size() < 2 || parts[1].size() != 1) bad();
    const char letter = parts[1][0];
    if (letter == 'P' || letter == 'p' || letter == 'i') {
      if (parts.size() != 2) bad();
      for (const std::string& f : SplitFieldList(parts[0]))
        if (!ValidName(f)) bad();
      pending.push_back({parts[0], letter != 'i'});
      continue;
    }
    FieldInfo f;
    f.name = parts[0];
    if (!ValidName(f.name) || SameName(f.name, kIdColumn)) bad();
    if (FindField(layout.fields, f.name) >= 0) ThrowStore(SQLITE_ERROR, "Duplicate field '" + f.name + "'", path);
    switch (letter) {
      case 'A': case 'a': {
        if (parts.size() != 3) bad();
        char* end = nullptr;
        long n = std::strtol(parts[2].c_str(), &end, 10);
        if (parts[2].empty() || *end != '\0' || n <= 0 || n > 1000000) bad();
        f.type = 'A';
        f.size = static_cast<int>(n);
        f.kind = FieldValue::Kind::Text;
        break;
      }
      case 'M': case 'm': f.type = 'M'; f.kind = FieldValue::Kind::Text; break;
      case 'N': case 'n': f.type = 'N'; f.kind = FieldValue::Kind::Number; break;
      case '@': f.type = '@'; f.kind = FieldValue::Kind::DateTime; break;
      default: bad();
    }
    if (letter != 'A' && letter != 'a' && parts.size() != 2) bad();
    layout.fields.push_back(f);
  }
  if (layout.fields.empty()) ThrowStore(SQLITE_ERROR, "No fields declared", path);
  for (const PendingIndex& p : pending) {
    IndexDef idx;
    idx.cols = ResolveFields(layout.fields, p.fields, path);
    idx.primary = p.primary;
    idx.descending = !p.primary;
    idx.caseless = !p.primary;
    idx.name = p.primary ? std::string() : "IDX_" + JoinFieldNames(layout.fields, idx.cols);
    if (!p.primary && !ValidName(idx.name)) ThrowStore(SQLITE_ERROR, "Invalid index name", path);
    // A later declaration of the same index replaces the earlier one.
    for (auto it = layout.indexes.begin(); it != layout.indexes.end(); ++it)
      if (it->primary == idx.primary && SameName(it->name, idx.name)) {
        layout.indexes.erase(it);
        break;
      }
    layout.indexes.push_back(idx);
  }
  return layout;
}

// --- Connection --------------------------------------------------------

Connection::~Connection() { Close(); }

void Connection::Close() {
  for (auto& [sql, s] : stmts_) sqlite3_finalize(s);
  stmts_.clear();
  if (db_) {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db_);
    db_ = nullptr;
  }
  layout_ = Layout();
}

void Connection::Fail(int rc) { ThrowSqlite(db_, rc, path_); }

void Connection::Exec(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
}

sqlite3_stmt* Connection::Prepare(const std::string& sql) {
  auto it = stmts_.find(sql);
  if (it != stmts_.end()) return it->second;
  sqlite3_stmt* s = nullptr;
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &s,
                              nullptr);
  if (rc != SQLITE_OK) Fail(rc);
  stmts_.emplace(sql, s);
  return s;
}

void Connection::Bind(sqlite3_stmt* s, const std::vector<mtimpl::Bind>& binds) {
  int i = 1;
  for (const mtimpl::Bind& b : binds) {
    int rc = SQLITE_OK;
    switch (b.k) {
      case Bind::K::Null: rc = sqlite3_bind_null(s, i); break;
      case Bind::K::Blob:
        // An empty blob must stay a blob: a null pointer would bind NULL.
        rc = b.blob.empty() ? sqlite3_bind_zeroblob(s, i, 0)
                            : sqlite3_bind_blob(s, i, b.blob.data(), static_cast<int>(b.blob.size()),
                                                SQLITE_STATIC);
        break;
      case Bind::K::Real: rc = sqlite3_bind_double(s, i, b.real); break;
      case Bind::K::Int: rc = sqlite3_bind_int64(s, i, b.i); break;
    }
    if (rc != SQLITE_OK) Fail(rc);
    ++i;
  }
}

void Connection::Begin(int waitMs) {
  // A write lock held elsewhere is waited for only briefly (see kWriteWaitMs).
  sqlite3_busy_timeout(db_, waitMs);
  StmtScope s(Prepare("BEGIN IMMEDIATE"));
  int rc = sqlite3_step(s.get());
  sqlite3_busy_timeout(db_, readWait_);
  if (rc != SQLITE_DONE) Fail(rc);
}

void Connection::SetReadWait(int ms) {
  readWait_ = ms;
  if (db_) sqlite3_busy_timeout(db_, ms);
}

void Connection::Commit() {
  StmtScope s(Prepare("COMMIT"));
  int rc = sqlite3_step(s.get());
  if (rc != SQLITE_DONE) Fail(rc);
}

void Connection::Rollback() {
  if (!db_ || sqlite3_get_autocommit(db_)) return;
  StmtScope s(Prepare("ROLLBACK"));
  sqlite3_step(s.get());
}

bool Connection::InTransaction() const { return db_ && !sqlite3_get_autocommit(db_); }

namespace {

// The engine gives its log and shared-memory files the table file's mode when
// it makes them. A table that was read-only leaves them read-only after it
// has been made writable again, and the engine then refuses every write; ours
// follow the table file's mode once more.
void FollowTableFileMode(const std::string& path) {
  struct stat table {};
  if (::stat(path.c_str(), &table) != 0 || ::access(path.c_str(), W_OK) != 0) return;
  for (const char* suffix : {"-wal", "-shm"}) {
    const std::string side = path + suffix;
    struct stat st {};
    if (::stat(side.c_str(), &st) != 0 || st.st_uid != ::geteuid() || ::access(side.c_str(), W_OK) == 0) continue;
    ::chmod(side.c_str(), table.st_mode & 07777);
  }
}

}  // namespace

namespace {

uint32_t BigEndian(const unsigned char* p, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

// A table file cut short (a copy that stopped, a full disk) fails at once
// instead of when the missing pages are read. The header's page count is
// trusted only as the engine trusts it, and not while a log exists: the log
// may still hold pages that an interrupted copy into the file left out.
void CheckNotTruncated(const std::string& path) {
  std::error_code ec;
  if (fs::exists(path + "-wal", ec) && fs::file_size(path + "-wal", ec) > 0) return;
  const uintmax_t size = fs::file_size(path, ec);
  if (ec || size < 100) return;
  unsigned char h[100];
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return;
  const size_t got = std::fread(h, 1, sizeof h, f);
  std::fclose(f);
  if (got != sizeof h || std::memcmp(h, "SQLite format 3", 16) != 0) return;
  uint32_t pageSize = BigEndian(h + 16, 2);
  if (pageSize == 1) pageSize = 65536;
  const uint32_t pages = BigEndian(h + 28, 4);
  const bool countValid = pages > 0 && BigEndian(h + 24, 4) == BigEndian(h + 92, 4);
  if (countValid && static_cast<uintmax_t>(pages) * pageSize > size)
    ThrowStore(SQLITE_CORRUPT, "Table file is truncated: " + std::to_string(size) + " of " +
                                   std::to_string(static_cast<uintmax_t>(pages) * pageSize) + " bytes",
               path);
}

}  // namespace

// A file of another layout (another table's file under this name) is not
// taken for this table: the fields of its declared key must be there, of
// their kind. (Other declared fields may be missing from a file made before
// they were declared; they fail when used.)
void Connection::CheckLayout(const Layout& declared) {
  std::string columns;
  std::vector<FieldInfo> key;
  for (const IndexDef& idx : declared.indexes)
    if (idx.primary)
      for (int c : idx.cols) key.push_back(declared.fields[static_cast<size_t>(c)]);
  if (key.empty()) key = declared.fields;
  for (const FieldInfo& want : key) {
    const auto& have = layout_.fields;
    auto it = std::find_if(have.begin(), have.end(), [&](const FieldInfo& f) { return SameName(f.name, want.name); });
    if (it == have.end() || it->kind != want.kind)
      ThrowStore(SQLITE_NOTADB, "Table file has another layout (field " + want.name + ")", path_);
  }
  for (const FieldInfo& f : layout_.fields) columns += (columns.empty() ? "" : ", ") + Quote(f.name);
  // The data itself must have the fields the layout names.
  sqlite3_stmt* s = nullptr;
  const std::string sql = "SELECT " + columns + " FROM " + kDataTable + " LIMIT 0";
  const int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr);
  sqlite3_finalize(s);
  if (rc != SQLITE_OK) ThrowStore(SQLITE_NOTADB, "Table file has another layout (" + std::string(sqlite3_errmsg(db_)) + ")", path_);
}

namespace {

// The file as an SQLite URI that reads it as unchanging: every byte but the
// unreserved ones and '/' escaped, so '?', '#' and '%' in a name stay a name.
std::string ImmutableUri(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += hex[c >> 4];
      uri += hex[c & 15];
    }
  }
  return uri + "?immutable=1";
}

}  // namespace

void Connection::Open(const std::string& path, const std::vector<std::string>& decls, bool readOnly,
                      int extraFlags) {
  try {
    OpenAs(path, decls, readOnly, false, extraFlags);
  } catch (const EDBEngineError& e) {
    // A file system mounted read-only: the engine cannot make the
    // shared-memory file a log-mode file needs, though nothing can change
    // the file there. Read it as unchanging.
    if (!readOnly || e.errors.empty() || e.errors[0].category != SQLITE_CANTOPEN) throw;
    std::error_code ec;
    if (!fs::exists(path, ec)) throw;
    OpenAs(path, decls, readOnly, true, extraFlags);
  }
}

void Connection::OpenAs(const std::string& path, const std::vector<std::string>& decls, bool readOnly,
                        bool immutable, int extraFlags) {
  Close();
  path_ = path;
  std::error_code ec;
  const bool exists = fs::exists(path, ec);
  if (!exists) {
    if (decls.empty() || readOnly) ThrowStore(SQLITE_CANTOPEN, "Table does not exist", path);
    ParseDeclarations(decls, path);  // refuse bad declarations before creating anything
    fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) {
      fs::create_directories(parent, ec);
      if (ec) ThrowStore(SQLITE_CANTOPEN, "Cannot create folder " + parent.string() + ": " + ec.message(), path);
    }
  }
  if (exists) CheckNotTruncated(path);
  if (exists && !readOnly) FollowTableFileMode(path);
  try {
    int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE)) | extraFlags;
    if (immutable) flags |= SQLITE_OPEN_URI;
    int rc = sqlite3_open_v2(immutable ? ImmutableUri(path).c_str() : path.c_str(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
    sqlite3_extended_result_codes(db_, 1);
    rc = sqlite3_create_collation_v2(db_, kCaselessCollation, SQLITE_UTF8, nullptr, CompareCaseless, nullptr);
    if (rc != SQLITE_OK) Fail(rc);
    // Reads may wait a moment for another process that briefly holds the
    // file exclusively (WAL recovery or reset); taking the write lock never
    // waits (Begin).
    sqlite3_busy_timeout(db_, readWait_);
    Exec("PRAGMA synchronous=NORMAL");
    // The log is copied back into the file (with two disk flushes) when it
    // holds this many pages: rarely during typing, and the application copies
    // it at idle moments (CheckpointIfIdle). Below 4096 pages, so looking a
    // page up in the log stays one hash probe.
    Exec("PRAGMA wal_autocheckpoint=4000");
    Exec("PRAGMA cache_size=-8192");
    // No memory mapping: a connection whose file another connection changed
    // (the similar-word view after every learning commit) drops the whole
    // mapping and faults it back in page by page, which costs more than
    // reading the few pages it needs again.
    Exec("PRAGMA mmap_size=0");
    bool isTable = false, isEmptyFile = false;
    {
      StmtScope s(Prepare("SELECT (SELECT count(*) FROM sqlite_master WHERE name='mt_field'),"
                          " (SELECT count(*) FROM sqlite_master)"));
      int rc2 = sqlite3_step(s.get());
      if (rc2 != SQLITE_ROW) Fail(rc2);
      isTable = sqlite3_column_int(s.get(), 0) > 0;
      isEmptyFile = sqlite3_column_int(s.get(), 1) == 0;
    }
    if (!isTable) {
      if (!isEmptyFile || decls.empty()) ThrowStore(SQLITE_NOTADB, "Not a table file", path);
      CreateSchema(ParseDeclarations(decls, path));
      ReloadLayout();
    } else {
      // Nothing is written to a file before it is known to be this table's.
      ReloadLayout();
      if (!decls.empty()) CheckLayout(ParseDeclarations(decls, path));
      // WAL is kept by the file; a file made elsewhere gets it on first use.
      StmtScope s(Prepare("PRAGMA journal_mode"));
      const int rc2 = sqlite3_step(s.get());
      const auto* mode = rc2 == SQLITE_ROW ? reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0)) : nullptr;
      if (mode && std::string(mode) != "wal" && !readOnly) {
        sqlite3_reset(s.get());
        sqlite3_exec(db_, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
      }
    }
    if (!readOnly) UpgradeIndexes();
  } catch (...) {
    Close();
    throw;
  }
}

// Secondary indexes of a file made when their text fields were ordered by
// bytes are rebuilt case-insensitive, once. A file that cannot be written
// now (read-only, or another writer holds it) keeps them as they are and
// works in byte order; the next open tries again.
void Connection::UpgradeIndexes() {
  std::vector<IndexDef> stale;
  for (const IndexDef& idx : layout_.indexes)
    if (!idx.primary && !idx.caseless) stale.push_back(idx);
  if (stale.empty()) return;
  try {
    Begin(std::min(kWriteWaitMs, readWait_));
    for (IndexDef& idx : stale) {
      idx.caseless = true;
      WriteIndex(idx);
    }
    Commit();
  } catch (const EDBEngineError&) {
    Rollback();
    return;
  }
  ReloadLayout();
}

void Connection::CreateSchema(const Layout& layout) {
  Exec("PRAGMA journal_mode=WAL");
  Begin(std::min(kWriteWaitMs, readWait_));
  try {
    Exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
    Exec("CREATE TABLE mt_field(pos INTEGER PRIMARY KEY, name TEXT NOT NULL, type TEXT NOT NULL,"
         " size INTEGER NOT NULL)");
    Exec("CREATE TABLE mt_index(name TEXT PRIMARY KEY, fields TEXT NOT NULL, is_primary INTEGER NOT NULL,"
         " descending INTEGER NOT NULL)");
    std::string create = std::string("CREATE TABLE ") + kDataTable + "(" + kIdColumn + " INTEGER PRIMARY KEY";
    for (size_t i = 0; i < layout.fields.size(); ++i) {
      const FieldInfo& f = layout.fields[i];
      create += ", " + Quote(f.name) + (f.kind == FieldValue::Kind::Text ? " BLOB" : " REAL");
      StmtScope s(Prepare("INSERT INTO mt_field(pos, name, type, size) VALUES(?, ?, ?, ?)"));
      sqlite3_bind_int(s.get(), 1, static_cast<int>(i));
      sqlite3_bind_text(s.get(), 2, f.name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s.get(), 3, std::string(1, f.type).c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(s.get(), 4, f.size);
      int rc = sqlite3_step(s.get());
      if (rc != SQLITE_DONE) Fail(rc);
    }
    create += ")";
    Exec(create.c_str());
    layout_ = layout;
    for (const IndexDef& idx : layout.indexes) WriteIndex(idx);
    Commit();
  } catch (...) {
    Rollback();
    throw;
  }
}

void Connection::WriteIndex(const IndexDef& idx) {
  std::string cols;
  for (int c : idx.cols) cols += (cols.empty() ? "" : ", ") + OrderTerm(layout_.fields[c], idx.caseless);
  const std::string sqlName = idx.primary ? kPrimaryIndexSql : kSecondaryPrefixSql + idx.name;
  Exec(("DROP INDEX IF EXISTS " + Quote(sqlName)).c_str());
  Exec(((idx.primary ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + Quote(sqlName) + " ON " + kDataTable + "(" +
        cols + ")")
           .c_str());
  {
    StmtScope s(Prepare(idx.primary ? "DELETE FROM mt_index WHERE is_primary = 1"
                                    : "DELETE FROM mt_index WHERE name = ? COLLATE NOCASE"));
    if (!idx.primary) sqlite3_bind_text(s.get(), 1, idx.name.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(s.get());
    if (rc != SQLITE_DONE) Fail(rc);
  }
  StmtScope s(Prepare("INSERT INTO mt_index(name, fields, is_primary, descending) VALUES(?, ?, ?, ?)"));
  const std::string fields = JoinFieldNames(layout_.fields, idx.cols);
  sqlite3_bind_text(s.get(), 1, idx.name.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(s.get(), 2, fields.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_int(s.get(), 3, idx.primary ? 1 : 0);
  sqlite3_bind_int(s.get(), 4, idx.descending ? 1 : 0);
  int rc = sqlite3_step(s.get());
  if (rc != SQLITE_DONE) Fail(rc);
}

void Connection::ReloadLayout() {
  Layout l;
  {
    StmtScope s(Prepare("SELECT name, type, size FROM mt_field ORDER BY pos"));
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
      FieldInfo f;
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
      if (!name) ThrowStore(SQLITE_CORRUPT, "Invalid field name in table file", path_);
      f.name = name;
      const char* type = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
      f.type = type && *type ? type[0] : 'A';
      f.size = sqlite3_column_int(s.get(), 2);
      f.kind = (f.type == 'N') ? FieldValue::Kind::Number
               : (f.type == '@') ? FieldValue::Kind::DateTime
                                 : FieldValue::Kind::Text;
      if (!ValidName(f.name)) ThrowStore(SQLITE_CORRUPT, "Invalid field name in table file", path_);
      l.fields.push_back(f);
    }
    if (rc != SQLITE_DONE) Fail(rc);
  }
  {
    StmtScope s(Prepare("SELECT name, fields, is_primary, descending FROM mt_index"));
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
      IndexDef idx;
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 0));
      const auto* list = reinterpret_cast<const char*>(sqlite3_column_text(s.get(), 1));
      if (!name || !list) ThrowStore(SQLITE_CORRUPT, "Invalid index in table file", path_);
      idx.name = name;
      std::string fields = list;
      idx.primary = sqlite3_column_int(s.get(), 2) != 0;
      idx.descending = sqlite3_column_int(s.get(), 3) != 0;
      idx.cols = ResolveFields(l.fields, fields, path_);
      l.indexes.push_back(idx);
    }
    if (rc != SQLITE_DONE) Fail(rc);
  }
  // A secondary index is case-insensitive when every text field in it is
  // keyed by the caseless collation.
  for (IndexDef& idx : l.indexes) {
    if (idx.primary) continue;
    int texts = 0;
    for (int c : idx.cols) texts += l.fields[c].kind == FieldValue::Kind::Text;
    StmtScope s(Prepare("SELECT count(*) FROM pragma_index_xinfo(?) WHERE key AND coll = ? COLLATE NOCASE"));
    const std::string sqlName = kSecondaryPrefixSql + idx.name;
    sqlite3_bind_text(s.get(), 1, sqlName.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s.get(), 2, kCaselessCollation, -1, SQLITE_STATIC);
    const int rc = sqlite3_step(s.get());
    if (rc != SQLITE_ROW) Fail(rc);
    idx.caseless = sqlite3_column_int(s.get(), 0) == texts;
  }
  layout_ = std::move(l);
}

FieldValue ReadValue(sqlite3_stmt* s, int col, FieldValue::Kind kind) {
  FieldValue v;
  const int type = sqlite3_column_type(s, col);
  if (type == SQLITE_NULL) return v;
  if (kind == FieldValue::Kind::Text) {
    v.kind = FieldValue::Kind::Text;
    if (type == SQLITE_BLOB || type == SQLITE_TEXT) {
      const void* p = sqlite3_column_blob(s, col);
      int n = sqlite3_column_bytes(s, col);
      if (p && n > 0) v.text.assign(static_cast<const char*>(p), static_cast<size_t>(n));
    } else {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%.15g", sqlite3_column_double(s, col));
      v.text = buf;
    }
    return v;
  }
  v.kind = kind;
  v.number = sqlite3_column_double(s, col);
  return v;
}

}  // namespace wendul::mtimpl
