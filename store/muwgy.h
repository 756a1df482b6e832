// The word pattern engine: a small transducer over Shift-JIS text, driven by a
// pattern of rules. The word extraction compiles its word pattern once and
// runs every piece of text through it.
//
// Pattern language
// ----------------
//   pattern := rule { CR LF rule } [ CR LF ]      (empty rules are ignored)
//   rule    := match "_" action
//   match   := atom [ "+" ]                       ("+": a maximal run of the atom)
//   atom    := "[" item { item } "]"              a character class
//            | "?"                                any one character
//            | char                               that character
//   item    := char [ "-" char ]                  a character or a range
//   char    := a single-byte or double-byte character, or "\" + character
//   action  := [ "+" ] { char }                   "+": the matched text; the rest
//                                                 is written literally after it
// Ranges compare character codes (single byte b as b, double-byte lead/trail
// as lead * 256 + trail), so "ァ-ヶ" is 0x8340..0x8396. A "-" first or last
// in a class stands for itself, as does any character after "\".
//
// Running the pattern: at each position the first rule whose atom matches
// the character there applies; it consumes that character, or with "+" the
// longest run of characters its atom matches, and writes its action. A
// character no rule matches is copied unchanged.
//
// Characters: a lead byte (0x81-0x9F, 0xE0-0xFC) followed by a trail byte
// (0x40-0x7E, 0x80-0xFC) is one double-byte character; every other byte,
// including a lead byte at the end of the text or before a non-trail byte, is
// a single-byte character whose code is that byte. A run never ends inside a
// double-byte character and the engine never reads past its input.
//
// The word pattern "[…]+_+{wndl}\r\n?_\r\n" thus says: write every maximal
// run of the class followed by "{wndl}", and drop every other character.
//
// The engine runs on the user-interface thread only; handles are not shared
// between threads.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "util/wtypes.h"

namespace wendul {

// Longest text the engine accepts, in bytes.
inline constexpr size_t kMuWGYMaxInput = 16384;

// Compiles a pattern. maxMatchBytes bounds the length in bytes of each rule's
// match part (zero or less: no bound). Returns a handle > 0, or 0 when the
// pattern is malformed or a match part is longer than the bound.
int MuWGYInitStr(std::string_view pattern, int maxMatchBytes);

// The pattern's output for text, or nullopt when the handle is unknown
// (0 included) or text is longer than kMuWGYMaxInput bytes.
std::optional<SjisString> MuWGYStr(int handle, std::string_view text);

// Releases a handle; unknown handles are ignored. Handles are never reused.
void MuWGYTerm(int handle);

}  // namespace wendul
