// Code page 932 (windows-31j) <-> Unicode, for the user interface's edge and
// for files. Built on ICU's converter tables, loaded once into lookup tables
// so that per-character calls on the keystroke path are cheap.
//
// Characters that input methods on Linux produce where Windows uses another
// code point are encoded to their Windows counterparts:
//   U+301C -> 0x8160 (as U+FF5E), U+2016 -> 0x8161 (as U+2225),
//   U+2212 -> 0x817C (as U+FF0D), U+00A5 -> 0x818F (as U+FFE5),
//   U+2014 -> 0x815C (as U+2015).
// A character that code page 932 cannot hold is reported, never replaced.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "wtypes.h"

namespace wendul {

// A character Windows writes where other systems (and input methods on
// Linux) use a look-alike: the list above and a few more.
struct LookAlike {
  char16_t other, windows;
};
std::span<const LookAlike> WindowsLookAlikes();

// Encodes one code point. Returns the number of bytes written to out (1 or 2),
// or 0 when code page 932 cannot hold it.
int EncodeCp932Char(char32_t cp, char out[2]);

// Decodes the character that starts at text[pos]; *len receives its byte
// length (1 or 2). A byte sequence that is not valid yields U+FFFD with len 1.
char32_t DecodeCp932Char(std::string_view text, size_t pos, int* len);

// True when `lead` is the first byte of a double-byte character.
inline bool IsSjisLeadByte(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Byte length (1 or 2) of the character at text[pos] as the lossless document
// reading counts it: a lead byte takes the next byte only when the two form a
// character, so a stray lead byte stands alone and never hides what follows.
// Every search over system text steps through characters by this rule.
size_t SjisCharLen(std::string_view text, size_t pos);

// Whole-string conversions. The Try forms return false (and the index of the
// first offending code unit or byte in *badPos, when given) instead of
// replacing anything.
bool TryUtf16ToSjis(std::u16string_view in, SjisString& out, size_t* badPos = nullptr);
bool TrySjisToUtf16(std::string_view in, std::u16string& out, size_t* badPos = nullptr);
// Lenient decode: invalid bytes become U+FFFD.
std::u16string SjisToUtf16(std::string_view in);

// UTF-8 forms, used by tests, file names and the command line. Utf8ToSjis
// raises GeneralError when a character cannot be held.
SjisString Utf8ToSjis(std::string_view utf8);
std::string SjisToUtf8(std::string_view sjis);
// As much of the text as code page 932 holds: a character it cannot hold,
// and each byte that is not UTF-8, becomes "?". False when any did.
bool Utf8ToSjisMarked(std::string_view utf8, SjisString* out);
// The code point of UTF-8 text at *pos, *pos moved past it; false (and *pos
// unmoved) on a malformed sequence. *pos must be inside the text.
bool NextUtf8(std::string_view s, size_t* pos, char32_t* cp);

// True when the text is valid Shift-JIS (code page 932): every lead byte has a
// valid trail byte and every character maps to Unicode.
bool MuIsValidStr(std::string_view text);

}  // namespace wendul
