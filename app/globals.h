// Values fixed for the whole run, set once during start-up.
#pragma once

#include <cstdint>
#include <string>

namespace wendul {

struct AppGlobals {
  std::string settingsFileName = "WENDUL.INI";  // or "WENDUL_debug.INI" with option N
  std::string settingsPath;                     // config folder + settingsFileName
  std::string programFolder;                    // where the program's own files are written (data folder), ends in "/"
  std::string kwdFolder;                        // [Path] KWD, raw
  std::string mulogTextFolder;                  // [Path] MulogText, "/" appended unless empty
  int32_t adminLevel = 0;                       // [system] admin
  bool logMode = false;                         // admin > 0 and option D
  bool logOptionGiven = false;                  // option D on the command line
};

AppGlobals& G();

}  // namespace wendul
