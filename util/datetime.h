// Date-time values (days since 1899-12-30) and their fixed text forms.
#pragma once

#include <string_view>

#include "wtypes.h"

namespace wendul {

struct DateParts {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
};

TDateTime Now();
// Raise GeneralError with the platform's conversion message when out of range.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime* out);
// Joins a date and a time of day; before the origin the time is subtracted,
// so that the fraction's magnitude stays the time of day.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
DateParts DecodeDateTime(TDateTime t);
int DayOfWeek(TDateTime t);  // 1 = Sunday ... 7 = Saturday

// Reads text against "yyyy/mm/dd" or "yyyy/mm/dd hh:nn:ss" (and the locale form
// when format is empty or "MU_DATEFORMAT_YYYYMMDD").
TDateTime MuStrToDateTime(std::string_view text, std::string_view format);
SjisString DateTimeStr(TDateTime t);   // "yyyy/mm/dd hh:nn:ss"
SjisString DateStr(TDateTime t);       // "yyyy/mm/dd"
SjisString TimeStampStr(TDateTime t);  // "%4d/%.2d/%.2d %.2d:%.2d:%.2d.%.3d"
TDateTime LogicalDate(TDateTime t);
SjisString DWeek2Str(int weekday);

// Replacement for the companion library's date splitter: reads year, month,
// day (and hour, minute, second when the pattern has them) from text laid out
// as pattern. Returns false when the text does not follow the pattern.
struct SeparatedDateTime { int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0; };
bool MuDateTimeStringSeparate(std::string_view pattern, std::string_view text, char dateSep,
                              char timeSep, char dateTimeSep, SeparatedDateTime* out);

}  // namespace wendul
