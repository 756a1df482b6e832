#include "util/datetime.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "util/messages.h"

namespace wendul {

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Days from 1970-01-01 back to the origin 1899-12-30.
constexpr int64_t kOriginOffset = 25569;
// Far beyond any calendar date, yet small enough that day arithmetic in 64
// bits cannot overflow; keeps decoding total for any double.
constexpr double kDayLimit = 1e9;

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Proleptic Gregorian day number relative to 1970-01-01 (H. Hinnant's method).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = yoe + era * 400 + (*m <= 2);
}

// Splits a value the way the table store's date-time type reads it: the
// integer part (towards zero) is the day, the magnitude of the fraction the
// time of day, rounded to the millisecond.
void SplitValue(TDateTime t, int64_t* day, int64_t* ms) {
  if (!std::isfinite(t)) t = 0;
  if (t > kDayLimit) t = kDayLimit;
  if (t < -kDayLimit) t = -kDayLimit;
  double whole = std::trunc(t);
  *day = static_cast<int64_t>(whole);
  *ms = static_cast<int64_t>(std::llround(std::fabs(t - whole) * kMsPerDay));
  if (*ms >= kMsPerDay) {  // 23:59:59.9996 rounds into the next day
    *ms -= kMsPerDay;
    *day += 1;
  }
}

TDateTime TimeFromMs(int64_t ms) { return static_cast<double>(ms) / kMsPerDay; }

SjisString Format(const char* fmt, int a, int b, int c, int d = 0, int e = 0, int f = 0,
                  int g = 0) {
  char buf[96];
  std::snprintf(buf, sizeof buf, fmt, a, b, c, d, e, f, g);
  return buf;
}

// A run of decimal digits at text[*pos], at most maxDigits long; false when
// there is none.
bool ReadNumber(std::string_view text, size_t* pos, size_t maxDigits, int* value,
                size_t* digits = nullptr) {
  size_t start = *pos;
  int v = 0;
  while (*pos < text.size() && *pos - start < maxDigits && text[*pos] >= '0' && text[*pos] <= '9') {
    v = v * 10 + (text[*pos] - '0');
    ++*pos;
  }
  if (*pos == start) return false;
  *value = v;
  if (digits) *digits = *pos - start;
  return true;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A one- or two-digit year is taken as the year of that ending nearest to
// the current one (98 -> 1998, 30 -> 2030), as people write them.
int ExpandShortYear(int year) {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  int current = tm.tm_year + 1900;
  int y = current / 100 * 100 + year;
  if (y > current + 49) y -= 100;
  if (y <= current - 50) y += 100;
  return y;
}

// h:n[:s] at text[*pos], with the locale's time separator.
bool ReadTime(std::string_view text, size_t* pos, char timeSep, int* h, int* n, int* s) {
  *s = 0;
  if (!ReadNumber(text, pos, 2, h)) return false;
  if (*pos >= text.size() || text[*pos] != timeSep) return false;
  ++*pos;
  if (!ReadNumber(text, pos, 2, n)) return false;
  if (*pos < text.size() && text[*pos] == timeSep) {
    ++*pos;
    if (!ReadNumber(text, pos, 2, s)) return false;
  }
  return *h < 24 && *n < 60 && *s < 60;
}

// The locale's date-and-time form "yyyy/m/d[ h:n[:s]]", or the time-only
// form "h:n[:s]" when the text holds no date separator.
bool ParseLocaleDateTime(std::string_view raw, char dateSep, char timeSep, TDateTime* out) {
  std::string_view text = TrimView(raw);
  size_t pos = 0;
  int h = 0, n = 0, s = 0;
  if (text.find(dateSep) == std::string_view::npos) {
    if (!ReadTime(text, &pos, timeSep, &h, &n, &s) || pos != text.size()) return false;
    *out = EncodeTime(h, n, s, 0);
    return true;
  }
  int y = 0, m = 0, d = 0;
  size_t yearDigits = 0;
  if (!ReadNumber(text, &pos, 4, &y, &yearDigits)) return false;
  if (pos >= text.size() || text[pos++] != dateSep) return false;
  if (!ReadNumber(text, &pos, 2, &m)) return false;
  if (pos >= text.size() || text[pos++] != dateSep) return false;
  if (!ReadNumber(text, &pos, 2, &d)) return false;
  if (yearDigits <= 2) y = ExpandShortYear(y);
  TDateTime date;
  if (!TryEncodeDate(y, m, d, &date)) return false;
  if (pos < text.size()) {
    if (!IsBlank(text[pos])) return false;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    if (!ReadTime(text, &pos, timeSep, &h, &n, &s) || pos != text.size()) return false;
  }
  *out = ComposeDateTime(date, EncodeTime(h, n, s, 0));
  return true;
}

}  // namespace

TDateTime Now() {
  std::timespec ts{};
  std::timespec_get(&ts, TIME_UTC);
  std::tm tm{};
  localtime_r(&ts.tv_sec, &tm);
  TDateTime date = EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  // A leap second (tm_sec 60) is held at :59.
  int sec = tm.tm_sec > 59 ? 59 : tm.tm_sec;
  return ComposeDateTime(date, EncodeTime(tm.tm_hour, tm.tm_min, sec,
                                          static_cast<int>(ts.tv_nsec / 1000000)));
}

bool TryEncodeDate(int year, int month, int day, TDateTime* out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month))
    return false;
  *out = static_cast<double>(DaysFromCivil(year, month, day) + kOriginOffset);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime t;
  if (!TryEncodeDate(year, month, day, &t))
    throw GeneralError("Invalid argument to date encode (" + std::to_string(year) + "/" +
                       std::to_string(month) + "/" + std::to_string(day) + ")");
  return t;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      msec < 0 || msec > 999)
    throw GeneralError("Invalid argument to time encode (" + std::to_string(hour) + ":" +
                       std::to_string(minute) + ":" + std::to_string(second) + "." +
                       std::to_string(msec) + ")");
  return TimeFromMs(((hour * 60 + minute) * 60 + second) * 1000LL + msec);
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  // Before the origin the day runs towards zero, so the time of day is taken
  // away: -1.25 is 1899-12-29 06:00.
  return date < 0 ? date - time : date + time;
}

DateParts DecodeDateTime(TDateTime t) {
  int64_t day, ms;
  SplitValue(t, &day, &ms);
  DateParts p;
  int64_t y;
  CivilFromDays(day - kOriginOffset, &y, &p.month, &p.day);
  p.year = static_cast<int>(y);
  p.msec = static_cast<int>(ms % 1000);
  ms /= 1000;
  p.second = static_cast<int>(ms % 60);
  ms /= 60;
  p.minute = static_cast<int>(ms % 60);
  p.hour = static_cast<int>(ms / 60);
  return p;
}

int DayOfWeek(TDateTime t) {
  int64_t day, ms;
  SplitValue(t, &day, &ms);
  // The origin, 1899-12-30, was a Saturday (7).
  return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
}

TDateTime MuStrToDateTime(std::string_view text, std::string_view format) {
  if (text.empty()) return 0;
  const char dateSep = '/';
  const char timeSep = ':';
  if (!format.empty() && format != "MU_DATEFORMAT_YYYYMMDD") {
    SeparatedDateTime r;
    if (!MuDateTimeStringSeparate(format, text, dateSep, timeSep, ' ', &r))
      PgmError("'" + SjisString(text) + "' is not Date (Convert Error from MuStrToDateTime) ");
    return ComposeDateTime(EncodeDate(r.year, r.month, r.day),
                           EncodeTime(r.hour, r.minute, r.second, 0));
  }
  TDateTime result = 0;
  if (!ParseLocaleDateTime(text, dateSep, timeSep, &result)) {
    SetQuietFlag(true);
    PgmError("'" + SjisString(text) + "' is not Date (Convert Error from MuStrToDateTime) ");
  }
  return result;
}

SjisString DateTimeStr(TDateTime t) {
  DateParts p = DecodeDateTime(t);
  return Format("%.4d/%.2d/%.2d %.2d:%.2d:%.2d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
}

SjisString DateStr(TDateTime t) {
  DateParts p = DecodeDateTime(t);
  return Format("%.4d/%.2d/%.2d", p.year, p.month, p.day);
}

SjisString TimeStampStr(TDateTime t) {
  DateParts p = DecodeDateTime(t);
  return Format("%4d/%.2d/%.2d %.2d:%.2d:%.2d.%.3d", p.year, p.month, p.day, p.hour, p.minute,
                p.second, p.msec);
}

TDateTime LogicalDate(TDateTime t) {
  int64_t day, ms;
  SplitValue(t, &day, &ms);
  // The working day ends at 06:00: earlier hours belong to the day before.
  if (ms < 6 * 3600000LL) --day;
  int64_t y;
  int m, d;
  CivilFromDays(day - kOriginOffset, &y, &m, &d);
  TDateTime result;
  if (y < 1 || y > 9999 || !TryEncodeDate(static_cast<int>(y), m, d, &result)) return t;
  return result;
}

SjisString DWeek2Str(int weekday) {
  // 日 月 火 水 木 金 土
  static const char* const kNames[7] = {"\x93\xfa", "\x8c\x8e", "\x89\xce", "\x90\x85",
                                        "\x96\xd8", "\x8b\xe0", "\x93\x79"};
  if (weekday < 1 || weekday > 7) PgmError("Error DWeek2Str");
  return kNames[weekday - 1];
}

bool MuDateTimeStringSeparate(std::string_view pattern, std::string_view rawText, char dateSep,
                              char timeSep, char dateTimeSep, SeparatedDateTime* out) {
  SeparatedDateTime r;
  std::string_view text = TrimView(rawText);
  size_t tp = 0;
  size_t pp = 0;
  while (pp < pattern.size()) {
    char pc = pattern[pp];
    char lower = (pc >= 'A' && pc <= 'Z') ? static_cast<char>(pc - 'A' + 'a') : pc;
    if (tp >= text.size()) {
      // A text that stops where the pattern's time part begins leaves the
      // time at zero; a missing date field is an error.
      std::string_view rest = pattern.substr(pp);
      if (rest.find_first_of("yYmMdD") != std::string_view::npos) return false;
      break;
    }
    if (lower == 'y' || lower == 'm' || lower == 'd' || lower == 'h' || lower == 'n' ||
        lower == 's') {
      size_t run = 0;
      while (pp < pattern.size() && (pattern[pp] | 0x20) == lower) ++pp, ++run;
      size_t maxDigits = lower == 'y' ? 4 : 2;
      int value = 0;
      size_t digits = 0;
      if (!ReadNumber(text, &tp, maxDigits, &value, &digits)) return false;
      switch (lower) {
        case 'y': r.year = (run <= 2 && digits <= 2) ? ExpandShortYear(value) : value; break;
        case 'm': r.month = value; break;
        case 'd': r.day = value; break;
        case 'h': r.hour = value; break;
        case 'n': r.minute = value; break;
        case 's': r.second = value; break;
      }
      continue;
    }
    if (pc == '\'' || pc == '"') {  // quoted literal text
      size_t close = pattern.find(pc, pp + 1);
      if (close == std::string_view::npos) close = pattern.size();
      std::string_view lit = pattern.substr(pp + 1, close - pp - 1);
      if (text.substr(tp, lit.size()) != lit) return false;
      tp += lit.size();
      pp = close + 1;
      continue;
    }
    char expect = pc == '/' ? dateSep : pc == ':' ? timeSep : pc == ' ' ? dateTimeSep : pc;
    if (text[tp] != expect) return false;
    ++tp;
    ++pp;
  }
  if (tp != text.size()) return false;
  *out = r;
  return true;
}

}  // namespace wendul
