// The web address on the caret's line. Whatever the line holds, the address
// found starts where an address starts ("http", or "www"), holds printable
// ASCII only, holds no ">", '"' or "'" and no ")" or "]" that closes more
// than it opened, and stands on the line where a character starts, followed
// by the line's end or by the byte that ends an address: one outside
// printable ASCII (a blank, a control, a byte of a Japanese character), one of
// > " ', or a ")" or "]" that closes around it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "util/codec.h"
#include "util/filehelpers.h"

using namespace wendul;

namespace {

size_t CharLen(std::string_view s, size_t i) {
  return IsSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
                 static_cast<unsigned char>(s[i + 1]) >= 0x40
             ? 2
             : 1;
}

// How many of open are left unclosed by close in a; -1 when a close comes
// with none open.
int Depth(std::string_view a, char open, char close) {
  int depth = 0;
  for (char c : a) {
    if (c == open) ++depth;
    if (c == close && --depth < 0) return -1;
  }
  return depth;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const SjisString url = URLInLine(line);
  if (url.empty()) return 0;
  const std::string shown = fuzz::Shown(line) + " -> " + fuzz::Shown(url);
  FUZZ_CHECK(url.compare(0, 4, "http") == 0 || url.compare(0, 3, "www") == 0, shown);
  for (unsigned char b : url) FUZZ_CHECK(b > 0x20 && b < 0x7f && b != '>' && b != '"' && b != '\'', shown);
  const int parens = Depth(url, '(', ')'), brackets = Depth(url, '[', ']');
  FUZZ_CHECK(parens >= 0 && brackets >= 0, shown);
  auto endsHere = [&](size_t end) {
    if (end == line.size()) return true;
    const auto b = static_cast<unsigned char>(line[end]);
    return b <= 0x20 || b >= 0x7f || b == '>' || b == '"' || b == '\'' || (b == ')' && parens == 0) ||
           (b == ']' && brackets == 0);
  };
  auto standsOnLine = [&](std::string_view a) {
    for (size_t i = 0; i < line.size(); i += CharLen(line, i))
      if (line.compare(i, a.size(), a) == 0 && endsHere(i + a.size())) return true;
    return false;
  };
  // An "h" put in front of "ttp" is not on the line.
  const bool found = standsOnLine(url) || (url[0] == 'h' && standsOnLine(std::string_view(url).substr(1)));
  FUZZ_CHECK(found, shown);
  return 0;
}
