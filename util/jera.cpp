#include "util/jera.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>

#include <cmath>
#include <memory>
#include <mutex>

#include "util/codec.h"
#include "util/datetime.h"

namespace wendul {

namespace {

constexpr double kMsPerDay = 86400000.0;
constexpr double kUnixEpochDay = 25569;  // 1970-01-01 as a day count

struct EraTable {
  std::unique_ptr<icu::Calendar> calendar;  // "japanese", in UTC
  int32_t meiji = 0;                        // ICU's era value of 明治
  int offsets[kEraCount] = {};
};

// The calendar is built once; ICU's era values are numbered from 大化, so
// 明治's value is read from a day known to lie in it rather than assumed.
EraTable* Table() {
  static std::once_flag once;
  static EraTable* table = nullptr;
  std::call_once(once, [] {
    UErrorCode status = U_ZERO_ERROR;
    auto cal = std::unique_ptr<icu::Calendar>(icu::Calendar::createInstance(
        icu::TimeZone::getGMT()->clone(), icu::Locale("ja_JP@calendar=japanese"), status));
    if (U_FAILURE(status) || !cal) return;
    auto* t = new EraTable;
    cal->setTime((EncodeDate(1900, 1, 1) - kUnixEpochDay) * kMsPerDay, status);
    t->meiji = cal->get(UCAL_ERA, status);
    for (int e = 0; e < kEraCount; ++e) {
      // Year 1 of an era always holds 31 December of its western year.
      cal->clear();
      cal->set(UCAL_ERA, t->meiji + e);
      cal->set(UCAL_YEAR, 1);
      cal->set(UCAL_MONTH, UCAL_DECEMBER);
      cal->set(UCAL_DATE, 31);
      UDate ms = cal->getTime(status);
      t->offsets[e] = DecodeDateTime(std::floor(ms / kMsPerDay) + kUnixEpochDay).year - 1;
    }
    if (U_FAILURE(status)) {
      delete t;
      return;
    }
    t->calendar = std::move(cal);
    table = t;
  });
  return table;
}

}  // namespace

JEraYear JapaneseEra(TDateTime date) {
  JEraYear r;
  const DateParts p = DecodeDateTime(date);
  r.year = p.year;
  TDateTime day;
  EraTable* t = Table();
  if (!t || !TryEncodeDate(p.year, p.month, p.day, &day)) return r;
  static std::mutex lock;  // the calendar is one object
  std::lock_guard<std::mutex> guard(lock);
  UErrorCode status = U_ZERO_ERROR;
  // Noon, so that no time zone rule can move the day.
  t->calendar->setTime((day - kUnixEpochDay + 0.5) * kMsPerDay, status);
  const int32_t era = t->calendar->get(UCAL_ERA, status) - t->meiji;
  const int32_t year = t->calendar->get(UCAL_YEAR, status);
  if (U_FAILURE(status) || era < 0 || era >= kEraCount) return r;
  r.era = era;
  r.year = year;
  return r;
}

int JEraOffset(int era) {
  EraTable* t = Table();
  if (!t || era < 0 || era >= kEraCount) return 0;
  return t->offsets[era];
}

SjisString JEraName(int era) {
  static const char* const kNames[kEraCount] = {"明治", "大正", "昭和", "平成", "令和"};
  return Utf8ToSjis(era >= 0 && era < kEraCount ? kNames[era] : "西暦");
}

int JEraOfLetter(char letter) {
  switch (letter | 0x20) {
    case 'm': return 0;
    case 't': return 1;
    case 's': return 2;
    case 'h': return 3;
    case 'r': return 4;
    default: return kNoEra;
  }
}

}  // namespace wendul
