#include "util/sjisdoc.h"

#include <cstdio>
#include <deque>
#include <unordered_map>

#include "util/codec.h"

namespace wendul {

namespace {

// Whole-file UTF-8 check: every sequence well formed (one cut short by the
// end of the file is forgiven) and at least one of more than one byte.
bool LooksUtf8(std::string_view s) {
  size_t multi = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int extra = b >= 0xC2 && b <= 0xDF ? 1 : b >= 0xE0 && b <= 0xEF ? 2 : b >= 0xF0 && b <= 0xF4 ? 3 : -1;
    if (extra < 0) return false;
    for (int k = 1; k <= extra; ++k) {
      if (i + k >= s.size()) return multi > 0;
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    ++multi;
    i += static_cast<size_t>(extra) + 1;
  }
  return multi > 0;
}

DocKind Classify(std::string_view bytes, size_t rawBytes, size_t controls, size_t nuls) {
  if (bytes.size() >= 2 && ((bytes[0] == '\xFF' && bytes[1] == '\xFE') || (bytes[0] == '\xFE' && bytes[1] == '\xFF')))
    return DocKind::Utf16;
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return DocKind::Utf8;
  if (nuls > 0 || (rawBytes + controls) * 20 > bytes.size()) return DocKind::Binary;
  if (rawBytes > 0 && LooksUtf8(bytes)) return DocKind::Utf8;
  // Valid as both: text whose every byte pair happens to be a Shift-JIS
  // character is still taken for UTF-8 when that reading is far more plain
  // (a UTF-8 Japanese file decodes to rare kanji, one every 1.5 characters).
  if (rawBytes == 0 && LooksUtf8(bytes)) {
    std::u16string u;
    TrySjisToUtf16(bytes, u);
    size_t rare = 0;
    for (char16_t c : u)
      if (c >= 0x4E00 && c <= 0x9FFF) ++rare;
    if (rare * 3 > u.size()) return DocKind::Utf8;
  }
  return DocKind::ShiftJis;
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

SjisDocument DecodeSjisDocument(std::string_view bytes) {
  SjisDocument doc;
  doc.text.reserve(bytes.size());
  std::vector<LineEnd> ends;           // line break of every line but the last
  std::vector<size_t> keep;            // lines whose bytes must be kept
  std::vector<std::pair<size_t, size_t>> keepRange;
  size_t counts[4] = {};
  size_t lineStart = 0;
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
  for (size_t i = 0; i < n;) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b == '\r') {
      bool crlf = i + 1 < n && bytes[i + 1] == '\n';
      endLine(i, crlf ? LineEnd::CRLF : LineEnd::CR);
      i += crlf ? 2 : 1;
      lineStart = i;
      continue;
    }
    if (b == '\n') {
      endLine(i, LineEnd::LF);
      lineStart = ++i;
      continue;
    }
    if (b < 0x80) {
      if (b == 0) {
        ++nuls;
        ++doc.rawBytes;
        doc.text.push_back(static_cast<char16_t>(kRawByteBase));
      } else {
        if (b < 0x20 && b != '\t' && b != '\f' && b != 0x1B) ++controls;
        doc.text.push_back(static_cast<char16_t>(b));
      }
      ++i;
      continue;
    }
    int len = 1;
    char32_t u = DecodeCp932Char(bytes, i, &len);
    if (u == U'\uFFFD') {
      ++doc.rawBytes;
      doc.text.push_back(static_cast<char16_t>(kRawByteBase + b));
      ++i;
      continue;
    }
    if (len == 2) {
      char back[2];
      if (EncodeCp932Char(u, back) != 2 || back[0] != bytes[i] || back[1] != bytes[i + 1]) lineDiffers = true;
    }
    doc.text.push_back(static_cast<char16_t>(u));
    i += static_cast<size_t>(len);
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
    bool otherEnd = line < ends.size() && ends[line] != doc.lineEnd;
    bool keeps = k < keep.size() && keep[k] == line;
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
  doc.kind = Classify(bytes, doc.rawBytes, controls, nuls);
  return doc;
}

namespace {

// Calls f(index, text) for each line of a document's text.
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

void AdoptOrigins(SjisDocument& text, const SjisDocument& file) {
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

SjisString DocKindNote(const SjisDocument& doc) {
  switch (doc.kind) {
    case DocKind::Utf8:
      return Utf8ToSjis("UTF-8のファイルのようです（Shift-JISではありません）。編集しない行はそのまま保存されます");
    case DocKind::Utf16:
      return Utf8ToSjis("UTF-16のファイルのようです（Shift-JISではありません）。編集しない行はそのまま保存されます");
    case DocKind::Binary:
      return Utf8ToSjis("テキストではないファイルのようです。編集しない行はそのまま保存されます");
    case DocKind::ShiftJis:
      break;
  }
  if (doc.rawBytes > 0)
    return Utf8ToSjis("Shift-JISとして読めないバイトが") + std::to_string(doc.rawBytes) +
           Utf8ToSjis("個あります。そのまま保存されます");
  return {};
}

size_t EncodeDocLine(std::u16string_view text, std::string& out, size_t* lossCount, size_t* lossByte) {
  size_t first = std::u16string_view::npos;
  size_t lost = 0;
  const size_t start = out.size();
  char buf[2];
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (IsRawByteChar(c)) {
      out.push_back(static_cast<char>(c - kRawByteBase));
      continue;
    }
    int k = (c >= 0xD800 && c <= 0xDFFF) ? 0 : EncodeCp932Char(c, buf);
    if (k > 0) {
      out.append(buf, static_cast<size_t>(k));
      continue;
    }
    if (first == std::u16string_view::npos) {
      first = i;
      if (lossByte) *lossByte = out.size() - start;
    }
    ++lost;
    out.push_back('?');
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
  }
  if (lossCount) *lossCount += lost;
  return first;
}

void SjisDocWriter::Line(std::u16string_view text, const LineOrigin* origin, bool last) {
  if (origin && origin->keepsBytes) {
    out_.append(origin->bytes);
  } else {
    size_t byte = 0;
    size_t bad = EncodeDocLine(text, out_, &lossCount_, &byte);
    if (bad != std::u16string_view::npos && lossLine_ == kNone) {
      lossLine_ = line_;
      lossColumn_ = byte + 1;
      char32_t c = text[bad];
      if (c >= 0xD800 && c <= 0xDBFF && bad + 1 < text.size() && text[bad + 1] >= 0xDC00 && text[bad + 1] <= 0xDFFF)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[bad + 1] - 0xDC00);
      lossChar_ = c;
    }
  }
  if (!last) out_.append(LineEndBytes(origin && origin->end != LineEnd::None ? origin->end : usual_));
  ++line_;
}

SjisString LossQuestion(size_t line, size_t column, char32_t c, size_t count) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  SjisString text = std::to_string(line + 1) + Utf8ToSjis("行目") + std::to_string(column) +
                    Utf8ToSjis("桁目の文字（") + code + Utf8ToSjis("）");
  if (count > 1) text += Utf8ToSjis("など") + std::to_string(count) + Utf8ToSjis("文字");
  text += Utf8ToSjis("はShift-JISで保存できないため「?」になります。このまま保存しますか？");
  return text;
}

}  // namespace wendul
