#include "util/doctext.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <unordered_map>

#include "util/codec.h"

namespace wendul {

namespace {

constexpr uint32_t kMid = 0xFFFFFFFF;  // the second unit of a surrogate pair starts no character

inline bool IsLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
inline bool IsHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool Wide(DocEncoding e) { return e == DocEncoding::Utf16LE || e == DocEncoding::Utf16BE; }

// Characters the editor cannot hold as themselves: Qt starts a new line at a
// paragraph separator and at its frame marks, U+F7xx stand for raw bytes,
// and NUL ends strings.
inline bool Unholdable(char32_t cp) {
  return cp == 0 || cp == 0x2029 || cp == 0xFDD0 || cp == 0xFDD1 || (cp >= 0xF700 && cp <= 0xF7FF);
}

// The editor's text of the character at bytes[i]: its UTF-16 units, or one
// raw unit per byte (*raw). Returns the bytes it takes; *cp is what they decode to.
inline size_t CharText(DocEncoding e, std::string_view bytes, size_t i, char16_t out[4], int* units, char32_t* cp,
                       bool* raw) {
  const size_t n = DecodeChar(e, bytes, i, cp);
  *raw = *cp == kBadChar || Unholdable(*cp);
  if (*raw) {
    for (size_t k = 0; k < n; ++k) out[k] = static_cast<char16_t>(kRawByteBase + static_cast<unsigned char>(bytes[i + k]));
    *units = static_cast<int>(n);
  } else if (*cp > 0xFFFF) {
    out[0] = static_cast<char16_t>(0xD800 + ((*cp - 0x10000) >> 10));
    out[1] = static_cast<char16_t>(0xDC00 + ((*cp - 0x10000) & 0x3FF));
    *units = 2;
  } else {
    out[0] = static_cast<char16_t>(*cp);
    *units = 1;
  }
  return n;
}

// Whether encoding the character gives back the bytes it was read from.
inline bool RoundTrips(DocEncoding e, char32_t cp, std::string_view src) {
  char buf[4];
  const int k = EncodeChar(e, cp, buf);
  return k == static_cast<int>(src.size()) && std::memcmp(buf, src.data(), src.size()) == 0;
}

// A line's bytes as units, with the byte offset at which each unit starts
// (kMid for the second of a pair) and the line's length at the end.
void LineUnits(DocEncoding e, std::string_view bytes, std::u16string& units, std::vector<uint32_t>& starts) {
  units.clear();
  starts.clear();
  char16_t u[4];
  int count;
  char32_t cp;
  bool raw;
  for (size_t i = 0; i < bytes.size();) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (!Wide(e) && b < 0x80 && b != 0) {
      units.push_back(b);
      starts.push_back(static_cast<uint32_t>(i++));
      continue;
    }
    const size_t n = CharText(e, bytes, i, u, &count, &cp, &raw);
    for (int k = 0; k < count; ++k) {
      units.push_back(u[k]);
      starts.push_back(raw ? static_cast<uint32_t>(i + k) : k == 0 ? static_cast<uint32_t>(i) : kMid);
    }
    i += n;
  }
  starts.push_back(static_cast<uint32_t>(bytes.size()));
}

// How many units at the start (or at the end) of t and of the line read as
// d are the same characters.
size_t SharedHead(std::u16string_view t, std::u16string_view d, const std::vector<uint32_t>& starts) {
  const size_t max = std::min(t.size(), d.size());
  size_t p = 0;
  while (p < max && t[p] == d[p]) ++p;
  while (p > 0 && (starts[p] == kMid || (p < t.size() && IsLow(t[p])))) --p;
  return p;
}

size_t SharedTail(std::u16string_view t, std::u16string_view d, const std::vector<uint32_t>& starts, size_t limit) {
  size_t s = 0;
  while (s < limit && t[t.size() - 1 - s] == d[d.size() - 1 - s]) ++s;
  while (s > 0 && (starts[d.size() - s] == kMid || IsLow(t[t.size() - s]))) --s;
  return s;
}

// Appends text[from, to) in an encoding; a raw unit is its byte, and what
// the encoding cannot hold is written "?" after onLoss(index, code point).
template <typename OnLoss>
void EncodeUnits(DocEncoding e, std::u16string_view text, size_t from, size_t to, std::string& out, OnLoss onLoss) {
  const bool wide = Wide(e);
  char buf[4];
  for (size_t i = from; i < to; ++i) {
    const char16_t c = text[i];
    if (c < 0x80 && !wide) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (IsRawByteChar(c)) {
      out.push_back(static_cast<char>(c - kRawByteBase));
      continue;
    }
    char32_t cp = c;
    const bool pair = IsHigh(c) && i + 1 < to && IsLow(text[i + 1]);
    if (pair) cp = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
    int k = (c >= 0xD800 && c <= 0xDFFF && !pair) ? 0 : EncodeChar(e, cp, buf);
    if (k == 0) {
      onLoss(i, cp);
      k = EncodeChar(e, U'?', buf);
    }
    out.append(buf, static_cast<size_t>(k));
    if (pair) ++i;
  }
}

// Appends the bytes of a line's text, the line having been read from
// `bytes`: the characters it still shares with them at its start and at its
// end keep their bytes, and only those between are encoded (by
// encode(from, to)). *cutByte, when asked, receives where unit `cut` of the
// text begins among the bytes appended.
template <typename Encode>
void AppendSalvaged(DocEncoding e, std::u16string_view text, std::string_view bytes, std::string& out, Encode encode,
                    size_t cut = 0, size_t* cutByte = nullptr) {
  std::u16string d;
  std::vector<uint32_t> starts;
  LineUnits(e, bytes, d, starts);
  if (d == text) {
    if (cutByte) *cutByte = starts[cut];
    out.append(bytes);
    return;
  }
  const size_t p = SharedHead(text, d, starts);
  const size_t s = SharedTail(text, d, starts, std::min(text.size(), d.size()) - p);
  const size_t mid = text.size() - s, tail = d.size() - s;
  const size_t base = out.size();
  out.append(bytes.substr(0, starts[p]));
  if (cutByte && cut <= p) *cutByte = starts[cut];
  if (cutByte && cut > p && cut <= mid) {
    encode(p, cut);
    *cutByte = out.size() - base;
    encode(cut, mid);
  } else {
    encode(p, mid);
  }
  if (cutByte && cut > mid) *cutByte = out.size() - base + starts[tail + cut - mid] - starts[tail];
  out.append(bytes.substr(starts[tail]));
}

// Bytes of text as the status line counts them (code page 932; what it
// cannot hold counts one, a pair as a whole, a line separator two).
size_t SystemBytes(std::u16string_view text) {
  size_t n = 0;
  char buf[2];
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) ++n;
    else if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) ++n, ++i;
    else if (c == 0x2028 || c == 0x2029) n += 2;
    else n += std::max(1, EncodeCp932Char(c, buf));
  }
  return n;
}

template <typename F>
void ForEachLine(const std::u16string& text, F f) {
  size_t line = 0, start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'\n') {
      f(line++, std::u16string_view(text).substr(start, i - start));
      start = i + 1;
    }
  }
}

}  // namespace

std::string_view LineEndBytes(LineEnd end) {
  switch (end) {
    case LineEnd::CRLF: return "\r\n";
    case LineEnd::LF: return "\n";
    case LineEnd::CR: return "\r";
    case LineEnd::None: break;
  }
  return {};
}

DocText DecodeDocument(std::string_view bytes) { return DecodeDocument(bytes, DetectCodec(bytes)); }

DocText DecodeDocument(std::string_view bytes, DocCodec codec) {
  DocText doc;
  const DocEncoding e = codec.encoding;
  const std::string_view bom = BomBytes({e, true});
  codec.bom = codec.bom && !bom.empty() && bytes.substr(0, bom.size()) == bom;
  doc.codec = codec;
  const size_t begin = codec.bom ? bom.size() : 0;
  const bool wide = Wide(e);
  // Only the two-byte code pages hold characters in more than one way.
  const bool checkBack = e == DocEncoding::ShiftJis || e == DocEncoding::EucJp;
  doc.text.reserve(bytes.size() - begin);
  std::vector<LineEnd> ends;           // line break of every line but the last
  std::vector<size_t> keep;            // lines whose bytes must be kept
  std::vector<std::pair<size_t, size_t>> keepRange;
  size_t counts[4] = {};
  size_t lineStart = begin;
  bool lineDiffers = false;            // re-encoding this line would change its bytes
  size_t controls = 0, nuls = 0;
  auto endLine = [&](size_t at, LineEnd end) {
    if (lineDiffers) {
      keep.push_back(ends.size());
      keepRange.emplace_back(lineStart, at - lineStart);
    }
    ends.push_back(end);
    ++counts[static_cast<int>(end)];
    doc.text.push_back(u'\n');
    lineDiffers = false;
  };
  const size_t n = bytes.size();
  char16_t units[4];
  int count;
  char32_t cp;
  bool raw;
  for (size_t i = begin; i < n;) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (!wide && b < 0x80) {
      if (b == '\r') {
        const bool crlf = i + 1 < n && bytes[i + 1] == '\n';
        endLine(i, crlf ? LineEnd::CRLF : LineEnd::CR);
        i += crlf ? 2 : 1;
        lineStart = i;
      } else if (b == '\n') {
        endLine(i, LineEnd::LF);
        lineStart = ++i;
      } else if (b == 0) {
        ++nuls;
        ++doc.rawBytes;
        doc.text.push_back(kRawByteBase);
        ++i;
      } else {
        if (b < 0x20 && b != '\t' && b != '\f' && b != 0x1B) ++controls;
        doc.text.push_back(static_cast<char16_t>(b));
        ++i;
      }
      continue;
    }
    const size_t len = CharText(e, bytes, i, units, &count, &cp, &raw);
    if (wide && (cp == '\r' || cp == '\n')) {
      char32_t next = 0;
      const bool crlf = cp == '\r' && i + len < n && DecodeChar(e, bytes, i + len, &next) == 2 && next == '\n';
      endLine(i, crlf ? LineEnd::CRLF : cp == '\r' ? LineEnd::CR : LineEnd::LF);
      i += crlf ? 2 * len : len;
      lineStart = i;
      continue;
    }
    if (raw) {
      doc.rawBytes += len;
      if (cp == 0) ++nuls;
    } else if (cp < 0x20 && cp != '\t' && cp != '\f' && cp != 0x1B) {
      ++controls;
    } else if (checkBack && len >= 2 && !lineDiffers && !RoundTrips(e, cp, bytes.substr(i, len))) {
      lineDiffers = true;
    }
    doc.text.append(units, static_cast<size_t>(count));
    i += len;
  }
  // The last line: no line break.
  if (lineDiffers) {
    keep.push_back(ends.size());
    keepRange.emplace_back(lineStart, n - lineStart);
  }
  doc.lineCount = ends.size() + 1;

  doc.lineEnd = LineEnd::CRLF;
  if (counts[static_cast<int>(LineEnd::LF)] > counts[static_cast<int>(doc.lineEnd)]) doc.lineEnd = LineEnd::LF;
  if (counts[static_cast<int>(LineEnd::CR)] > counts[static_cast<int>(doc.lineEnd)]) doc.lineEnd = LineEnd::CR;

  size_t k = 0;
  for (size_t line = 0; line < doc.lineCount; ++line) {
    const bool otherEnd = line < ends.size() && ends[line] != doc.lineEnd;
    const bool keeps = k < keep.size() && keep[k] == line;
    if (!otherEnd && !keeps) continue;
    LineOrigin o;
    if (otherEnd) o.end = ends[line];
    if (keeps) {
      o.keepsBytes = true;
      o.bytes.assign(bytes.substr(keepRange[k].first, keepRange[k].second));
      ++k;
    }
    doc.origins.emplace_back(line, std::move(o));
  }
  if (nuls > 0 || (doc.rawBytes + controls) * 20 > n - begin) doc.kind = DocKind::Binary;
  return doc;
}

void AdoptOrigins(DocText& text, const DocText& file) {
  text.lineEnd = file.lineEnd;
  text.origins.clear();
  if (file.origins.empty()) return;
  // The file's lines with an origin, by text, in file order.
  std::unordered_map<std::u16string_view, std::deque<const LineOrigin*>> byText;
  size_t k = 0;
  ForEachLine(file.text, [&](size_t line, std::u16string_view t) {
    if (k < file.origins.size() && file.origins[k].first == line) byText[t].push_back(&file.origins[k++].second);
  });
  ForEachLine(text.text, [&](size_t line, std::u16string_view t) {
    auto it = byText.find(t);
    if (it == byText.end() || it->second.empty()) return;
    text.origins.emplace_back(line, *it->second.front());
    it->second.pop_front();
  });
}

std::pair<LineOrigin, LineOrigin> SplitOrigin(const LineOrigin& origin, DocEncoding encoding,
                                              std::u16string_view head, std::u16string_view tail) {
  std::pair<LineOrigin, LineOrigin> out;
  out.first.end = out.second.end = origin.end;
  if (!origin.keepsBytes) return out;
  // The line's bytes as they would be written now, cut where the text is cut.
  const std::u16string whole = std::u16string(head) + std::u16string(tail);
  std::string bytes;
  size_t cut = 0;
  AppendSalvaged(
      encoding, whole, origin.bytes, bytes,
      [&](size_t from, size_t to) { EncodeUnits(encoding, whole, from, to, bytes, [](size_t, char32_t) {}); },
      head.size(), &cut);
  out.first.bytes = bytes.substr(0, cut);
  out.second.bytes = bytes.substr(cut);
  out.first.keepsBytes = !out.first.bytes.empty();
  out.second.keepsBytes = !out.second.bytes.empty();
  return out;
}

SjisString DocKindNote(const DocText& doc) {
  if (doc.kind == DocKind::Binary)
    return Utf8ToSjis("テキストではないファイルのようです。編集しない行はそのまま保存されます");
  if (doc.rawBytes > 0)
    return Utf8ToSjis(EncodingCaption(doc.codec.encoding) + "として読めないバイトが") + std::to_string(doc.rawBytes) +
           Utf8ToSjis("個あります。そのまま保存されます");
  return {};
}

SjisString SystemText(const DocText& doc) {
  SjisString out;
  out.reserve(doc.text.size() * 2);
  char buf[2];
  const std::u16string& t = doc.text;
  for (size_t i = 0; i < t.size(); ++i) {
    const char16_t c = t[i];
    if (c == u'\n' || c == 0x2028 || c == 0x2029) {
      out += "\r\n";
    } else if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (IsHigh(c) && i + 1 < t.size() && IsLow(t[i + 1])) {
      out.push_back('?');
      ++i;
    } else {
      const int k = EncodeCp932Char(c, buf);
      if (k == 0) out.push_back('?');
      else out.append(buf, static_cast<size_t>(k));
    }
  }
  return out;
}

std::string EncodeDocText(const DocText& doc, DocCodec codec) {
  DocWriter w(doc.lineEnd, codec);
  w.KeptBytesIn(doc.codec.encoding);
  const size_t lines = static_cast<size_t>(std::count(doc.text.begin(), doc.text.end(), u'\n')) + 1;
  size_t k = 0;
  ForEachLine(doc.text, [&](size_t line, std::u16string_view t) {
    const LineOrigin* o = k < doc.origins.size() && doc.origins[k].first == line ? &doc.origins[k++].second : nullptr;
    w.Line(t, o, line + 1 == lines);
  });
  return std::move(w.Bytes());
}

DocWriter::DocWriter(LineEnd usual, DocCodec codec)
    : codec_(codec), usual_(usual == LineEnd::None ? LineEnd::CRLF : usual) {
  out_.append(BomBytes(codec));
}

void DocWriter::Encode(std::u16string_view text, size_t from, size_t to) {
  EncodeUnits(codec_.encoding, text, from, to, out_, [&](size_t i, char32_t cp) {
    if (lossLine_ == kNone) {
      lossLine_ = line_;
      lossColumn_ = SystemBytes(text.substr(0, i)) + 1;
      lossChar_ = cp;
    }
    ++lossCount_;
  });
}

void DocWriter::KeptLine(std::u16string_view text, const std::string& bytes) {
  AppendSalvaged(codec_.encoding, text, bytes, out_, [&](size_t from, size_t to) { Encode(text, from, to); });
}

void DocWriter::Line(std::u16string_view text, const LineOrigin* origin, bool last) {
  if (origin && origin->keepsBytes && keptUsable_) KeptLine(text, origin->bytes);
  else Encode(text, 0, text.size());
  if (!last) {
    LineEnd end = origin && origin->end != LineEnd::None ? origin->end : usual_;
    // An empty line after a lone CR would make CR LF of the two breaks and
    // vanish: it ends in CR too.
    if (end == LineEnd::LF && text.empty() && afterCr_) end = LineEnd::CR;
    afterCr_ = end == LineEnd::CR;
    const std::string_view brk = LineEndBytes(end);
    if (!Wide(codec_.encoding)) {
      out_.append(brk);
    } else {
      char buf[4];
      for (char c : brk) out_.append(buf, static_cast<size_t>(EncodeChar(codec_.encoding, static_cast<char32_t>(c), buf)));
    }
  }
  ++line_;
}

SjisString LossQuestion(size_t line, size_t column, char32_t c, size_t count, DocEncoding encoding) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  SjisString text = std::to_string(line + 1) + Utf8ToSjis("行目") + std::to_string(column) +
                    Utf8ToSjis("桁目の文字（") + code + Utf8ToSjis("）");
  if (count > 1) text += Utf8ToSjis("など") + std::to_string(count) + Utf8ToSjis("文字");
  text += Utf8ToSjis("は" + EncodingCaption(encoding) + "で保存できないため「?」になります。このまま保存しますか？");
  return text;
}

}  // namespace wendul
