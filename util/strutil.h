// String and number helpers. Texts are Shift-JIS bytes; positions are 1-based.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "wtypes.h"

namespace wendul {

// Removes blanks and control characters (bytes <= 0x20) at both ends.
SjisString Trim(std::string_view s);
// The same, without a copy: a view of s.
std::string_view TrimView(std::string_view s);
SjisString UpperStr(std::string_view s);   // ASCII and full-width Latin letters
bool IsIntStr(std::string_view s);
int32_t StrToIntZ(std::string_view s);
SjisString IntToStrZ(int64_t v);
SjisString HexPairStr(uint32_t v);         // "0x%.4X:%.4X"
SjisString ZeroPadStr(int64_t v, int width);
SjisString SpacePadStr(int64_t v, int width);
inline const SjisString& IIfStr(bool flag, const SjisString& a, const SjisString& b) { return flag ? a : b; }
inline bool IsBetween(int64_t v, int64_t lo, int64_t hi) { return lo <= v && v <= hi; }
bool IsDigitKey(int virtualKey);
SjisString FKeyName(std::string_view s);   // "F05" -> "F5"
bool IsValidStr(std::string_view s);       // valid Shift-JIS
// Companion-library byte search: 1-based position of pattern in text, 0 if absent.
int StrStr(std::string_view text, std::string_view pattern);
int StrStrPos(std::string_view text, std::string_view pattern);
// Splits text into list at delimiter, with quoted fields; raises through PgmError.
void StrTok(std::string_view text, std::vector<SjisString>* list, std::string_view delimiter);

}  // namespace wendul
