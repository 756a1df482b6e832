#include "support/damage.h"

#include <sqlite3.h>

#include <fstream>
#include <vector>

namespace wendul::test {

DamagedPage DamagePage(const std::string& file, const std::string& tree, const char* type) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db, "SELECT pageno, ncell FROM dbstat WHERE name = ? AND pagetype = ? ORDER BY pageno", -1, &s,
                     nullptr);
  sqlite3_bind_text(s, 1, tree.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(s, 2, type, -1, SQLITE_STATIC);
  std::vector<DamagedPage> pages;
  while (sqlite3_step(s) == SQLITE_ROW) pages.push_back({sqlite3_column_int64(s, 0), sqlite3_column_int(s, 1)});
  int pageSize = 4096;
  sqlite3_finalize(s);
  if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
    pageSize = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  sqlite3_close(db);
  if (pages.empty()) return {};
  const DamagedPage page = pages[pages.size() / 2];
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp((page.number - 1) * pageSize);
  for (int i = 0; i < pageSize; ++i) f.put(static_cast<char>(0xA5 ^ (i * 7)));
  return page;
}

}  // namespace wendul::test
