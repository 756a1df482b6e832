// Bulk work on a table file: loading many records in one transaction (the
// text import) and checking the file's integrity (after indexes are rebuilt).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/mt.h"

namespace wendul {

// Many records written into a table's file at once, all in one transaction:
// Commit keeps them, anything else (an error, a cancel, destruction) leaves
// the file exactly as it was. The load has a connection of its own; it moves
// no cursor and notifies no data source, so views of the file see the records
// once they refresh. Keep message processing short while a load is open: it
// holds the file's write lock until it ends.
//
// When the table is empty at the start (or emptied by the load) its indexes
// are dropped and built again at Commit: one sort instead of an insertion at a
// random place of every index for every record. Duplicate primary keys are
// then told apart by the keys kept in memory.
class MTLoad {
 public:
  // Opens the file of `table` (its folder, file name and declarations; the
  // table itself may be open or closed) and takes the write lock at once:
  // EDBEngineError when another connection holds it (IsLockError).
  // emptyFirst deletes every record first, inside the same transaction.
  MTLoad(const MT& table, bool emptyFirst);
  ~MTLoad();
  MTLoad(const MTLoad&) = delete;
  MTLoad& operator=(const MTLoad&) = delete;

  const std::vector<FieldInfo>& Fields() const;

  // Adds a record: values in field order (missing ones stay empty), each of
  // its field's kind (Text, Number, DateTime) or Null. Text is stored as
  // given, so the caller checks the field size. A record id above 0 is kept
  // (a rebuilt file keeps its records' ids); 0 takes the next one. False when
  // a record with the same primary key (or id) exists: nothing is added.
  // Other failures raise EDBEngineError (disk full: IsTableFull); the records
  // added before stay in the load.
  bool Add(const std::vector<FieldValue>& values, int64_t id = 0);
  int64_t Added() const;

  // Builds the dropped indexes and commits. On failure everything is rolled
  // back and EDBEngineError is raised. While the indexes are built, OnStep is
  // called every few milliseconds (when set); false cancels: everything is
  // rolled back and Commit raises an error with the engine's category
  // SQLITE_INTERRUPT.
  void Commit();
  std::function<bool()> OnStep;

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

// PRAGMA integrity_check of the table's file (read through a connection of
// its own): the problems found, empty when the file is sound.
std::vector<std::string> TableIntegrityProblems(const MT& table);

}  // namespace wendul
