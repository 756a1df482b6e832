#include "util/inifile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include "util/codec.h"
#include "util/paths.h"

namespace wendul {

namespace {

// 設定ファイルに書き込めません / 設定ファイルを読めません
const char kCannotWrite[] =
    "\x90\xdd\x92\xe8\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xc9\x8f\x91\x82\xab\x8d\x9e\x82\xdf\x82\xdc"
    "\x82\xb9\x82\xf1";
const char kCannotRead[] =
    "\x90\xdd\x92\xe8\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xf0\x93\xc7\x82\xdf\x82\xdc\x82\xb9\x82\xf1";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Names compare with ASCII letters folded, character by character: the trail
// byte of a double-byte character (often in 0x41..0x5A) is never folded.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (IsSjisLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
      ++i;
    } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
      return false;
    }
  }
  return true;
}

// Display form of a file name in a message of the system's code page.
std::string ShownPath(const std::string& path) {
  try {
    return Utf8ToSjis(path);
  } catch (...) {
    return path;
  }
}

[[noreturn]] void RaiseFileError(const char* what, const std::string& path, const std::string& reason) {
  throw GeneralError(std::string(what) + ": " + ShownPath(path) + " (" + reason + ")");
}

enum class Kind { Other, Comment, Section, Key };

struct Line {
  size_t begin = 0, end = 0;  // content, without the line break
  size_t eolLen = 0;          // 0 (last line without break), 1 (LF) or 2 (CR LF)
  Kind kind = Kind::Other;
  std::string_view name;      // section or key name, trimmed
  std::string_view value;     // key value, trimmed
  size_t valueOffset = 0;     // where the value starts within the line (after '=' and blanks)
  int section = -1;           // index of the section header line this line belongs to
};

struct Parsed {
  std::string text;
  std::vector<Line> lines;
  std::string eol = "\r\n";   // line break of the file, CR LF for a new file
};

void Parse(Parsed& p) {
  const std::string& t = p.text;
  bool eolSeen = false;
  int section = -1;
  size_t pos = 0;
  while (pos < t.size()) {
    Line ln;
    ln.begin = pos;
    size_t lf = t.find('\n', pos);
    if (lf == std::string::npos) {
      ln.end = t.size();
      pos = t.size();
    } else {
      ln.end = lf;
      ln.eolLen = 1;
      if (lf > pos && t[lf - 1] == '\r') {
        --ln.end;
        ln.eolLen = 2;
      }
      pos = lf + 1;
      if (!eolSeen) {
        p.eol = ln.eolLen == 2 ? "\r\n" : "\n";
        eolSeen = true;
      }
    }
    std::string_view content(t.data() + ln.begin, ln.end - ln.begin);
    std::string_view trimmed = TrimBlanks(content);
    if (!trimmed.empty() && trimmed.front() == ';') {
      ln.kind = Kind::Comment;
    } else if (!trimmed.empty() && trimmed.front() == '[') {
      // The name runs to the last ']' (a ']' byte inside a double-byte character doesn't count).
      size_t close = std::string_view::npos;
      for (size_t i = 1; i < trimmed.size(); ++i) {
        if (IsSjisLeadByte(static_cast<unsigned char>(trimmed[i])) && i + 1 < trimmed.size()) {
          ++i;
        } else if (trimmed[i] == ']') {
          close = i;
        }
      }
      ln.kind = Kind::Section;
      ln.name = TrimBlanks(trimmed.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      section = static_cast<int>(p.lines.size());
    } else if (size_t eq = content.find('='); eq != std::string_view::npos) {
      // '=' (0x3D) is never a trail byte, so the first one ends the name.
      std::string_view name = TrimBlanks(content.substr(0, eq));
      if (!name.empty()) {
        ln.kind = Kind::Key;
        ln.name = name;
        size_t v = eq + 1;
        while (v < content.size() && IsBlank(content[v])) ++v;
        ln.valueOffset = v;
        ln.value = TrimBlanks(content.substr(v));
      }
    }
    ln.section = section;
    p.lines.push_back(ln);
  }
}

// Japanese reasons for a file that is not read as settings.
// フォルダーです / 大きすぎます / 設定ファイルの形式ではありません（NUL バイトを含みます）
const char kIsFolder[] = "\x83\x74\x83\x48\x83\x8b\x83\x5f\x81\x5b\x82\xc5\x82\xb7";
const char kTooLarge[] = "\x91\xe5\x82\xab\x82\xb7\x82\xac\x82\xdc\x82\xb7";
const char kNotSettings[] =
    "\x90\xdd\x92\xe8\x83\x74\x83\x40\x83\x43\x83\x8b\x82\xcc\x8c\x60\x8e\xae\x82\xc5\x82\xcd\x82\xa0"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x69NUL \x83\x6f\x83\x43\x83\x67\x82\xf0\x8a\xdc\x82\xdd\x82\xdc"
    "\x82\xb7\x81\x6a";

// Reads the whole file. Missing -> empty and true; unreadable -> false. A
// folder, a file larger than any settings file and one holding NUL bytes
// (a binary file) count as unreadable: read as defaults, never written.
bool ReadAll(const std::string& path, std::string& out, std::string* reason) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return true;
    if (reason) *reason = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && (S_ISDIR(st.st_mode) || st.st_size > kMaxSettingsFileBytes)) {
    if (reason) {
      *reason = S_ISDIR(st.st_mode) ? std::string(kIsFolder)
                                    : std::string(kTooLarge) + ", " + std::to_string(st.st_size) + " bytes";
    }
    ::close(fd);
    return false;
  }
  char buf[16384];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
      if (out.size() > static_cast<size_t>(kMaxSettingsFileBytes)) {  // grew while read
        if (reason) *reason = kTooLarge;
        ::close(fd);
        out.clear();
        return false;
      }
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      if (reason) *reason = std::strerror(errno);
      ::close(fd);
      out.clear();
      return false;
    }
  }
  ::close(fd);
  if (out.find('\0') != std::string::npos) {
    if (reason) *reason = kNotSettings;
    out.clear();
    return false;
  }
  return true;
}

bool InSection(const Parsed& p, const Line& ln, std::string_view section) {
  return ln.section >= 0 && SameName(p.lines[ln.section].name, section);
}

// The first key line of that name in any section of that name, or -1.
int FindKey(const Parsed& p, std::string_view section, std::string_view key) {
  for (size_t i = 0; i < p.lines.size(); ++i) {
    const Line& ln = p.lines[i];
    if (ln.kind == Kind::Key && InSection(p, ln, section) && SameName(ln.name, key)) return static_cast<int>(i);
  }
  return -1;
}

// A value read back: one pair of enclosing double or single quotes is not
// part of it, as the Windows profile functions read it. (Neither quote byte
// can be a trail byte, so the last byte is a character of its own.)
std::optional<std::string_view> Lookup(const Parsed& p, std::string_view section, std::string_view key) {
  int i = FindKey(p, section, key);
  if (i < 0) return std::nullopt;
  std::string_view v = p.lines[i].value;
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return v;
}

// True when the name's last byte is a lead byte without its trail byte: the
// "]" written after it would be read as that trail byte.
bool EndsInLoneLead(std::string_view name) {
  size_t i = 0;
  while (i + 1 < name.size()) i += IsSjisLeadByte(static_cast<unsigned char>(name[i])) ? 2 : 1;
  return i + 1 == name.size() && IsSjisLeadByte(static_cast<unsigned char>(name[i]));
}

// A name that the reader would not find again is refused: a key line that
// starts with ";" is a comment and one that starts with "[" a section header.
void CheckName(std::string_view name, bool isKey) {
  if (name.empty() || name.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos ||
      (isKey && (name.find('=') != std::string_view::npos || name.front() == ';' || name.front() == '[')) ||
      (!isKey && (name.find(']') != std::string_view::npos || EndsInLoneLead(name)))) {
    throw GeneralError("IniFile: invalid " + std::string(isKey ? "key" : "section") + " name \"" +
                       std::string(name) + "\"");
  }
}

// A value ends at its line; a line break in it would make new keys of the
// rest. It also ends at a NUL byte, as the C string of the Windows call did:
// a NUL in the file would make it a binary file that is no longer read.
std::string_view OneLine(std::string_view value) {
  size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
  return cut == std::string_view::npos ? value : value.substr(0, cut);
}

class Editor {
 public:
  explicit Editor(const std::string& path) : path_(path) {
    std::string reason;
    if (!ReadAll(path, p_.text, &reason)) RaiseFileError(kCannotRead, path, reason);
    Parse(p_);
    replace_.resize(p_.lines.size());
    insertAfter_.resize(p_.lines.size());
    deleted_.assign(p_.lines.size(), false);
  }
  Parsed& parsed() { return p_; }
  void Replace(size_t line, std::string text) { replace_[line] = std::move(text); }
  void Delete(size_t line) { deleted_[line] = true; }
  void InsertAfter(size_t line, std::string text) { insertAfter_[line] += text; }
  void Append(std::string text) { append_ += text; }

  void Save() {
    std::string out;
    out.reserve(p_.text.size() + 128);
    bool endsWithBreak = true;
    for (size_t i = 0; i < p_.lines.size(); ++i) {
      const Line& ln = p_.lines[i];
      if (!deleted_[i]) {
        if (replace_[i]) {
          out += *replace_[i];
        } else {
          out.append(p_.text, ln.begin, ln.end - ln.begin);
        }
        out.append(p_.text, ln.end, ln.eolLen);
        endsWithBreak = ln.eolLen > 0;
      }
      if (!insertAfter_[i].empty()) {
        if (!endsWithBreak) out += p_.eol;
        out += insertAfter_[i];
        endsWithBreak = true;
      }
    }
    if (!append_.empty()) {
      if (!out.empty()) {
        if (!endsWithBreak) out += p_.eol;
        // A blank line before a new section, as the file's other sections usually have.
        if (out.size() < 2 * p_.eol.size() || out.compare(out.size() - 2 * p_.eol.size(), 2 * p_.eol.size(), p_.eol + p_.eol) != 0)
          out += p_.eol;
      }
      out += append_;
    }
    if (out == p_.text) return;  // nothing changed: leave the file alone

    std::string folder = path_.substr(0, path_.rfind('/') == std::string::npos ? 0 : path_.rfind('/'));
    if (!folder.empty() && !ForceDirectories(folder)) RaiseFileError(kCannotWrite, path_, "cannot create the folder");
    AtomicFile f;
    std::string reason;
    if (!f.Open(path_, &reason) || !f.Write(out) || !f.Commit(&reason)) {
      RaiseFileError(kCannotWrite, path_, reason.empty() ? "write error" : reason);
    }
  }

 private:
  std::string path_;
  Parsed p_;
  std::vector<std::optional<std::string>> replace_;
  std::vector<std::string> insertAfter_;
  std::vector<bool> deleted_;
  std::string append_;
};

// GetPrivateProfileInt-like: optional sign, then decimal digits or "0x" and
// hex digits, read as far as they go, wrapping to 32 bits (so a colour written
// as 4294967295 reads as -1). Text that does not start with a number yields
// nullopt, and the caller's default is used instead of a made-up 0.
std::optional<int32_t> ParseProfileInt(std::string_view s) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  uint32_t v = 0;
  bool any = false;
  if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    any = true;  // the "0" itself is a number
    for (i += 2; i < s.size(); ++i) {
      char c = s[i];
      int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      if (d < 0) break;
      v = v * 16u + static_cast<uint32_t>(d);
    }
  } else {
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
      v = v * 10u + static_cast<uint32_t>(s[i] - '0');
      any = true;
    }
  }
  if (!any) return std::nullopt;
  if (negative) v = 0u - v;
  return static_cast<int32_t>(v);
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

SjisString SettingsFileProblem(const std::string& path) {
  std::string text, reason;
  if (ReadAll(path, text, &reason)) return {};
  return std::string(kCannotRead) + ": " + ShownPath(path) + " (" + reason + ")";
}

SjisString IniFile::ReadString(std::string_view section, std::string_view key, std::string_view def) const {
  Parsed p;
  if (!ReadAll(path_, p.text, nullptr)) return SjisString(def);  // an unreadable file reads as defaults
  Parse(p);
  auto v = Lookup(p, TrimBlanks(section), TrimBlanks(key));
  return v ? SjisString(*v) : SjisString(def);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  Parsed p;
  if (!ReadAll(path_, p.text, nullptr)) return def;
  Parse(p);
  auto v = Lookup(p, TrimBlanks(section), TrimBlanks(key));
  if (!v) return def;
  return ParseProfileInt(*v).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniFile::ValueExists(std::string_view section, std::string_view key) const {
  Parsed p;
  if (!ReadAll(path_, p.text, nullptr)) return false;
  Parse(p);
  return Lookup(p, TrimBlanks(section), TrimBlanks(key)).has_value();
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  WriteStrings({{std::string(section), std::string(key), SjisString(value)}});
}

void IniFile::WriteStrings(const std::vector<Entry>& entries) {
  for (const Entry& e : entries) {
    CheckName(TrimBlanks(e.section), false);
    CheckName(TrimBlanks(e.key), true);
  }
  Editor ed(path_);
  Parsed& p = ed.parsed();
  const std::string& eol = p.eol;
  // Keys not in the file yet, gathered per section so that a new section is
  // written once with all its keys.
  std::vector<std::pair<std::string, std::string>> added;  // section, lines
  for (size_t n = 0; n < entries.size(); ++n) {
    const std::string_view section = TrimBlanks(entries[n].section);
    const std::string_view key = TrimBlanks(entries[n].key);
    bool later = false;  // a later entry for the same key wins
    for (size_t m = n + 1; m < entries.size() && !later; ++m)
      later = SameName(TrimBlanks(entries[m].section), section) && SameName(TrimBlanks(entries[m].key), key);
    if (later) continue;
    const std::string_view value = TrimBlanks(OneLine(entries[n].value));
    if (int i = FindKey(p, section, key); i >= 0) {
      // Keep the name and the spacing around '=' as the file has them.
      const Line& ln = p.lines[i];
      ed.Replace(i, p.text.substr(ln.begin, ln.valueOffset) + std::string(value));
      continue;
    }
    std::string entry = std::string(key) + "=" + std::string(value) + eol;
    int header = -1, lastKey = -1;
    for (size_t j = 0; j < p.lines.size(); ++j) {
      const Line& ln = p.lines[j];
      if (ln.kind == Kind::Section && header < 0 && SameName(ln.name, section)) header = static_cast<int>(j);
      if (header >= 0 && ln.section == header && ln.kind == Kind::Key) lastKey = static_cast<int>(j);
    }
    if (header >= 0) {
      // After the section's last key, so that comments or blank lines that
      // lead into the next section stay with it.
      ed.InsertAfter(lastKey >= 0 ? lastKey : header, entry);
      continue;
    }
    auto it = added.begin();
    while (it != added.end() && !SameName(it->first, section)) ++it;
    if (it == added.end()) added.emplace_back(std::string(section), entry);
    else it->second += entry;
  }
  for (size_t i = 0; i < added.size(); ++i) {
    ed.Append((i > 0 ? eol : std::string()) + "[" + added[i].first + "]" + eol + added[i].second);
  }
  ed.Save();
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  if (section.empty() || key.empty()) return;
  Editor ed(path_);
  Parsed& p = ed.parsed();
  // Every line of that key goes, so that no later duplicate shows through.
  for (size_t j = 0; j < p.lines.size(); ++j) {
    const Line& ln = p.lines[j];
    if (ln.kind == Kind::Key && InSection(p, ln, section) && SameName(ln.name, key)) ed.Delete(j);
  }
  ed.Save();
}

void IniFile::EraseSection(std::string_view section) {
  section = TrimBlanks(section);
  if (section.empty()) return;
  Editor ed(path_);
  Parsed& p = ed.parsed();
  for (size_t j = 0; j < p.lines.size(); ++j) {
    if (InSection(p, p.lines[j], section)) ed.Delete(j);  // the header belongs to its own section
  }
  ed.Save();
}

}  // namespace wendul
