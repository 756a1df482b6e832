// The settings file reader and writer. Input: the file's bytes, a section, a
// key and a value, separated by 0xFF bytes. Writing the value and reading it
// back gives the value as a profile file keeps it (one line, blanks around it
// trimmed, one pair of enclosing quotes dropped), or the write is refused for
// a name that cannot be written; every other key reads as it did before, and
// a second write of the same value leaves the file's bytes alone.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "util/codec.h"
#include "util/inifile.h"

using namespace wendul;

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

const std::string& FilePath() {
  static const std::string path = [] {
    const std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return base + "/wendul-fuzz-ini-" + std::to_string(getpid()) + ".INI";
  }();
  return path;
}

std::string ReadFile() {
  std::ifstream in(FilePath(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Section and key names that the file may hold, found the naive way.
std::vector<std::pair<std::string, std::string>> Candidates(std::string_view text) {
  std::vector<std::string> sections{"Path"}, keys{"KWD"};
  size_t start = 0;
  while (start <= text.size() && sections.size() + keys.size() < 16) {
    size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    line = TrimBlanks(line);
    if (!line.empty() && line.front() == '[') {
      size_t close = line.rfind(']');
      sections.emplace_back(TrimBlanks(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
    } else if (size_t eq = line.find('='); eq != std::string_view::npos) {
      keys.emplace_back(TrimBlanks(line.substr(0, eq)));
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  std::vector<std::pair<std::string, std::string>> out;
  for (const auto& s : sections)
    for (const auto& k : keys)
      if (!TrimBlanks(s).empty() && !TrimBlanks(k).empty()) out.emplace_back(s, k);
  return out;
}

bool SameAscii(std::string_view a, std::string_view b) {
  // Only used to skip the written key itself: folding every byte may skip a
  // few more pairs, never fewer.
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = (fuzz::InstallQuietUi(), true);
  (void)once;
  std::vector<std::string> parts(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0xFF) {
      if (parts.size() == 4) break;
      parts.emplace_back();
    } else {
      parts.back() += static_cast<char>(data[i]);
    }
  }
  if (parts.size() < 4) return 0;
  const std::string& content = parts[0];
  const std::string& section = parts[1];
  const std::string& key = parts[2];
  const std::string& value = parts[3];
  if (content.empty()) {
    unlink(FilePath().c_str());
  } else {
    std::ofstream(FilePath(), std::ios::binary | std::ios::trunc) << content;
  }
  IniFile ini(FilePath());
  if (content.find('\0') != std::string::npos) {
    // A binary file is no settings file: read as defaults, never written.
    FUZZ_CHECK(ini.ReadString(section, key, "\x01missing") == "\x01missing", "a binary file was read");
    bool refused = false;
    try {
      ini.WriteString(section, key, value);
    } catch (const GeneralError&) {
      refused = true;
    }
    FUZZ_CHECK(refused && ReadFile() == content, "a binary file was written");
    return 0;
  }
  const auto probes = Candidates(content);
  std::vector<std::string> before;
  for (const auto& [s, k] : probes) before.push_back(ini.ReadString(s, k, "\x01missing"));

  const std::string_view sec = TrimBlanks(section), k = TrimBlanks(key);
  // A lead byte at the end of a section name would take the "]" for its trail byte.
  size_t c = 0;
  while (c + 1 < sec.size()) c += IsSjisLeadByte(static_cast<unsigned char>(sec[c])) ? 2 : 1;
  const bool loneLead = c + 1 == sec.size() && IsSjisLeadByte(static_cast<unsigned char>(sec[c]));
  const bool writable = !loneLead && !sec.empty() && !k.empty() &&
                        sec.find_first_of(std::string_view("\r\n]\0", 4)) == std::string_view::npos &&
                        k.find_first_of(std::string_view("\r\n=\0", 4)) == std::string_view::npos &&
                        k.front() != ';' && k.front() != '[';
  try {
    ini.WriteString(section, key, value);
  } catch (const GeneralError& e) {
    FUZZ_CHECK(!writable, "write refused: " + std::string(e.what()) + "\nsection " + fuzz::Shown(section) +
                              " key " + fuzz::Shown(key));
    FUZZ_CHECK(ReadFile() == content, "a refused write changed the file");
    return 0;
  }
  FUZZ_CHECK(writable, "an unwritable name was written: " + fuzz::Shown(section) + " / " + fuzz::Shown(key));

  std::string_view expect = value;
  expect = expect.substr(0, expect.find_first_of(std::string_view("\r\n\0", 3)));
  expect = TrimBlanks(expect);
  if (expect.size() >= 2 && (expect.front() == '"' || expect.front() == '\'') && expect.back() == expect.front())
    expect = expect.substr(1, expect.size() - 2);
  const std::string got = ini.ReadString(section, key, "\x01missing");
  FUZZ_CHECK(got == expect, "file " + fuzz::Shown(content) + "\n[" + fuzz::Shown(section) + "] " +
                                fuzz::Shown(key) + " = " + fuzz::Shown(value) + "\n read back " + fuzz::Shown(got) +
                                "\n file now " + fuzz::Shown(ReadFile()));
  for (size_t i = 0; i < probes.size(); ++i) {
    if (SameAscii(TrimBlanks(probes[i].first), sec) && SameAscii(TrimBlanks(probes[i].second), k)) continue;
    const std::string now = ini.ReadString(probes[i].first, probes[i].second, "\x01missing");
    FUZZ_CHECK(now == before[i], "[" + fuzz::Shown(probes[i].first) + "] " + fuzz::Shown(probes[i].second) +
                                     " was " + fuzz::Shown(before[i]) + " and is " + fuzz::Shown(now) +
                                     "\nfile was " + fuzz::Shown(content) + "\nfile now " + fuzz::Shown(ReadFile()));
  }
  const std::string written = ReadFile();
  ini.WriteString(section, key, value);
  FUZZ_CHECK(ReadFile() == written, "writing the same value again changed the file");
  return 0;
}
