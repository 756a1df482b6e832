// Backups of a table's file, restoring one, and copying one file's pages
// into another with the engine's online backup.
#include "store/mt_safe.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "store/mt_internal.h"
#include "store/mt_safe_internal.h"
#include "util/datetime.h"

namespace wendul {

namespace fs = std::filesystem;

namespace mtsafe {

namespace {

// Pages copied between two progress calls (4 MB of 4 KB pages).
constexpr int kPagesPerStep = 1024;
// How long writing into the table's file waits for another program's write.
constexpr int kInstallWaitMs = 3000;

}  // namespace

void RawOpen(const std::string& path, bool readOnly, sqlite3** db) {
  *db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), db, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr);
  if (rc != SQLITE_OK) {
    std::string message = *db ? sqlite3_errmsg(*db) : sqlite3_errstr(rc);
    sqlite3_close_v2(*db);
    *db = nullptr;
    mtimpl::ThrowStore(rc, message, path);
  }
  sqlite3_extended_result_codes(*db, 1);
  sqlite3_busy_timeout(*db, mtimpl::kReadWaitMs);
}

RawDb::RawDb(const std::string& path, bool readOnly, bool create) {
  if (create) {
    const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      sqlite3_close_v2(db);
      db = nullptr;
      mtimpl::ThrowStore(rc, message, path);
    }
    sqlite3_extended_result_codes(db, 1);
  } else {
    RawOpen(path, readOnly, &db);
  }
}

RawDb::~RawDb() { sqlite3_close_v2(db); }

void CopyPages(sqlite3* src, sqlite3* dest, TableWork work, const TableProgress& progress,
               const std::function<void()>& whileLocked) {
  sqlite3_backup* b = sqlite3_backup_init(dest, "main", src, "main");
  if (!b) mtimpl::ThrowSqlite(dest, sqlite3_errcode(dest), {});
  int rc = SQLITE_OK;
  if (whileLocked) {
    // A step of no page only takes dest's write lock, held to the end; a
    // change of src before the first page is copied is simply read.
    rc = sqlite3_backup_step(b, 0);
    if (rc == SQLITE_OK) {
      try {
        whileLocked();
      } catch (...) {
        sqlite3_backup_finish(b);  // dest as it was
        throw;
      }
    }
  }
  while (rc == SQLITE_OK) {
    rc = sqlite3_backup_step(b, kPagesPerStep);
    if (rc != SQLITE_OK || !progress) continue;
    const int total = sqlite3_backup_pagecount(b);
    const bool goOn = progress(work, total - sqlite3_backup_remaining(b), total);
    if (!goOn && work != TableWork::Installing) {
      sqlite3_backup_finish(b);
      throw TableWorkCancelled();
    }
  }
  sqlite3_backup_finish(b);
  if (rc != SQLITE_DONE) mtimpl::ThrowSqlite(dest, rc, {});
}

void RemoveFileSet(const std::string& path) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(path + suffix, ec);
}

void CopyToNewFile(const std::string& from, bool fromReadOnly, const std::string& to, TableWork work,
                   const TableProgress& progress) {
  RemoveFileSet(to);
  try {
    RawDb src(from, fromReadOnly);
    {
      RawDb dest(to, false, true);
      CopyPages(src.db, dest.db, work, progress);
      // A copy is one file: no log beside it, readable where nothing can be written.
      char* err = nullptr;
      if (sqlite3_exec(dest.db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, &err) != SQLITE_OK) {
        const std::string message = err ? err : "journal_mode";
        sqlite3_free(err);
        mtimpl::ThrowStore(SQLITE_IOERR, message, to);
      }
    }
  } catch (...) {
    RemoveFileSet(to);
    throw;
  }
}

void Install(const std::string& from, const std::string& tablePath, const TableProgress& progress,
             const std::function<void()>& whileLocked) {
  bool ownWorkFailed = false;  // whileLocked's failure is no sign of a damaged file
  try {
    RawDb src(from, true);
    RawDb dest(tablePath, false);
    sqlite3_busy_timeout(dest.db, kInstallWaitMs);
    std::function<void()> locked;
    if (whileLocked) locked = [&] {
      try {
        whileLocked();
      } catch (...) {
        ownWorkFailed = true;
        throw;
      }
    };
    CopyPages(src.db, dest.db, TableWork::Installing, progress, locked);
    // The copied pages sit in the log until they are copied back; done now
    // when nobody reads (else the next idle moment does it).
    sqlite3_wal_checkpoint_v2(dest.db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    return;
  } catch (const EDBEngineError& e) {
    // A file so damaged that the engine cannot write into it (its first page
    // is gone): the new file takes its name instead. Nobody can write such a
    // file, so nothing is written into it meanwhile.
    if (!IsCorrupt(e) || ownWorkFailed) throw;
  }
  const std::string temp = tablePath + ".new";
  CopyToNewFile(from, true, temp, TableWork::Installing, progress);
  std::error_code ec;
  for (const char* suffix : {"-wal", "-shm"}) fs::remove(tablePath + suffix, ec);
  fs::rename(temp, tablePath, ec);
  if (ec) {
    RemoveFileSet(temp);
    mtimpl::ThrowStore(SQLITE_CANTOPEN, "Cannot replace the table file: " + ec.message(), tablePath);
  }
}

std::string TimeStamp(TDateTime t) {
  const DateParts p = DecodeDateTime(t);
  char b[32];
  std::snprintf(b, sizeof b, "%04d%02d%02d-%02d%02d%02d", p.year, p.month, p.day, p.hour, p.minute, p.second);
  return b;
}

std::string Stem(const MT& table) {
  const std::string name = table.TableName();
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

std::string Folder(const MT& table) {
  const std::string path = table.FilePath();
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name whose time stamp is later than every file of the stem has: the
// stamp moves on by a second while it is not, so names sort as the files
// were made.
std::string FreeName(const std::string& folder, const std::string& stem, const std::string& suffix) {
  std::string latest;
  const std::string prefix = stem + "-";
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() >= prefix.size() + 15 && name.compare(0, prefix.size(), prefix) == 0)
      latest = std::max(latest, name.substr(prefix.size(), 15));
  }
  TDateTime t = Now();
  for (int i = 0; i < 100000 && TimeStamp(t) <= latest; ++i) t += 1.0 / 86400;
  return folder + prefix + TimeStamp(t) + suffix;
}

}  // namespace mtsafe

using namespace mtsafe;

std::string BackupFolder(const MT& table) { return Folder(table) + "BACKUP/"; }

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The backups of the table in the folder, oldest first, by name (the time in
// it sorts as the name does).
std::vector<std::pair<std::string, std::string>> BackupFiles(const MT& table) {
  std::vector<std::pair<std::string, std::string>> out;  // file name, path
  const std::string prefix = Stem(table) + "-";
  std::error_code ec;
  for (fs::directory_iterator it(BackupFolder(table), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    // stem-yyyymmdd-hhnnss-reason.DB
    if (name.size() < prefix.size() + 19 + 3 || name.compare(0, prefix.size(), prefix) != 0) continue;
    if (name.compare(name.size() - 3, 3, ".DB") != 0) continue;
    const std::string middle = name.substr(prefix.size(), 15);
    if (middle[8] != '-' || !std::all_of(middle.begin(), middle.begin() + 8, IsDigit) ||
        !std::all_of(middle.begin() + 9, middle.end(), IsDigit) || name[prefix.size() + 15] != '-')
      continue;
    out.emplace_back(name, it->path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

namespace {

// The oldest backups beyond those kept go, but not `spare`; and what a killed
// backup left.
void PruneBackups(const MT& table, const std::string& spare) {
  auto files = BackupFiles(table);
  files.erase(std::remove_if(files.begin(), files.end(), [&](const auto& f) { return f.second == spare; }), files.end());
  const size_t keep = spare.empty() ? kBackupsKept : kBackupsKept - 1;
  for (size_t i = 0; i + keep < files.size(); ++i) RemoveFileSet(files[i].second);
  std::error_code ec;
  for (fs::directory_iterator it(BackupFolder(table), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0) RemoveFileSet(it->path().string());
  }
}

std::string MakeBackup(const MT& table, const std::string& reason, const TableProgress& progress,
                       const std::string& spare) {
  const std::string folder = BackupFolder(table);
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) mtimpl::ThrowStore(SQLITE_CANTOPEN, "Cannot create folder " + folder + ": " + ec.message(), folder);
  const std::string path = FreeName(folder, Stem(table), "-" + reason + ".DB");
  // Written under another name first: a backup cut short is never listed.
  const std::string part = path + ".part";
  CopyToNewFile(table.FilePath(), table.ReadOnly, part, TableWork::Copying, progress);
  fs::rename(part, path, ec);
  if (ec) {
    RemoveFileSet(part);
    mtimpl::ThrowStore(SQLITE_CANTOPEN, "Cannot name the backup: " + ec.message(), path);
  }
  PruneBackups(table, spare);
  return path;
}

}  // namespace

std::string BackupTable(const MT& table, const std::string& reason, const TableProgress& progress) {
  return MakeBackup(table, reason, progress, {});
}

int64_t CountRecords(const std::string& path) {
  try {
    mtimpl::Connection c;
    c.Open(path, {}, true);
    mtimpl::StmtScope s(c.Prepare(std::string("SELECT count(*) FROM ") + mtimpl::kDataTable));
    if (sqlite3_step(s.get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int64(s.get(), 0);
  } catch (const std::exception&) {
    return -1;
  }
}

std::vector<TableBackup> ListBackups(const MT& table) {
  std::vector<TableBackup> out;
  const size_t at = Stem(table).size() + 1;
  auto files = BackupFiles(table);
  for (auto it = files.rbegin(); it != files.rend(); ++it) {
    const std::string& name = it->first;
    TableBackup b;
    b.path = it->second;
    const auto num = [&](size_t from, size_t len) { return std::stoi(name.substr(at + from, len)); };
    TDateTime day = 0;
    if (TryEncodeDate(num(0, 4), num(4, 2), num(6, 2), &day))
      b.made = day + (num(9, 2) * 3600 + num(11, 2) * 60 + num(13, 2)) / 86400.0;
    b.reason = name.substr(at + 16, name.size() - 3 - (at + 16));
    b.records = CountRecords(b.path);
    out.push_back(b);
  }
  return out;
}

void RestoreTable(const MT& table, const std::string& backupPath, const TableProgress& progress) {
  {
    // Only a table file of this layout takes the table's place.
    mtimpl::Connection c;
    try {
      c.Open(backupPath, table.FieldDefs(), true);
    } catch (const std::exception& e) {
      throw GeneralError(backupPath + ": " + e.what());
    }
  }
  // The backup restored stays until it is in place, whatever its age.
  MakeBackup(table, "restore", progress, backupPath);
  Install(backupPath, table.FilePath(), progress);
  PruneBackups(table, {});
}

bool TableFileWritable(const MT& table) {
  const std::string path = table.FilePath();
  std::string folder = Folder(table);
  if (folder.empty()) folder = ".";
  std::error_code ec;
  if (fs::exists(path, ec) && ::access(path.c_str(), W_OK) != 0) return false;
  return ::access(folder.c_str(), W_OK) == 0;
}

}  // namespace wendul
