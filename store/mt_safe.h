// Keeping a table's file safe: backups taken before the whole table is
// replaced, restoring one, and rebuilding a file (also a damaged one) from
// every record that can still be read.
//
// All of it works on the table's file through connections of its own; the
// table object itself must be closed (its views too) while a restore or a
// rebuild puts a new file in place. Other programs that have the file open
// see the new content on their next read: the new file is written into the
// old one under the engine's locks, never renamed over it.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/wtypes.h"

namespace wendul {

class MT;

// What long work is doing, for its progress display.
enum class TableWork {
  Copying,     // a backup or a kept copy being written
  Checking,    // the old file's integrity check
  Reading,     // records read from the old file
  Indexing,    // the new file's indexes built
  Installing,  // the new content written into the table's file: cannot be cancelled
};
// Progress: what is done, how far (done of total, total 0 when unknown).
// Returning false cancels, except while Installing.
using TableProgress = std::function<bool(TableWork work, int64_t done, int64_t total)>;

// Raised when the progress callback cancelled: the table's file is as it was.
class TableWorkCancelled : public std::runtime_error {
 public:
  TableWorkCancelled() : std::runtime_error("cancelled") {}
};

// Backups live in "BACKUP/" beside the table's file, named after the table
// file, the local time and why they were made:
// "KWD-20240503-102030-import.DB". They are plain table files (no log file).
inline constexpr int kBackupsKept = 5;

struct TableBackup {
  std::string path;
  TDateTime made = 0;   // local time, to the second
  std::string reason;   // as given to BackupTable ("import", "deleteall", "restore", "reindex")
  int64_t records = -1; // -1 when the file cannot be read
};

std::string BackupFolder(const MT& table);

// Copies the table's file (from one consistent snapshot, with the engine's
// online backup, so another program may go on using it) into a new backup,
// then removes the oldest beyond kBackupsKept. Returns its path. Raises
// EDBEngineError or GeneralError when no backup could be made: callers then
// leave the table alone.
std::string BackupTable(const MT& table, const std::string& reason, const TableProgress& progress = {});

// The table's backups, newest first, with the number of records in each.
std::vector<TableBackup> ListBackups(const MT& table);

// Records in the table's file (-1 when it cannot be read).
int64_t CountRecords(const std::string& path);

// Puts a backup's records in place of the table's: the table's file is first
// backed up itself ("restore"), so a restore can be undone too. A file that
// is not a backup of this table's layout is refused (GeneralError). The table
// must be closed.
void RestoreTable(const MT& table, const std::string& backupPath, const TableProgress& progress = {});

struct RebuildReport {
  int64_t records = 0;      // records in the rebuilt file
  int64_t before = -1;      // records the old file claimed to hold (-1: unknown)
  bool damaged = false;     // the old file had damaged pages
  int64_t damagedRuns = 0;  // damaged stretches of records passed over
  int64_t duplicates = 0;   // records dropped because their key was there already
  int64_t carried = 0;      // records another program wrote or deleted meanwhile, taken over
  int64_t fromIndexes = 0;  // records of damaged data pages taken from the indexes (some fields empty)
  std::vector<std::string> problems;  // the engine's words about the old file (a few)
  std::string kept;         // where the old file was kept
};

// Rebuilds the table's file: every record that can be read (passing over
// damaged pages; a record on a damaged data page with the fields its
// indexes still hold) goes into a new file with fresh indexes, which then takes
// the old one's place; the old file is kept, as a backup ("reindex") when it
// was sound, else beside the table as "<name>-damaged-<time>.DB". Record ids
// are kept. The table must be closed. Cancelled (TableWorkCancelled) before
// Installing, nothing has changed. Records that other programs write into the
// table meanwhile are taken over, the last of them while the table's file is
// locked for the new content: none is lost.
RebuildReport RebuildTable(const MT& table, const TableProgress& progress = {});

// Whether the table's file and its folder can be written now (not a
// read-only file or file system): a read-only table opened for reading is
// worth opening for writing again only then.
bool TableFileWritable(const MT& table);

}  // namespace wendul
