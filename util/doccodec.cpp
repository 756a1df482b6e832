#include "util/doccodec.h"


#include <uchardet/uchardet.h>
#include <unicode/ucnv.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "util/codec.h"

namespace wendul {

namespace {

// ---------------------------------------------------------------- EUC-JP

constexpr uint16_t kNoUnit = 0xFFFF;
constexpr uint32_t kNoCode = 0;

// EUC-JP <-> Unicode from ICU's "EUC-JP" converter (the Microsoft-style
// mapping, with the NEC row 13 and JIS X 0212 in three bytes), loaded once
// into lookup tables like code page 932.
struct EucTables {
  std::vector<uint16_t> jis0208 = std::vector<uint16_t>(94 * 94, kNoUnit);  // A1..FE A1..FE
  std::vector<uint16_t> jis0212 = std::vector<uint16_t>(94 * 94, kNoUnit);  // 8F A1..FE A1..FE
  std::vector<uint32_t> encode = std::vector<uint32_t>(65536, kNoCode);     // unit -> bytes, big-endian

  EucTables() {
    UErrorCode err = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open("EUC-JP", &err);
    if (U_FAILURE(err)) {
      std::fprintf(stderr, "wendul: ICU converter EUC-JP unavailable: %s\n", u_errorName(err));
      std::abort();
    }
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFallback(cnv, false);
    auto toUnit = [&](const char* in, int n) -> uint16_t {
      UChar out[4];
      err = U_ZERO_ERROR;
      ucnv_resetToUnicode(cnv);
      const int32_t k = ucnv_toUChars(cnv, out, 4, in, n, &err);
      if (U_FAILURE(err) || k != 1 || out[0] < 0x80 || out[0] == 0xFFFD || (out[0] >= 0xD800 && out[0] <= 0xDFFF))
        return kNoUnit;
      return out[0];
    };
    std::vector<uint32_t> codes;  // every valid code, in code order
    for (unsigned a = 0xA1; a <= 0xFE; ++a)
      for (unsigned b = 0xA1; b <= 0xFE; ++b) {
        const char two[2] = {static_cast<char>(a), static_cast<char>(b)};
        const char three[3] = {'\x8F', static_cast<char>(a), static_cast<char>(b)};
        const size_t at = (a - 0xA1) * 94 + (b - 0xA1);
        if ((jis0208[at] = toUnit(two, 2)) != kNoUnit) codes.push_back(a << 8 | b);
        if ((jis0212[at] = toUnit(three, 3)) != kNoUnit) codes.push_back(0x8F0000 | a << 8 | b);
      }
    for (unsigned b = 0xA1; b <= 0xDF; ++b) codes.push_back(0x8E00 | b);
    std::sort(codes.begin(), codes.end());
    for (unsigned b = 0; b < 0x80; ++b) encode[b] = b;
    // Each code point is encoded as ICU prefers when that decodes back to it,
    // else as its first code.
    for (uint32_t code : codes) {
      const uint16_t u = Unit(code);
      if (encode[u] != kNoCode) continue;
      const UChar in = u;
      char out[8];
      err = U_ZERO_ERROR;
      ucnv_resetFromUnicode(cnv);
      const int32_t n = ucnv_fromUChars(cnv, out, sizeof out, &in, 1, &err);
      uint32_t preferred = code;
      if (U_SUCCESS(err) && n >= 2 && n <= 3) {
        uint32_t c = 0;
        for (int i = 0; i < n; ++i) c = c << 8 | static_cast<unsigned char>(out[i]);
        if (Unit(c) == u) preferred = c;
      }
      encode[u] = preferred;
    }
    ucnv_close(cnv);
    // Either of a look-alike pair is written as the one EUC-JP holds.
    for (const LookAlike& a : WindowsLookAlikes()) {
      if (encode[a.other] == kNoCode) encode[a.other] = encode[a.windows];
      if (encode[a.windows] == kNoCode) encode[a.windows] = encode[a.other];
    }
  }

  uint16_t Unit(uint32_t code) const {
    if (code < 0x80) return static_cast<uint16_t>(code);
    if ((code >> 8) == 0x8E) return static_cast<uint16_t>(0xFF61 + (code & 0xFF) - 0xA1);
    const unsigned a = (code >> 8) & 0xFF, b = code & 0xFF;
    if (a < 0xA1 || b < 0xA1 || a > 0xFE || b > 0xFE) return kNoUnit;
    return (code >> 16 == 0x8F ? jis0212 : jis0208)[(a - 0xA1) * 94 + (b - 0xA1)];
  }
};

const EucTables& Euc() {
  static const EucTables tables;
  return tables;
}

inline bool EucByte(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }

size_t DecodeEuc(std::string_view s, size_t pos, char32_t* cp) {
  const unsigned char b = static_cast<unsigned char>(s[pos]);
  *cp = kBadChar;
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  const size_t n = s.size();
  if (b == 0x8E) {
    if (pos + 1 < n) {
      const unsigned char k = static_cast<unsigned char>(s[pos + 1]);
      if (k >= 0xA1 && k <= 0xDF) {
        *cp = 0xFF61 + k - 0xA1;
        return 2;
      }
    }
    return 1;
  }
  const EucTables& t = Euc();
  if (b == 0x8F) {
    if (pos + 2 < n && EucByte(s[pos + 1]) && EucByte(s[pos + 2])) {
      const uint16_t u = t.jis0212[(static_cast<unsigned char>(s[pos + 1]) - 0xA1) * 94 +
                                   (static_cast<unsigned char>(s[pos + 2]) - 0xA1)];
      if (u != kNoUnit) {
        *cp = u;
        return 3;
      }
    }
    return 1;
  }
  if (EucByte(b) && pos + 1 < n && EucByte(s[pos + 1])) {
    const uint16_t u = t.jis0208[(b - 0xA1) * 94 + (static_cast<unsigned char>(s[pos + 1]) - 0xA1)];
    if (u != kNoUnit) {
      *cp = u;
      return 2;
    }
  }
  return 1;
}

int EncodeEuc(char32_t cp, char out[4]) {
  if (cp > 0xFFFF) return 0;
  const uint32_t code = Euc().encode[cp];
  if (code == kNoCode && cp != 0) return 0;
  if (code < 0x100) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(code >> 8);
    out[1] = static_cast<char>(code);
    return 2;
  }
  out[0] = static_cast<char>(code >> 16);
  out[1] = static_cast<char>(code >> 8);
  out[2] = static_cast<char>(code);
  return 3;
}

// ---------------------------------------------------------------- UTF-8, UTF-16

size_t DecodeUtf8(std::string_view s, size_t pos, char32_t* cp) {
  const unsigned char b = static_cast<unsigned char>(s[pos]);
  *cp = kBadChar;
  if (b < 0x80) {
    *cp = b;
    return 1;
  }
  int extra;
  char32_t v;
  if (b >= 0xC2 && b <= 0xDF) extra = 1, v = b & 0x1F;
  else if (b >= 0xE0 && b <= 0xEF) extra = 2, v = b & 0x0F;
  else if (b >= 0xF0 && b <= 0xF4) extra = 3, v = b & 0x07;
  else return 1;
  if (pos + extra >= s.size()) return 1;
  for (int i = 1; i <= extra; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[pos + i]);
    if ((c & 0xC0) != 0x80) return 1;
    v = v << 6 | (c & 0x3F);
  }
  static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (v < kMin[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 1;
  *cp = v;
  return static_cast<size_t>(extra) + 1;
}

int EncodeUtf8(char32_t cp, char out[4]) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | cp >> 6);
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | cp >> 12);
    out[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | cp >> 18);
  out[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
  out[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

inline char16_t Unit16(std::string_view s, size_t pos, bool little) {
  const auto a = static_cast<unsigned char>(s[pos]), b = static_cast<unsigned char>(s[pos + 1]);
  return static_cast<char16_t>(little ? (b << 8 | a) : (a << 8 | b));
}

size_t DecodeUtf16(std::string_view s, size_t pos, bool little, char32_t* cp) {
  *cp = kBadChar;
  if (pos + 1 >= s.size()) return 1;
  const char16_t u = Unit16(s, pos, little);
  if (u < 0xD800 || u > 0xDFFF) {
    *cp = u;
    return 2;
  }
  if (u <= 0xDBFF && pos + 3 < s.size()) {
    const char16_t v = Unit16(s, pos + 2, little);
    if (v >= 0xDC00 && v <= 0xDFFF) {
      *cp = 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00);
      return 4;
    }
  }
  return 2;  // a lone surrogate: its two bytes are kept as they are
}

int EncodeUtf16(char32_t cp, bool little, char out[4]) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return 0;
  auto put = [&](int at, char16_t u) {
    out[at + (little ? 0 : 1)] = static_cast<char>(u & 0xFF);
    out[at + (little ? 1 : 0)] = static_cast<char>(u >> 8);
  };
  if (cp < 0x10000) {
    put(0, static_cast<char16_t>(cp));
    return 2;
  }
  put(0, static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
  put(2, static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
  return 4;
}

// ---------------------------------------------------------------- detection

// Bytes that cannot be read in the encoding; counting stops after `limit`.
size_t BadBytes(DocEncoding e, std::string_view bytes, size_t limit) {
  size_t bad = 0;
  char32_t cp;
  for (size_t i = 0; i < bytes.size() && bad < limit;) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t n = DecodeChar(e, bytes, i, &cp);
    if (cp == kBadChar) bad += n;
    i += n;
  }
  return bad;
}

// uchardet's name for the bytes ("SHIFT_JIS", "EUC-JP", "UTF-8", a
// single-byte code page, or "" when it cannot tell). It reads the first
// megabyte: enough to know, and the time does not grow with the file.
std::string Guess(std::string_view bytes) {
  struct Free {
    void operator()(uchardet_t u) const { uchardet_delete(u); }
  };
  thread_local std::unique_ptr<uchardet, Free> detector(uchardet_new());
  uchardet_reset(detector.get());
  const size_t n = std::min<size_t>(bytes.size(), 1 << 20);
  if (uchardet_handle_data(detector.get(), bytes.data(), n) != 0) return {};
  uchardet_data_end(detector.get());
  const char* name = uchardet_get_charset(detector.get());
  return name ? name : "";
}

constexpr size_t kAll = static_cast<size_t>(-1);

}  // namespace

std::string CodecName(DocCodec c) {
  switch (c.encoding) {
    case DocEncoding::ShiftJis: return "SJIS";
    case DocEncoding::Utf8: return c.bom ? "UTF-8 BOM" : "UTF-8";
    case DocEncoding::EucJp: return "EUC-JP";
    case DocEncoding::Utf16LE: return c.bom ? "UTF-16LE" : "UTF-16LE BOMなし";
    case DocEncoding::Utf16BE: return c.bom ? "UTF-16BE" : "UTF-16BE BOMなし";
  }
  return "SJIS";
}

bool CodecFromName(std::string_view name, DocCodec* codec) {
  for (DocEncoding e : {DocEncoding::ShiftJis, DocEncoding::Utf8, DocEncoding::EucJp, DocEncoding::Utf16LE,
                        DocEncoding::Utf16BE})
    for (bool bom : {false, true})
      if (CodecName({e, bom}) == name) {
        *codec = {e, bom};
        return true;
      }
  return false;
}

std::string EncodingCaption(DocEncoding e) {
  switch (e) {
    case DocEncoding::ShiftJis: return "Shift-JIS";
    case DocEncoding::Utf8: return "UTF-8";
    case DocEncoding::EucJp: return "EUC-JP";
    case DocEncoding::Utf16LE:
    case DocEncoding::Utf16BE: return "UTF-16";
  }
  return "Shift-JIS";
}

const std::vector<DocCodec>& CodecChoices() {
  static const std::vector<DocCodec> choices = {
      {DocEncoding::ShiftJis, false}, {DocEncoding::Utf8, false},   {DocEncoding::Utf8, true},
      {DocEncoding::EucJp, false},    {DocEncoding::Utf16LE, true}, {DocEncoding::Utf16BE, true}};
  return choices;
}

std::string CodecChoiceCaption(DocCodec c) {
  switch (c.encoding) {
    case DocEncoding::Utf8: return c.bom ? "UTF-8（BOM付き）" : "UTF-8";
    case DocEncoding::Utf16LE: return "UTF-16 LE（BOM付き）";
    case DocEncoding::Utf16BE: return "UTF-16 BE（BOM付き）";
    default: return EncodingCaption(c.encoding);
  }
}

int CodecChoiceIndex(DocCodec c) {
  if (c.encoding == DocEncoding::Utf16LE || c.encoding == DocEncoding::Utf16BE) c.bom = true;
  if (c.encoding == DocEncoding::ShiftJis || c.encoding == DocEncoding::EucJp) c.bom = false;
  const auto& all = CodecChoices();
  const auto it = std::find(all.begin(), all.end(), c);
  return it == all.end() ? 0 : static_cast<int>(it - all.begin());
}

DocCodec CodecChoiceAt(int index) {
  const auto& all = CodecChoices();
  return index >= 0 && index < static_cast<int>(all.size()) ? all[static_cast<size_t>(index)] : DocCodec{};
}

std::string_view BomBytes(DocCodec c) {
  if (!c.bom) return {};
  switch (c.encoding) {
    case DocEncoding::Utf8: return "\xEF\xBB\xBF";
    case DocEncoding::Utf16LE: return "\xFF\xFE";
    case DocEncoding::Utf16BE: return "\xFE\xFF";
    default: return {};
  }
}

size_t DecodeChar(DocEncoding e, std::string_view bytes, size_t pos, char32_t* cp) {
  switch (e) {
    case DocEncoding::ShiftJis: {
      int len = 1;
      const char32_t c = DecodeCp932Char(bytes, pos, &len);
      *cp = c == U'\uFFFD' ? kBadChar : c;
      return static_cast<size_t>(len);
    }
    case DocEncoding::Utf8: return DecodeUtf8(bytes, pos, cp);
    case DocEncoding::EucJp: return DecodeEuc(bytes, pos, cp);
    case DocEncoding::Utf16LE: return DecodeUtf16(bytes, pos, true, cp);
    case DocEncoding::Utf16BE: return DecodeUtf16(bytes, pos, false, cp);
  }
  *cp = kBadChar;
  return 1;
}

int EncodeChar(DocEncoding e, char32_t cp, char out[4]) {
  switch (e) {
    case DocEncoding::ShiftJis: return EncodeCp932Char(cp, out);
    case DocEncoding::Utf8: return EncodeUtf8(cp, out);
    case DocEncoding::EucJp: return EncodeEuc(cp, out);
    case DocEncoding::Utf16LE: return EncodeUtf16(cp, true, out);
    case DocEncoding::Utf16BE: return EncodeUtf16(cp, false, out);
  }
  return 0;
}

bool IsValidUtf8(std::string_view s, bool cutAtEnd) {
  char32_t cp;
  for (size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    const size_t n = DecodeUtf8(s, i, &cp);
    if (cp == kBadChar) {
      // A sequence cut short by the end: the lead byte promises more than is left.
      if (!cutAtEnd || s.size() - i > 3) return false;
      const unsigned char b = static_cast<unsigned char>(s[i]);
      const size_t want = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
      if (want <= s.size() - i) return false;
      for (size_t k = i + 1; k < s.size(); ++k)
        if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80) return false;
      return true;
    }
    i += n;
  }
  return true;
}

namespace {

// Which bytes of a UTF-16 text are the high ones: in Japanese text most
// high bytes are 0x00 (ASCII, line breaks), 0x30 (kana, punctuation) or 0xFF
// (full-width forms), and those bytes are rare as low bytes. Counted over the
// first 64 KB, at even and at odd offsets.
struct HighBytes {
  size_t even = 0, odd = 0;
};
HighBytes CountHighBytes(std::string_view bytes) {
  HighBytes h;
  const size_t n = std::min<size_t>(bytes.size(), 64 * 1024) & ~size_t{1};
  for (size_t i = 0; i < n; ++i) {
    const unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b == 0x00 || b == 0x30 || b == 0xFF) ++(i % 2 ? h.odd : h.even);
  }
  return h;
}

// UTF-16 without a byte order mark, taken only on strong evidence: zero
// bytes, which no Shift-JIS, EUC-JP or UTF-8 text holds, and high bytes on
// one side far more often than on the other.
std::optional<DocEncoding> BomlessUtf16(std::string_view bytes) {
  if (bytes.size() < 4 || bytes.size() % 2 != 0) return std::nullopt;
  if (bytes.substr(0, 64 * 1024).find('\0') == std::string_view::npos) return std::nullopt;
  const HighBytes h = CountHighBytes(bytes);
  const size_t units = std::min<size_t>(bytes.size(), 64 * 1024) / 2;
  if (h.odd >= units / 3 && h.odd > 8 * h.even) return DocEncoding::Utf16LE;
  if (h.even >= units / 3 && h.even > 8 * h.odd) return DocEncoding::Utf16BE;
  return std::nullopt;
}

}  // namespace

DocCodec DetectCodec(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return {DocEncoding::Utf8, true};
  if (bytes.substr(0, 2) == "\xFF\xFE") return {DocEncoding::Utf16LE, true};
  if (bytes.substr(0, 2) == "\xFE\xFF") return {DocEncoding::Utf16BE, true};
  if (const auto utf16 = BomlessUtf16(bytes)) return {*utf16, false};
  const bool ascii = std::none_of(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
  if (ascii) return {};
  // A file valid in one encoding only is in that one; the detector chooses
  // between valid readings, and between broken ones only when its choice
  // also has fewer bad bytes.
  const bool sjisValid = BadBytes(DocEncoding::ShiftJis, bytes, 1) == 0;
  if (IsValidUtf8(bytes, true)) {
    if (!sjisValid) return {DocEncoding::Utf8, false};
    return Guess(bytes) == "UTF-8" ? DocCodec{DocEncoding::Utf8, false} : DocCodec{};
  }
  const bool eucValid = BadBytes(DocEncoding::EucJp, bytes, 1) == 0;
  if (sjisValid) return eucValid && Guess(bytes) == "EUC-JP" ? DocCodec{DocEncoding::EucJp, false} : DocCodec{};
  if (eucValid) return {DocEncoding::EucJp, false};
  const std::string guess = Guess(bytes);
  if (guess != "EUC-JP" && guess != "UTF-8") return {};
  const DocEncoding e = guess == "UTF-8" ? DocEncoding::Utf8 : DocEncoding::EucJp;
  const size_t sjisBad = BadBytes(DocEncoding::ShiftJis, bytes, kAll);
  return BadBytes(e, bytes, sjisBad) < sjisBad ? DocCodec{e, false} : DocCodec{};
}

DocCodec CodecForReopen(std::string_view bytes, DocEncoding wanted) {
  switch (wanted) {
    case DocEncoding::Utf8: return {DocEncoding::Utf8, bytes.substr(0, 3) == "\xEF\xBB\xBF"};
    case DocEncoding::Utf16LE:
    case DocEncoding::Utf16BE: {
      if (bytes.substr(0, 2) == "\xFF\xFE") return {DocEncoding::Utf16LE, true};
      if (bytes.substr(0, 2) == "\xFE\xFF") return {DocEncoding::Utf16BE, true};
      // The byte order whose high bytes look like a text's.
      const HighBytes h = CountHighBytes(bytes);
      return {h.even > h.odd ? DocEncoding::Utf16BE : DocEncoding::Utf16LE, false};
    }
    default: return {wanted, false};
  }
}

}  // namespace wendul
