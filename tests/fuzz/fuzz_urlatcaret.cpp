// The web address on the caret's line. Whatever the line holds, the address
// found has no blank in it (ASCII or full-width), starts where an address
// starts ("http", or "www"), and ends at the line's end or at a blank.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "util/codec.h"
#include "util/filehelpers.h"

using namespace wendul;

namespace {

bool BlankAt(std::string_view s, size_t i) {
  const unsigned char b = static_cast<unsigned char>(s[i]);
  return b <= 0x20 || (b == 0x81 && i + 1 < s.size() && s[i + 1] == '\x40');
}

size_t CharLen(std::string_view s, size_t i) {
  return IsSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() &&
                 static_cast<unsigned char>(s[i + 1]) >= 0x40
             ? 2
             : 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const SjisString url = URLInLine(line);
  if (url.empty()) return 0;
  const std::string shown = fuzz::Shown(line) + " -> " + fuzz::Shown(url);
  FUZZ_CHECK(url.compare(0, 4, "http") == 0 || url.compare(0, 3, "www") == 0, shown);
  for (size_t i = 0; i < url.size(); i += CharLen(url, i)) FUZZ_CHECK(!BlankAt(url, i), shown);
  for (unsigned char b : url) FUZZ_CHECK(b > 0x20, shown);
  // It stands on the line where a character starts (an "h" put in front of
  // "ttp" is not on it), followed by the line's end or a blank.
  auto standsOnLine = [&](std::string_view a) {
    for (size_t i = 0; i < line.size(); i += CharLen(line, i)) {
      const size_t end = i + a.size();
      if (line.compare(i, a.size(), a) == 0 && (end == line.size() || BlankAt(line, end))) return true;
    }
    return false;
  };
  const bool found = standsOnLine(url) || (url[0] == 'h' && standsOnLine(std::string_view(url).substr(1)));
  FUZZ_CHECK(found, shown);
  return 0;
}
