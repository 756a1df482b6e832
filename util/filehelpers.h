// File and address helpers of the utility library.
#pragma once

#include <string>
#include <string_view>

#include "wtypes.h"

namespace wendul {

// Drops a final CR LF: when the text has at least two characters and the
// second-to-last is CR, the last two are removed.
SjisString StripCRLF(std::string_view text);

// false when the file does not exist; true when it existed and was deleted;
// raises through PgmError "MuDeleteFile() PGM Error :" + name when it exists
// and cannot be deleted.
bool MuDeleteFile(const std::string& file);

// The web address written on a line, or "": the line gets an "h" in front
// when it holds "ttp" but no "http"; the address starts at its first "http",
// else at its first "www", and ends at the line's end or at the first byte
// that cannot stand in one: a blank, a control byte, any byte outside
// printable ASCII (so Japanese text written straight after it, 」』） included),
// or a closing ) ] > " ' that surrounds it (a ")" or "]" closing a bracket
// opened inside the address belongs to it). Matches count only where a
// character starts.
SjisString URLInLine(std::string_view line);

// What is handed to the browser for an address: one beginning "www" gets
// "http://" in front.
SjisString AddressToOpen(std::string_view address);

}  // namespace wendul
