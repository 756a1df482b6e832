#include "app/grepsearch.h"

#include <chrono>

#include "store/mt.h"
#include "util/datetime.h"

namespace wendul {

GrepSearch::GrepSearch(MT& results, const std::string& logFolder, const SjisString& word, TDateTime today,
                       TDateTime earliest)
    : table_(results), grep_(logFolder, word, today, earliest) {}

bool GrepSearch::RunSlice(int budgetMs) {
  if (failed_) return false;
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(budgetMs);
  // The rows of one slice go in one transaction; no window message runs
  // inside it.
  MTBatch batch(table_);
  DayHit hit;
  bool found = false;
  bool more = true;
  do {
    more = grep_.Next(&hit, &found);
    if (!found) continue;
    try {
      table_.Append();
      table_.SS("PFNAME", hit.relPath);
      table_.SI("LINE", hit.line);
      table_.SS("TEXT", hit.text);
      table_.SD("APPENDDATE", Now());
      table_.SD("DIARY_DATE", hit.day);
      table_.Post();
      ++rows_;
    } catch (const std::exception& e) {
      table_.muShowExceptionError(e, "TfmMain.CnGrep", true);
      table_.Cancel();
      failed_ = true;
      return false;
    }
  } while (more && Clock::now() < end);
  try {
    batch.End();
  } catch (const std::exception& e) {
    table_.muShowExceptionError(e, "TfmMain.CnGrep", true);
    failed_ = true;
    return false;
  }
  return more;
}

}  // namespace wendul
