// Where Wendul's files live on Linux.
//   config folder ("Windows folder", WENDUL.INI):  $XDG_CONFIG_HOME/wendul/ (~/.config/wendul/)
//   data folder (TABLE/ with the tables and the error log): $XDG_DATA_HOME/wendul/
//   shipped files (README.TXT, Manual.TXT): beside the executable or <prefix>/share/wendul/
// WENDUL_HOME, when set, replaces both the config and the data folder.
#pragma once

#include <string>

namespace wendul {

std::string GetWDir();           // config folder, ending in "/"; created on demand by writers
std::string DataDir();           // data folder, ending in "/"
std::string ProgramDir();        // folder of the running executable, ending in "/"
// Full path of a shipped file, looked up beside the executable, then in the
// installed data folder; the first candidate when neither exists.
std::string ShippedFile(const std::string& name);
std::string AddBackslash(const std::string& folder);  // appends "/" unless empty or present
// Creates the folder and its parents; false when it cannot.
bool ForceDirectories(const std::string& folder);
// Set by the program entry from argv[0] (used by ProgramDir).
void SetProgramPath(const std::string& argv0);

}  // namespace wendul
