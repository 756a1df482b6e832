#include "util/strutil.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "util/codec.h"
#include "util/messages.h"

namespace wendul {

namespace {

bool IsBlank(unsigned char c) { return c <= 0x20; }

// Byte length of the character starting at s[i]: a lead byte followed by
// another byte makes a double-byte character.
size_t CharLen(std::string_view s, size_t i) {
  return IsSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

// Decimal integer with optional sign, nothing else; false when it does not
// fit 32 bits.
bool ParseInt32(std::string_view s, int32_t* out) {
  if (s.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *out = static_cast<int32_t>(v);
  return true;
}


SjisString FormatInt(const char* fmt, int width, int64_t v) {
  // A width beyond any sensible field would only allocate; keep it bounded.
  if (width > 1024) width = 1024;
  if (width < -1024) width = -1024;
  char small[64];
  int n = std::snprintf(small, sizeof small, fmt, width, static_cast<long long>(v));
  if (n < 0) return SjisString();
  if (static_cast<size_t>(n) < sizeof small) return SjisString(small, n);
  SjisString big(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), fmt, width, static_cast<long long>(v));
  big.resize(n);
  return big;
}

}  // namespace

std::string_view TrimView(std::string_view s) {
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

SjisString Trim(std::string_view s) { return SjisString(TrimView(s)); }

SjisString UpperStr(std::string_view s) {
  SjisString out(s);
  for (size_t i = 0; i < out.size();) {
    size_t len = CharLen(out, i);
    unsigned char b = static_cast<unsigned char>(out[i]);
    if (len == 1) {
      if (b >= 'a' && b <= 'z') out[i] = static_cast<char>(b - 0x20);
    } else {
      unsigned char t = static_cast<unsigned char>(out[i + 1]);
      if (b == 0x82 && t >= 0x81 && t <= 0x9A) {         // full-width a..z
        out[i + 1] = static_cast<char>(t - 0x21);
      } else if (b == 0x83 && t >= 0xBF && t <= 0xD6) {  // Greek small letters
        out[i + 1] = static_cast<char>(t - 0x20);
      } else if (b == 0x84 && t >= 0x70 && t <= 0x91 && t != 0x7F) {  // Cyrillic small
        out[i + 1] = static_cast<char>(t < 0x7F ? t - 0x30 : t - 0x31);
      }
    }
    i += len;
  }
  return out;
}

bool IsIntStr(std::string_view s) {
  int32_t v;
  return ParseInt32(TrimView(s), &v);
}

int32_t StrToIntZ(std::string_view s) {
  int32_t v;
  return ParseInt32(TrimView(s), &v) ? v : 0;
}

SjisString IntToStrZ(int64_t v) { return std::to_string(v); }

SjisString HexPairStr(uint32_t v) {
  char buf[16];
  int n = std::snprintf(buf, sizeof buf, "0x%.4X:%.4X", static_cast<unsigned>(v >> 16),
                        static_cast<unsigned>(v & 0xFFFF));
  if (n != 11) return "0xXXXX:XXXX";
  return buf;
}

SjisString ZeroPadStr(int64_t v, int width) { return FormatInt("%.*lld", width, v); }

SjisString SpacePadStr(int64_t v, int width) { return FormatInt("%*lld", width, v); }

bool IsDigitKey(int virtualKey) {
  return IsBetween(virtualKey, 48, 57) || IsBetween(virtualKey, 96, 105);
}

SjisString FKeyName(std::string_view s) {
  if (s.size() >= 2 && s[1] == '0') {
    SjisString r(1, s[0]);
    if (s.size() >= 3) r += s[2];
    return r;
  }
  return SjisString(s);
}

bool IsValidStr(std::string_view s) { return MuIsValidStr(s); }

int StrStr(std::string_view text, std::string_view pattern) {
  // An empty pattern is "not found": a match of nothing would let a
  // splitter loop for ever.
  if (pattern.empty()) return 0;
  // Only a match that starts on a character is a match: a pattern whose
  // first byte equals the trail byte of a double-byte character (ボ is
  // 0x83 0x7B, the trail being "{") must not be found inside it.
  size_t boundary = 0;
  size_t from = 0;
  for (;;) {
    size_t hit = text.find(pattern, from);
    if (hit == std::string_view::npos) return 0;
    while (boundary < hit) boundary += CharLen(text, boundary);
    if (boundary == hit) return static_cast<int>(hit + 1);
    from = boundary;
  }
}

int StrStrPos(std::string_view text, std::string_view pattern) { return StrStr(text, pattern); }

void StrTok(std::string_view text, std::vector<SjisString>* list, std::string_view delimiter) {
  if (list == nullptr) PgmError("pgm error StrTok() PP is NULL");
  list->clear();
  std::string_view rest = text;
  const size_t dlen = delimiter.size();
  while (!rest.empty()) {
    size_t fieldEnd = std::string_view::npos;  // 0-based
    size_t skip = 0;
    if (rest.front() == '"') {
      rest.remove_prefix(1);
      fieldEnd = rest.find('"');
      if (fieldEnd == std::string_view::npos)
        PgmError("\"\x82\xcc\x90\x94\x82\xaa\x8d\x87\x82\xa2\x82\xdc\x82\xb9\x82\xf1");  // "の数が合いません
      skip = dlen + 1;  // the closing quote and one delimiter
    } else {
      int pos = StrStrPos(rest, delimiter);
      if (pos > 0) fieldEnd = static_cast<size_t>(pos - 1);
      skip = dlen;
    }
    if (fieldEnd == std::string_view::npos) {
      list->emplace_back(rest);
      break;
    }
    list->emplace_back(rest.substr(0, fieldEnd));
    size_t next = fieldEnd + skip;
    rest = next < rest.size() ? rest.substr(next) : std::string_view();
    rest = TrimView(rest);
  }
}

}  // namespace wendul
