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
  size_t end = start;
  while (end < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[end]);
    if (b <= 0x20) break;
    // A lead byte pairs only with a byte that can follow it: a stray lead
    // before a blank or a control byte must not carry it into the address.
    if (IsSjisLeadByte(b) && end + 1 < text.size() && static_cast<unsigned char>(text[end + 1]) >= 0x40) {
      if (b == 0x81 && text[end + 1] == '\x40') break;  // full-width blank
      end += 2;
    } else {
      ++end;
    }
  }
  return Trim(StripCRLF(std::string_view(text).substr(start, end - start)));
}

SjisString AddressToOpen(std::string_view address) {
  SjisString a = Trim(address);
  if (a.compare(0, 3, "www") == 0) return "http://" + a;
  return a;
}

}  // namespace wendul
