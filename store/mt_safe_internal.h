// Helpers of store/mt_safe.cpp shared with the rebuild (store/mt_salvage.cpp).
#pragma once

#include <sqlite3.h>

#include <functional>
#include <string>

#include "store/mt.h"
#include "store/mt_safe.h"

namespace wendul::mtsafe {

// A bare connection to a file, nothing read from it yet: a damaged file opens.
void RawOpen(const std::string& path, bool readOnly, sqlite3** db);
struct RawDb {
  RawDb(const std::string& path, bool readOnly, bool create = false);
  ~RawDb();
  RawDb(const RawDb&) = delete;
  RawDb& operator=(const RawDb&) = delete;
  sqlite3* db = nullptr;
};

// Every page of src into dest through the engine's online backup.
// whileLocked, when set, runs once dest's write lock is held and before any
// page is copied; it may still change src (through another connection).
void CopyPages(sqlite3* src, sqlite3* dest, TableWork work, const TableProgress& progress,
               const std::function<void()>& whileLocked = {});
// A file and what the engine keeps beside it.
void RemoveFileSet(const std::string& path);
// A copy of a table file as a new single file (no log); nothing is left
// under `to` when it fails or is cancelled.
void CopyToNewFile(const std::string& from, bool fromReadOnly, const std::string& to, TableWork work,
                   const TableProgress& progress);
// Writes the file `from` into the table's file, under the engine's locks:
// no other program commits to it from the moment whileLocked runs (see
// CopyPages) until the new content is in place.
void Install(const std::string& from, const std::string& tablePath, const TableProgress& progress,
             const std::function<void()>& whileLocked = {});

std::string TimeStamp(TDateTime t);  // "yyyymmdd-hhnnss"
std::string Stem(const MT& table);   // "KWD" of "KWD.DB"
std::string Folder(const MT& table); // the table file's folder, with '/'
// folder + stem + "-" + time stamp + suffix, not taken yet.
std::string FreeName(const std::string& folder, const std::string& stem, const std::string& suffix);

}  // namespace wendul::mtsafe
