// Handing files and addresses to the desktop: xdg-open with the name as its
// one argument, started directly (no shell ever reads a document's text).
// Kept small on purpose: the utility library's own opener takes its place.
#pragma once

#include <string>
#include <string_view>

#include "util/wtypes.h"

namespace wendul {

// Asks the desktop to open a file-system name or an address (UTF-8). True
// when it could not be asked: a file that does not exist, or no opener.
bool ShellOpen(const std::string& target);

// The web address written on a line, or "": the line gets an "h" in front
// when it holds "ttp" but no "http"; the address starts at its first "http",
// else at its first "www", and ends at the first blank (ASCII or full-width)
// or at the line's end. Matches count only where a character starts.
SjisString URLInLine(std::string_view line);

// Opens an address found in a document: nothing when it is empty after
// trimming; one beginning "www" gets "http://" in front.
void OpenAddress(std::string_view address, const std::string& program, bool useShell);

}  // namespace wendul
