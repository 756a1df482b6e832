#include "util/filehelpers.h"

#include <sys/stat.h>
#include <unistd.h>

#include "util/codec.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

// First occurrence of pattern that starts on a character, or npos.
size_t FindAtChar(std::string_view text, std::string_view pattern) {
  int at = StrStr(text, pattern);
  return at > 0 ? static_cast<size_t>(at - 1) : std::string_view::npos;
}

}  // namespace

SjisString StripCRLF(std::string_view text) {
  if (text.size() >= 2 && text[text.size() - 2] == '\r') text.remove_suffix(2);
  return SjisString(text);
}

bool MuDeleteFile(const std::string& file) {
  struct stat st {};
  if (lstat(file.c_str(), &st) != 0) return false;
  if (::unlink(file.c_str()) != 0) PgmError("MuDeleteFile() PGM Error :" + file);
  return true;
}

SjisString URLInLine(std::string_view line) {
  SjisString text(line);
  if (FindAtChar(text, "ttp") != std::string::npos && FindAtChar(text, "http") == std::string::npos)
    text.insert(0, 1, 'h');
  size_t start = FindAtChar(text, "http");
  if (start == std::string::npos) start = FindAtChar(text, "www");
  if (start == std::string::npos) return {};
  // Japanese prose puts no blank after an address: it ends at the first byte
  // that cannot stand in one (a blank, a control, any byte of a Japanese
  // character) or at the bracket or quote that closes around it. A bracket
  // opened inside the address is its own (a wiki page "Foo_(bar)", an IPv6
  // host "[::1]"), so its closing one stays.
  size_t end = start;
  int parens = 0, brackets = 0;
  for (; end < text.size(); ++end) {
    const auto c = static_cast<unsigned char>(text[end]);
    if (c <= ' ' || c > '~' || c == '>' || c == '"' || c == '\'') break;
    if (c == '(') ++parens;
    if (c == '[') ++brackets;
    if (c == ')' && parens-- == 0) break;
    if (c == ']' && brackets-- == 0) break;
  }
  return text.substr(start, end - start);
}

SjisString AddressToOpen(std::string_view address) {
  SjisString a = Trim(address);
  if (a.compare(0, 3, "www") == 0) return "http://" + a;
  return a;
}

}  // namespace wendul
