// A document file in code page 932, read into text and written back without
// losing a byte.
//
// Reading never fails: a byte that is not part of a valid character (a stray
// trail byte, a lead byte without its trail, 0x80, 0xA0, 0xFD-0xFF, a lead
// byte alone at the end) and every NUL byte become a private-use character
// U+F700 + byte, which counts one byte and is written back as that byte.
// Lines end at CR LF, LF or a lone CR; the document's usual line break (the
// most frequent one, CR LF when it has none) is used for new lines. A line
// keeps what cannot be rebuilt from its text, its "origin": a line break of
// another kind, and the bytes of a line whose characters would be written
// back differently (the NEC and IBM duplicates decode to one code point, and
// Windows writes only one of them). While a line is not edited its bytes are
// written back as read; an edited line keeps its own line break.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "wtypes.h"

namespace wendul {

enum class LineEnd : uint8_t { None, CRLF, LF, CR };

// The bytes of a line break ("" for None).
std::string_view LineEndBytes(LineEnd end);

// Raw bytes as characters.
constexpr char16_t kRawByteBase = 0xF700;
inline bool IsRawByteChar(char32_t c) { return c >= 0xF700 && c <= 0xF7FF; }

// What a line had on disk beyond its text.
struct LineOrigin {
  LineEnd end = LineEnd::None;  // its own line break; None: the document's usual one
  bool keepsBytes = false;      // bytes below are the line as read (line break excluded)
  std::string bytes;
};

// What a file plainly is, when it is not Shift-JIS text.
enum class DocKind { ShiftJis, Utf8, Utf16, Binary };

struct SjisDocument {
  std::u16string text;       // the lines, joined by u'\n'
  size_t lineCount = 1;
  LineEnd lineEnd = LineEnd::CRLF;  // the usual line break
  // Lines (0-based) that need their origin, in ascending order.
  std::vector<std::pair<size_t, LineOrigin>> origins;
  size_t rawBytes = 0;       // bytes kept as private-use characters
  DocKind kind = DocKind::ShiftJis;
};

SjisDocument DecodeSjisDocument(std::string_view bytes);

// Text that comes back without its file (a recovery record) takes over the
// usual line break of the file it came from and, for every line whose text
// equals a line of that file that had an origin, that origin: lines the user
// did not edit are then written back as they were read.
void AdoptOrigins(SjisDocument& text, const SjisDocument& file);

// A short note for the status line about a file that is not plain Shift-JIS
// text (empty when it is).
SjisString DocKindNote(const SjisDocument& doc);

// Writes a document line by line. A line that keeps its bytes is copied;
// any other line is encoded from its text, each character code page 932
// cannot hold (a surrogate pair counts as one) written as "?".
class SjisDocWriter {
 public:
  explicit SjisDocWriter(LineEnd usual = LineEnd::CRLF) : usual_(usual == LineEnd::None ? LineEnd::CRLF : usual) {}

  void Reserve(size_t bytes) { out_.reserve(bytes); }
  // One line; `origin` may be null. The last line gets no line break.
  void Line(std::u16string_view text, const LineOrigin* origin, bool last);

  std::string& Bytes() { return out_; }
  // The first character that was written as "?": found, its line (0-based),
  // its column (1-based, in bytes as the status line counts them) and its
  // code point.
  bool HasLoss() const { return lossLine_ != kNone; }
  size_t LossLine() const { return lossLine_; }
  size_t LossColumn() const { return lossColumn_; }
  char32_t LossChar() const { return lossChar_; }
  size_t LossCount() const { return lossCount_; }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);
  LineEnd usual_;
  std::string out_;
  size_t line_ = 0;
  size_t lossLine_ = kNone;
  size_t lossColumn_ = 0;
  char32_t lossChar_ = 0;
  size_t lossCount_ = 0;
};

// Appends the bytes of one line's text (see SjisDocWriter); returns the index
// of the first character written as "?", or npos (*lossByte: its byte
// offset in the line).
size_t EncodeDocLine(std::u16string_view text, std::string& out, size_t* lossCount = nullptr,
                     size_t* lossByte = nullptr);

// The question asked before a save would write "?" for such characters.
SjisString LossQuestion(size_t line, size_t column, char32_t c, size_t count);

}  // namespace wendul
