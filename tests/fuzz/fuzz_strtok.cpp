// StrTok. Any line: it ends with a list or the unbalanced-quote error, and an
// unquoted line without quotes splits exactly as a simple reference does.
// Fields of valid Shift-JIS written the way the exporter writes them
// ("field", after each) come back exactly; bare fields without the
// delimiter, quotes or blanks at their ends come back too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "util/codec.h"
#include "util/strutil.h"

using namespace wendul;

namespace {

const std::string_view kDelimiters[] = {",", "\t", "{wndl}", " ", ";;"};

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// The delimiter's first place where a character starts, or npos.
size_t FindAtCharacter(std::string_view text, std::string_view delim) {
  for (size_t i = 0; i < text.size();) {
    if (text.substr(i, delim.size()) == delim) return i;
    i += (IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
  }
  return std::string_view::npos;
}

// The splitting rules, written plainly, for lines without quotes.
std::vector<std::string> Reference(std::string_view rest, std::string_view delim) {
  std::vector<std::string> out;
  while (!rest.empty()) {
    const size_t at = FindAtCharacter(rest, delim);
    if (at == std::string_view::npos) {
      out.emplace_back(rest);
      break;
    }
    out.emplace_back(rest.substr(0, at));
    rest = Trimmed(rest.substr(at + delim.size()));
  }
  return out;
}

std::string Joined(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& f : v) s += "[" + fuzz::Shown(f) + "]";
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = (fuzz::InstallQuietUi(), true);
  (void)once;
  if (size < 1) return 0;
  const std::string_view delim = kDelimiters[data[0] % std::size(kDelimiters)];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::vector<SjisString> list;
  bool raised = false;
  try {
    StrTok(text, &list, delim);
  } catch (const GeneralError& e) {
    raised = true;
    FUZZ_CHECK(std::string(e.what()) == "\"\x82\xcc\x90\x94\x82\xaa\x8d\x87\x82\xa2\x82\xdc\x82\xb9\x82\xf1",
               fuzz::Shown(text));
  }
  FUZZ_CHECK(!raised || text.find('"') != std::string_view::npos, fuzz::Shown(text));
  size_t total = 0;
  for (const auto& f : list) total += f.size();
  FUZZ_CHECK(total <= text.size(), fuzz::Shown(text));
  if (text.find('"') == std::string_view::npos) {
    const auto ref = Reference(text, delim);
    FUZZ_CHECK(list == ref, fuzz::Shown(text) + "\n got " + Joined(list) + "\n want " + Joined(ref));
  }

  // The same bytes cut into fields at every 0x00 byte, written back.
  std::vector<std::string> fields;
  {
    size_t start = 0;
    for (;;) {
      size_t nul = text.find('\0', start);
      fields.emplace_back(text.substr(start, nul == std::string_view::npos ? std::string_view::npos : nul - start));
      if (nul == std::string_view::npos) break;
      start = nul + 1;
    }
  }
  bool quotable = true;
  for (const auto& f : fields) quotable = quotable && f.find('"') == std::string::npos && MuIsValidStr(f);
  if (quotable) {
    std::string line;
    for (const auto& f : fields) line += "\"" + f + "\"" + std::string(delim);
    StrTok(line, &list, delim);
    FUZZ_CHECK(list == fields, fuzz::Shown(line) + "\n got " + Joined(list) + "\n want " + Joined(fields));
  }
  bool bare = quotable;
  for (const auto& f : fields)
    bare = bare && !f.empty() && Trimmed(f) == f && FindAtCharacter(f + std::string(delim), delim) == f.size();
  if (bare) {
    // A trailing delimiter adds no field, so the line has none.
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? std::string(delim) : std::string()) + fields[i];
    StrTok(line, &list, delim);
    FUZZ_CHECK(list == fields, fuzz::Shown(line) + "\n got " + Joined(list) + "\n want " + Joined(fields));
  }
  return 0;
}
