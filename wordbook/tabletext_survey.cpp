// SurveyTableText: what a file offered for import holds, before anything is
// read into the table.
#include <cstdio>
#include <cstring>

#include "wordbook/tabletext.h"

namespace wendul {

namespace {

// " を読み込めません"
const char kCannotRead[] = " \x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1";
// A quoted item longer than this is taken to be a quote never closed.
constexpr size_t kMaxRecord = 64 * 1024;
// The part of the file whose zero bytes tell UTF-16 and UTF-32 apart from binary.
constexpr size_t kSniff = 64 * 1024;

bool StartsWith(const std::string& s, const char* prefix, size_t n) { return s.size() >= n && std::memcmp(s.data(), prefix, n) == 0; }

// Valid UTF-8 with at least one character beyond ASCII. Shift-JIS text of
// any length almost never is: most of its lead bytes are UTF-8's
// continuation bytes.
bool LooksUtf8(const std::string& s) {
  bool multi = false;
  for (size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const int n = (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (n == 0 || b == 0xC0 || b == 0xC1 || b > 0xF4 || i + static_cast<size_t>(n) > s.size()) return false;
    for (int k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0xC0) != 0x80) return false;
    multi = true;
    i += static_cast<size_t>(n);
  }
  return multi;
}

TextEncoding Encoding(const std::string& s) {
  if (StartsWith(s, "\xEF\xBB\xBF", 3)) return TextEncoding::Utf8;
  if (StartsWith(s, "\xFF\xFE\x00\x00", 4) || StartsWith(s, "\x00\x00\xFE\xFF", 4)) return TextEncoding::Utf32;
  if (StartsWith(s, "\xFF\xFE", 2) || StartsWith(s, "\xFE\xFF", 2)) return TextEncoding::Utf16;
  // Without a byte order mark: text in UTF-16 has a zero byte in every
  // other place (ASCII, and many characters), UTF-32 in three of four.
  const size_t n = std::min(s.size(), kSniff);
  size_t zeros = 0, zerosAt[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < n; ++i)
    if (s[i] == '\0') {
      ++zeros;
      ++zerosAt[i % 4];
    }
  if (zeros > 0) {
    int full = 0;  // places of four that are mostly zero
    for (size_t z : zerosAt) full += z * 8 >= n;
    if (full >= 3) return TextEncoding::Utf32;
    if (zeros * 4 >= n) return TextEncoding::Utf16;
    return TextEncoding::Binary;
  }
  return LooksUtf8(s) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
}

// Records as the import counts them: lines with anything but blanks, a
// quoted item's line breaks inside its record.
int64_t Records(const std::string& s) {
  int64_t records = 0;
  bool content = false, quoted = false;
  size_t quoteAt = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == '"') {
      quoted = !quoted;
      quoteAt = i;
      content = true;
    } else if (c == '\r' || c == '\n') {
      if (quoted && i - quoteAt < kMaxRecord) continue;
      quoted = false;
      if (content) ++records;
      content = false;
    } else if (c > ' ') {
      content = true;
    }
  }
  return records + (content ? 1 : 0);
}

}  // namespace

TableTextSurvey SurveyTableText(const std::string& fileName) {
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) throw GeneralError(PathText(fileName) + kCannotRead);
  std::string bytes;
  char buf[1 << 16];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, got);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw GeneralError(PathText(fileName) + kCannotRead);
  TableTextSurvey survey;
  survey.encoding = Encoding(bytes);
  survey.records = survey.encoding == TextEncoding::ShiftJis ? Records(bytes) : 0;
  return survey;
}

}  // namespace wendul
