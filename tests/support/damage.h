// Damage done on purpose to a table file nobody has open: garbage over one
// page of one of its trees, as a failing disk or a crash mid-copy leaves it.
#pragma once

#include <cstdint>
#include <string>

namespace wendul::test {

struct DamagedPage {
  int64_t number = 0;  // 1-based page number; 0 when the tree has no such page
  int cells = 0;       // records (or index entries) it held
};

// Overwrites a page (the middle one of its kind) of the tree `tree` (the data
// table "T", or an index: "mt_pk", "mtx_IDX_UPDATEDATE") of a file whose log
// has been copied back; type is "leaf" or "internal".
DamagedPage DamagePage(const std::string& file, const std::string& tree, const char* type);

}  // namespace wendul::test
