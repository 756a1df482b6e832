// Program entry: command line, settings file, folders, the data module and
// the windows in their fixed order, then the event loop.
#pragma once

namespace wendul {

int RunWendul(int argc, char** argv);

// Chooses the settings file from the command line (option N) and derives the
// folders; the part of start-up that needs no window. Returns the settings path.
void PrepareGlobals();

}  // namespace wendul
