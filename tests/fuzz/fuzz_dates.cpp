// The date parsers and forms. Text read with the fixed patterns, the locale
// form or a pattern from the input either fails with GeneralError or gives a
// date-time whose parts are in range and whose own text reads back to it.
// Any double (8 input bytes) decodes to parts in range; its text form reads
// back to the same second; LogicalDate gives that day or the one before;
// its Japanese era year plus the era's offset is its year. Option D's text
// gives a first diary day in range or the date parsers' error.
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "util/datetime.h"
#include "util/daylog.h"
#include "util/jera.h"

using namespace wendul;

namespace {

void CheckParts(TDateTime v, const std::string& what) {
  FUZZ_CHECK(std::isfinite(v), what);
  const DateParts p = DecodeDateTime(v);
  FUZZ_CHECK(p.month >= 1 && p.month <= 12 && p.day >= 1 && p.day <= 31 && p.hour >= 0 && p.hour < 24 &&
                 p.minute >= 0 && p.minute < 60 && p.second >= 0 && p.second < 60 && p.msec >= 0 && p.msec < 1000,
             what + " -> " + TimeStampStr(v));
  const int w = DayOfWeek(v);
  FUZZ_CHECK(w >= 1 && w <= 7, what);
  (void)DWeek2Str(w);
}

// Seconds since the origin, for comparing values that were read from text.
long long Seconds(TDateTime v) {
  const DateParts p = DecodeDateTime(v);
  TDateTime day = 0;
  if (!TryEncodeDate(p.year, p.month, p.day, &day)) return LLONG_MIN;
  return static_cast<long long>(day) * 86400 + (p.hour * 60 + p.minute) * 60 + p.second;
}

long long FloorDay(long long s) { return s >= 0 ? s / 86400 : -((-s + 86399) / 86400); }

void ReadText(std::string_view text, std::string_view format) {
  TDateTime v;
  try {
    v = MuStrToDateTime(text, format);
  } catch (const GeneralError&) {
    return;
  }
  const std::string what = "'" + fuzz::Shown(text) + "' as '" + fuzz::Shown(format) + "'";
  if (text.empty()) {
    FUZZ_CHECK(v == 0, what);
    return;
  }
  CheckParts(v, what);
  const DateParts p = DecodeDateTime(v);
  if (p.year < 1 || p.year > 9999) {
    FUZZ_CHECK(v > -1 && v < 1, what + ": a time alone lies on day 0");
    return;
  }
  // Its own text reads back to it, in both fixed forms.
  for (std::string_view back : {std::string_view("yyyy/mm/dd hh:nn:ss"), std::string_view("")}) {
    TDateTime again = 0;
    try {
      again = MuStrToDateTime(DateTimeStr(v), back);
    } catch (const GeneralError& e) {
      FUZZ_CHECK(false, what + ": " + DateTimeStr(v) + " does not read back: " + e.what());
    }
    FUZZ_CHECK(Seconds(again) == Seconds(v), what + ": " + DateTimeStr(v) + " read back as " + DateTimeStr(again));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = (fuzz::InstallQuietUi(), true);
  (void)once;
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 6) {
    case 0: ReadText(rest, ""); break;
    case 1: ReadText(rest, "MU_DATEFORMAT_YYYYMMDD"); break;
    case 2: ReadText(rest, "yyyy/mm/dd"); break;
    case 3: ReadText(rest, "yyyy/mm/dd hh:nn:ss"); break;
    case 4: {
      // A pattern of the input's own, before the first 0xFF byte.
      const size_t cut = rest.find('\xff');
      if (cut == std::string_view::npos) break;
      ReadText(rest.substr(cut + 1), rest.substr(0, cut));
      break;
    }
    case 5: {
      // The first day of log mode from option D's text, on 2024/05/03 10:00.
      const TDateTime now = EncodeDate(2024, 5, 3) + 10.0 / 24;
      try {
        const TDateTime day = FirstDiaryDay(true, rest, now);
        CheckParts(day, "-D" + fuzz::Shown(rest));
      } catch (const GeneralError&) {
      }
      break;
    }
  }
  if (rest.size() >= 8) {
    double v;
    std::memcpy(&v, rest.data(), 8);
    const std::string what = "value " + std::to_string(v);
    if (std::isfinite(v)) {
      CheckParts(v, what);
      const TDateTime day = LogicalDate(v);
      const DateParts p = DecodeDateTime(v);
      if (p.year >= 2 && p.year <= 9999) {
        FUZZ_CHECK(day == std::trunc(day), what);
        const long long diff = FloorDay(Seconds(v)) - FloorDay(Seconds(day));
        FUZZ_CHECK(diff == 0 || diff == 1, what + " logical day " + DateTimeStr(day));
        FUZZ_CHECK((diff == 1) == (p.hour < 6), what);
        const TDateTime again = MuStrToDateTime(DateTimeStr(v), "yyyy/mm/dd hh:nn:ss");
        FUZZ_CHECK(Seconds(again) == Seconds(v), what + ": " + DateTimeStr(v) + " -> " + DateTimeStr(again));
        // An era year and its offset give the western year back.
        const JEraYear era = JapaneseEra(v);
        if (era.era != kNoEra)
          FUZZ_CHECK(era.year >= 1 && era.year + JEraOffset(era.era) == p.year,
                     what + " era " + std::to_string(era.era) + " year " + std::to_string(era.year));
      }
    } else {
      (void)DateTimeStr(v);
      (void)TimeStampStr(v);
      (void)LogicalDate(v);
    }
  }
  return 0;
}
