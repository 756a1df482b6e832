// Japanese era years (明治 to 令和) from ICU's Japanese calendar: which era a
// date belongs to, its year in that era, and the offset that turns an era
// year back into a western year.
#pragma once

#include "wtypes.h"

namespace wendul {

// Era indexes: 0 明治, 1 大正, 2 昭和, 3 平成, 4 令和; kNoEra before 明治 (or
// for an era the calendar knows but this program has no name for).
constexpr int kNoEra = -1;
constexpr int kEraCount = 5;

struct JEraYear {
  int era = kNoEra;
  int year = 0;  // year within the era; the western year when era is kNoEra
};

JEraYear JapaneseEra(TDateTime date);
// Western year = era year + offset (1867, 1911, 1925, 1988, 2018); 0 for kNoEra.
int JEraOffset(int era);
// "明治" ... "令和"; "西暦" for kNoEra.
SjisString JEraName(int era);
// The era an ASCII letter selects (M, T, S, H, R in either case), else kNoEra.
int JEraOfLetter(char letter);

}  // namespace wendul
