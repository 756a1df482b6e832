// Where Wendul's files live on Linux.
//   config folder ("Windows folder", WENDUL.INI):  $XDG_CONFIG_HOME/wendul/ (~/.config/wendul/)
//   data folder (TABLE/ with the tables and the error log): $XDG_DATA_HOME/wendul/
//   shipped files (README.TXT, Manual.TXT): beside the executable or <prefix>/share/wendul/
// WENDUL_HOME, when set, replaces both the config and the data folder.
#pragma once

#include <string>
#include <string_view>

namespace wendul {

std::string GetWDir();           // config folder, ending in "/"; created on demand by writers
std::string DataDir();           // data folder, ending in "/"
std::string ProgramDir();        // folder of the running executable, ending in "/"
// Full path of a shipped file, looked up beside the executable, then in the
// installed data folder; the first candidate when neither exists.
std::string ShippedFile(const std::string& name);
// Appends "/" unless the folder is empty or already ends in "/" or "\".
// Folder names of the file system only (UTF-8, where every 0x5C byte is a
// backslash); a code page 932 name may end in a trail byte 0x5C (表, ソ).
std::string AddBackslash(const std::string& folder);
// A folder named in the settings file ([Path] KWD, MulogText): code page 932
// text, Windows or POSIX separators. Returns it as a folder of the file system:
// decoded to UTF-8 once, here, "\" turned into "/" (only where a character
// starts, so 表 and ソ stay whole), ending in "/". An empty or relative value
// is taken below `base` (a folder ending in "/"), never the current folder.
std::string SettingsFolder(std::string_view cp932Value, const std::string& base);
// Creates the folder and its parents; false when it cannot.
bool ForceDirectories(const std::string& folder);
// Set by the program entry from argv[0] (used by ProgramDir).
void SetProgramPath(const std::string& argv0);

// All-or-nothing replacement of a file: the bytes go to a temporary file in
// the target's folder (".wendul<pid>_<n>.tmp", locked while it is written),
// which takes the target's place only on Commit. Until then (and after any
// failure) the old file stays as it was. A symbolic link is followed, so the
// file it names is replaced (created when missing); an existing file's
// permissions and, where allowed, owner are kept. A commit also removes the
// temporary files a killed save left in that folder.
// Removes the temporary files of AtomicFile's naming in a folder that no
// running program holds (a save that was killed left them); the number removed.
int RemoveStaleTemps(const std::string& folder);
bool IsAtomicTempName(std::string_view name);

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();  // abandons an uncommitted file

  // Starts the temporary file; false (with the reason in *error) when the
  // folder does not take it.
  bool Open(const std::string& target, std::string* error = nullptr);
  // Appends bytes; false once any write has failed.
  bool Write(std::string_view bytes);
  // Flushes, syncs and renames over the target; false (reason in *error)
  // when any step or an earlier write failed, the target then untouched.
  bool Commit(std::string* error = nullptr);
  void Abandon();
  bool IsOpen() const { return fd_ >= 0; }
  // The errno of the failure Open or Commit reported.
  int ErrorCode() const { return errno_; }
  // The file that is replaced (a link's target).
  const std::string& Target() const { return target_; }

 private:
  int fd_ = -1;
  bool failed_ = false;
  int errno_ = 0;
  std::string target_;
  std::string temp_;
  std::string buf_;  // small writes are gathered before they reach the file
  bool Flush();
};

}  // namespace wendul
