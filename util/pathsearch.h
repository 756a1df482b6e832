// Finding a program the way exec does: a name with a "/" is taken as it is,
// any other is looked up in the folders of PATH.
#pragma once

#include <string>

namespace wendul {

// The path of the executable file, "" when there is none.
std::string FindProgramOnPath(const std::string& name);

}  // namespace wendul
