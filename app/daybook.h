// The day table of log mode ("LOG.db"): one row per day that has been shown,
// with the caret and scroll positions of the day when it was last left and
// the time of its last save. While a day is shown its row is current.
#pragma once

#include <cstdint>

#include "util/wtypes.h"

namespace wendul {

class MT;

class DayBook {
 public:
  explicit DayBook(MT& table) : table_(table) {}

  // Makes the day's row current, appending one with zero positions (and
  // UPDATEDATE = APPENDDATE = now) when the day has none. False when the
  // table could not be written (the failure has been shown).
  bool SelectDay(TDateTime day, TDateTime now);
  TDateTime Day() const;  // CDATE of the current row, 0 without one
  int64_t Position() const;
  int ScrollPosition() const;
  // Edit the current row and post; false when the table refused.
  bool StorePositions(int64_t position, int scroll);
  bool StoreSaved(TDateTime now);

 private:
  MT& table_;
};

}  // namespace wendul
