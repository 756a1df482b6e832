// Settings files with the semantics of Windows profile files: sections and
// keys compared case-insensitively, values raw (a backslash is a character)
// but read without one pair of enclosing quotes (" or '), blanks around names
// and values trimmed, the first key of a name wins, only
// a line starting with ";" is a comment, the file is in code page 932, and a
// write replaces only its own line and keeps every other byte of the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wtypes.h"

namespace wendul {

// Settings files are a few kilobytes; a larger file is not read as one.
inline constexpr long long kMaxSettingsFileBytes = 1 << 20;

class IniFile {
 public:
  // path: full path of the file; it need not exist.
  explicit IniFile(std::string path);
  const std::string& Path() const { return path_; }

  SjisString ReadString(std::string_view section, std::string_view key, std::string_view def) const;
  // Windows rules: leading digits with optional sign, "0x" hex accepted; def when missing.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;
  bool ValueExists(std::string_view section, std::string_view key) const;

  // Writes raise GeneralError with a clear text when the file cannot be written.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);  // "1"/"0"
  // Many values in one read and one write of the file (the persisted
  // controls of a window store their values together at shutdown). Later
  // entries for the same key win; nothing is written when nothing changes.
  struct Entry {
    std::string section, key;
    SjisString value;
  };
  void WriteStrings(const std::vector<Entry>& entries);
  void DeleteKey(std::string_view section, std::string_view key);
  void EraseSection(std::string_view section);

 private:
  std::string path_;
};

// Why the file cannot be used as a settings file (unreadable, a folder, over
// kMaxSettingsFileBytes, binary with NUL bytes), in Japanese; empty when it
// can, or when it is missing. Such a file reads as defaults and every write
// raises instead of changing it.
SjisString SettingsFileProblem(const std::string& path);

}  // namespace wendul
