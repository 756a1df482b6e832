// Values fixed for the whole run, set once during start-up.
#pragma once

#include <cstdint>
#include <string>

namespace wendul {

struct AppGlobals {
  std::string settingsFileName = "WENDUL.INI";  // or "WENDUL_debug.INI" with option N
  std::string settingsPath;                     // config folder + settingsFileName
  std::string programFolder;                    // where the program's own files are written (data folder), ends in "/"
  // Folders of the settings file as file-system names (UTF-8, ending in "/");
  // an empty or relative value lies below programFolder + "TABLE/".
  std::string kwdFolder;                        // [Path] KWD
  std::string mulogTextFolder;                  // [Path] MulogText
  int32_t adminLevel = 0;                       // [system] admin
  bool logMode = false;                         // admin > 0 and option D
  bool logOptionGiven = false;                  // option D on the command line
  std::string settingsProblem;                  // why the settings file is not used (Japanese), or empty
};

AppGlobals& G();

}  // namespace wendul
