// A document file read into text and written back without losing a byte, in
// the file's own encoding (util/doccodec.h).
//
// Reading never fails: bytes that are not a character of the encoding (a
// stray trail byte, a lead byte without its trail, a broken UTF-8 sequence,
// a lone UTF-16 surrogate), every NUL, and the few characters the editor
// cannot hold as themselves (paragraph separators, U+F700..U+F7FF) become a
// private-use character U+F700 + byte per byte, which counts one byte and is
// written back as that byte. Lines end at CR LF, LF or a lone CR; the
// document's usual line break (the most frequent one, CR LF when it has
// none) is used for new lines. A line keeps what cannot be rebuilt from its
// text, its "origin": a line break of another kind, and the bytes of a line
// whose characters would be written back differently (the NEC and IBM
// duplicates of Shift-JIS, the JIS X 0212 look-alikes of EUC-JP decode to
// one code point each). When such a line is edited, the characters before
// and after the edit keep their bytes; only what was typed is encoded anew.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "doccodec.h"
#include "wtypes.h"

namespace wendul {

enum class LineEnd : uint8_t { None, CRLF, LF, CR };

// The characters of a line break ("" for None).
std::string_view LineEndBytes(LineEnd end);

// Raw bytes as characters.
constexpr char16_t kRawByteBase = 0xF700;
inline bool IsRawByteChar(char32_t c) { return c >= 0xF700 && c <= 0xF7FF; }

// What a line had on disk beyond its text.
struct LineOrigin {
  LineEnd end = LineEnd::None;  // its own line break; None: the document's usual one
  bool keepsBytes = false;      // bytes below are (a part of) the line as read, line break excluded
  std::string bytes;
};

enum class DocKind { Text, Binary };

struct DocText {
  std::u16string text;       // the lines, joined by u'\n'
  size_t lineCount = 1;
  LineEnd lineEnd = LineEnd::CRLF;  // the usual line break
  // Lines (0-based) that need their origin, in ascending order.
  std::vector<std::pair<size_t, LineOrigin>> origins;
  size_t rawBytes = 0;       // bytes kept as private-use characters
  DocKind kind = DocKind::Text;
  DocCodec codec;            // a byte order mark is not part of the text
};

// The bytes read in an encoding; without one, in the encoding DetectCodec names.
DocText DecodeDocument(std::string_view bytes, DocCodec codec);
DocText DecodeDocument(std::string_view bytes);
inline DocText DecodeSjisDocument(std::string_view bytes) { return DecodeDocument(bytes, DocCodec{}); }

// Text that comes back without its file (a recovery record) takes over the
// usual line break of the file it came from and, for every line whose text
// equals a line of that file that had an origin, that origin: lines the user
// did not edit are then written back as they were read.
void AdoptOrigins(DocText& text, const DocText& file);

// When a line is cut in two (Enter) after its text was `head` + `tail`,
// both pieces keep the line's break, and each the bytes of its characters
// as far as the line kept them (the head's origin first).
std::pair<LineOrigin, LineOrigin> SplitOrigin(const LineOrigin& origin, DocEncoding encoding,
                                              std::u16string_view head, std::u16string_view tail);

// A short note for the status line about a file that is not plain text in
// its encoding (empty when it is).
SjisString DocKindNote(const DocText& doc);

// The system's text of a document (code page 932, lines joined by CR LF) as
// the editor reads it: what code page 932 cannot hold, raw bytes included,
// reads "?" (a surrogate pair as one).
SjisString SystemText(const DocText& doc);

// The whole document written in an encoding, every line with its origin.
std::string EncodeDocText(const DocText& doc, DocCodec codec);

// Writes a document line by line in an encoding, its byte order mark first.
// A line that keeps its bytes is copied as far as its text is unchanged;
// any other text is encoded, each character the encoding cannot hold (a
// surrogate pair counts as one) written as "?".
class DocWriter {
 public:
  explicit DocWriter(LineEnd usual = LineEnd::CRLF, DocCodec codec = DocCodec{});

  // The lines' kept bytes are in this encoding: when it is not the one
  // written (a save under another encoding) they are not used.
  void KeptBytesIn(DocEncoding encoding) { keptUsable_ = encoding == codec_.encoding; }
  void Reserve(size_t bytes) { out_.reserve(bytes); }
  // One line; `origin` may be null. The last line gets no line break.
  void Line(std::u16string_view text, const LineOrigin* origin, bool last);

  DocCodec Codec() const { return codec_; }
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
  // Encodes text[from, to) of a line; notes the first loss.
  void Encode(std::u16string_view text, size_t from, size_t to);
  void KeptLine(std::u16string_view text, const std::string& bytes);
  DocCodec codec_;
  LineEnd usual_;
  bool keptUsable_ = true;
  bool afterCr_ = false;  // the last line break written was a lone CR
  std::string out_;
  size_t line_ = 0;
  size_t lossLine_ = kNone;
  size_t lossColumn_ = 0;
  char32_t lossChar_ = 0;
  size_t lossCount_ = 0;
};

// The question asked before a save would write "?" for such characters.
SjisString LossQuestion(size_t line, size_t column, char32_t c, size_t count,
                        DocEncoding encoding = DocEncoding::ShiftJis);

}  // namespace wendul
