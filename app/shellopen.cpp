#include "app/shellopen.h"

#include <QProcess>
#include <QStringList>
#include <filesystem>

#include "util/codec.h"
#include "util/strutil.h"

namespace wendul {

namespace {

bool IsAddress(const std::string& s) { return s.find("://") != std::string::npos || s.rfind("www.", 0) == 0; }

// Byte position of needle where a character starts, or npos.
size_t FindAtCharStart(std::string_view s, std::string_view needle, size_t from = 0) {
  for (size_t i = 0; i < s.size();) {
    if (i >= from && s.compare(i, needle.size(), needle) == 0) return i;
    i += IsSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
  }
  return std::string_view::npos;
}

}  // namespace

bool ShellOpen(const std::string& target) {
  if (target.empty()) return true;
  std::error_code ec;
  if (!IsAddress(target) && !std::filesystem::exists(target, ec)) return true;
  return !QProcess::startDetached("xdg-open", {QString::fromStdString(target)});
}

SjisString URLInLine(std::string_view line) {
  std::string text(line);
  if (FindAtCharStart(text, "ttp") != std::string::npos && FindAtCharStart(text, "http") == std::string::npos)
    text = "h" + text;
  size_t start = FindAtCharStart(text, "http");
  if (start == std::string::npos) start = FindAtCharStart(text, "www");
  if (start == std::string::npos) return {};
  size_t end = start;
  while (end < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[end]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') break;
    if (c == 0x81 && end + 1 < text.size() && static_cast<unsigned char>(text[end + 1]) == 0x40) break;  // "　"
    end += IsSjisLeadByte(c) && end + 1 < text.size() ? 2 : 1;
  }
  return Trim(text.substr(start, end - start));
}

void OpenAddress(std::string_view address, const std::string&, bool) {
  SjisString a = Trim(std::string(address));
  if (a.empty()) return;
  if (a.rfind("www", 0) == 0) a = "http://" + a;
  ShellOpen(SjisToUtf8(a));
}

}  // namespace wendul
