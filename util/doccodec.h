// The encodings a document file may be in, and which one a file is.
//
// The system's own text stays code page 932 (util/codec.h); a document is
// read from and written to its file in the file's own encoding: Shift-JIS,
// UTF-8 (with or without a byte order mark), EUC-JP or UTF-16 (either byte
// order). A file without a byte order mark is named by uchardet, which was
// right more often than ICU's detector on short Japanese lines (the
// measurement is bench/charset_bench.cpp); Shift-JIS is the answer whenever
// the detector is unsure, so that a Shift-JIS file is never read as another
// encoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wendul {

enum class DocEncoding : uint8_t { ShiftJis, Utf8, EucJp, Utf16LE, Utf16BE };

struct DocCodec {
  DocEncoding encoding = DocEncoding::ShiftJis;
  bool bom = false;  // UTF-8 and UTF-16: the file begins with a byte order mark
  bool operator==(const DocCodec&) const = default;
};

// The status line's short name: "SJIS", "UTF-8", "UTF-8 BOM", "EUC-JP",
// "UTF-16LE", "UTF-16BE" ("UTF-16LE BOMなし" without a byte order mark).
std::string CodecName(DocCodec codec);
// The codec a short name stands for; false for a name that is none.
bool CodecFromName(std::string_view name, DocCodec* codec);
// The name in menus and messages: "Shift-JIS", "UTF-8", "EUC-JP", "UTF-16".
std::string EncodingCaption(DocEncoding encoding);

// What the save dialog and the options offer, in this order: Shift-JIS,
// UTF-8, UTF-8 with a byte order mark, EUC-JP, UTF-16 LE and UTF-16 BE
// (both with a byte order mark).
const std::vector<DocCodec>& CodecChoices();
// A choice's caption ("UTF-8（BOM付き）"). Names and captions are UTF-8.
std::string CodecChoiceCaption(DocCodec codec);
// The index of a codec among the choices (a UTF-16 file without a mark
// counts as the same byte order with one); 0 when it is none of them.
int CodecChoiceIndex(DocCodec codec);
// The choice at index; Shift-JIS for an index out of range.
DocCodec CodecChoiceAt(int index);

// The byte order mark a codec writes ("" for none).
std::string_view BomBytes(DocCodec codec);

// The encoding of a file's bytes: a byte order mark first; then UTF-16
// without one when zero bytes and the side of the high bytes leave no doubt;
// then bytes that are valid in only one of UTF-8, EUC-JP and Shift-JIS;
// between valid ones the detector decides. Shift-JIS when unsure.
DocCodec DetectCodec(std::string_view bytes);
// The bytes read as the user asks (the reopen command): a UTF-8 or UTF-16
// byte order mark is honoured, and UTF-16 without one takes the byte order
// its high bytes show (little-endian when they show none).
DocCodec CodecForReopen(std::string_view bytes, DocEncoding wanted);

// --- characters of an encoding (the document reader and writer) ----------

// The bytes at pos cannot be read as a character.
constexpr char32_t kBadChar = 0xFFFFFFFF;
// Decodes the character at bytes[pos] (pos < size); returns the number of
// bytes it takes. *cp is the code point, or kBadChar when those bytes are
// no character (one byte; two for a lone UTF-16 surrogate).
size_t DecodeChar(DocEncoding encoding, std::string_view bytes, size_t pos, char32_t* cp);
// Encodes a code point; the number of bytes written to out (at most 4), or 0
// when the encoding cannot hold it (Shift-JIS and EUC-JP take the Windows
// look-alikes of util/codec.h both ways).
int EncodeChar(DocEncoding encoding, char32_t cp, char out[4]);
// Whether every byte sequence is valid UTF-8 (strict: no overlong forms, no
// surrogates); one cut short by the end is forgiven when cutAtEnd is set.
bool IsValidUtf8(std::string_view bytes, bool cutAtEnd = false);

}  // namespace wendul
