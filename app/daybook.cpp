#include "app/daybook.h"

#include "store/mt.h"
#include "util/datetime.h"

namespace wendul {

bool DayBook::SelectDay(TDateTime day, TDateTime now) {
  if (!table_.Active()) return false;
  if (table_.FindKey(DateTimeStr(day))) return true;
  try {
    table_.Append();
    table_.SD("CDATE", day);
    table_.SI("POSITION", 0);
    table_.SI("SCROLL_POSITION", 0);
    table_.SD("APPENDDATE", now);
    table_.SD("UPDATEDATE", table_.GD("APPENDDATE"));
  } catch (const std::exception& e) {
    table_.muShowExceptionError(e, "DayBook.SelectDay", true);
    table_.Cancel();
    return false;
  }
  return !table_.muPost();
}

TDateTime DayBook::Day() const {
  if (!table_.Active()) return 0;
  return table_.GD("CDATE");
}

int64_t DayBook::Position() const { return table_.Active() ? table_.GI("POSITION") : 0; }

int DayBook::ScrollPosition() const { return table_.Active() ? table_.GI("SCROLL_POSITION") : 0; }

bool DayBook::StorePositions(int64_t position, int scroll) {
  if (!table_.Active() || table_.GetBookmark() == 0 || table_.muEdit()) return false;
  table_.SI("POSITION", static_cast<int32_t>(position));
  table_.SI("SCROLL_POSITION", scroll);
  return !table_.muPost();
}

bool DayBook::StoreSaved(TDateTime now) {
  if (!table_.Active() || table_.GetBookmark() == 0 || table_.muEdit()) return false;
  table_.SD("UPDATEDATE", now);
  return !table_.muPost();
}

}  // namespace wendul
