// The command line. Arguments are the input cut at 0x00 bytes. The parse
// agrees with the rules written plainly: every argument is a file, an
// option, "--help"/"--version", an unknown "--name" or the "--" that makes
// the rest files; files keep their order and bytes; the last of a letter counts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "store/companion.h"

using namespace wendul;

namespace {

struct Parsed {
  std::vector<std::string> files, unknown;
  bool given[26] = {};
  std::string opt[26];
  bool help = false, version = false;
};

bool Letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

Parsed Reference(const std::vector<std::string>& args) {
  Parsed p;
  bool rest = false;
  for (const std::string& a : args) {
    if (rest) { p.files.push_back(a); continue; }
    if (a == "--") { rest = true; continue; }
    if (a == "--help") { p.help = true; continue; }
    if (a == "--version") { p.version = true; continue; }
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) { p.unknown.push_back(a); continue; }
    bool option = false;
    if (a.size() >= 2 && Letter(a[1])) {
      if (a[0] == '-') {
        option = true;
      } else if (a[0] == '/') {
        const std::string text = a.substr(2);
        option = text.find_first_not_of("0123456789-+/.:") == std::string::npos && (text.empty() || text[0] != '/');
      }
    }
    if (option) {
      const int k = (a[1] | 0x20) - 'a';
      p.given[k] = true;
      p.opt[k] = a.substr(2);
    } else {
      p.files.push_back(a);
    }
  }
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string cur;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(cur);
      cur.clear();
    } else {
      cur += static_cast<char>(data[i]);
    }
  }
  if (size > 0) args.push_back(cur);
  std::vector<const char*> argv{"wendul"};
  for (const auto& a : args) argv.push_back(a.c_str());
  MuAVParm(static_cast<int>(argv.size()), argv.data());

  const Parsed want = Reference(args);
  FUZZ_CHECK(MuAVFileN() == static_cast<int>(want.files.size()), "file count");
  for (int i = 1; i <= MuAVFileN(); ++i) FUZZ_CHECK(MuAVFile(i) == want.files[i - 1], "file " + std::to_string(i));
  FUZZ_CHECK(MuAVFile(0).empty() && MuAVFile(MuAVFileN() + 1).empty(), "out of range");
  FUZZ_CHECK(MuAVUnknown() == want.unknown, "unknown arguments");
  FUZZ_CHECK(MuAVWantsHelp() == want.help && MuAVWantsVersion() == want.version, "help/version");
  for (int k = 0; k < 26; ++k) {
    for (char c : {static_cast<char>('A' + k), static_cast<char>('a' + k)}) {
      FUZZ_CHECK(MuAVOpt(c) == want.given[k], std::string("option ") + c);
      FUZZ_CHECK(MuAVOptDt(c) == want.opt[k], std::string("option text ") + c);
    }
  }
  for (char c : {'0', '-', '/', '\0', static_cast<char>(0xC0)})
    FUZZ_CHECK(!MuAVOpt(c) && MuAVOptDt(c).empty(), "a non-letter is never an option");
  return 0;
}
