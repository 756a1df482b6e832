// The global search's work without its window: walks the diary backwards
// (util/daygrep.h) and stores one row per day with a hit in the result
// table ("GREP.DB"): PFNAME the day file below the log folder, LINE, TEXT
// (the hit's context), APPENDDATE and DIARY_DATE.
#pragma once

#include <string>

#include "util/daygrep.h"

namespace wendul {

class MT;

class GrepSearch {
 public:
  GrepSearch(MT& results, const std::string& logFolder, const SjisString& word, TDateTime today,
             TDateTime earliest);

  // Walks days for about budgetMs milliseconds (at least one day) and stores
  // their rows in one write. False when the walk is over (or the table
  // refused a row: the failure has been shown).
  bool RunSlice(int budgetMs);
  int Rows() const { return rows_; }
  const std::string& LastFile() const { return grep_.LastFile(); }

 private:
  MT& table_;
  DayGrep grep_;
  int rows_ = 0;
  bool failed_ = false;
};

}  // namespace wendul
