#include "util/codec.h"

#include <unicode/ucnv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace wendul {

namespace {

constexpr uint16_t kNone = 0xFFFF;  // neither a code point we hold nor a CP932 code

bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

// The two lookup tables, filled once from ICU's "windows-31j" converter
// (ibm-943_P15A-2003), which carries Windows' own mapping: 0x815F U+FF3C,
// 0x8160 U+FF5E, 0x8161 U+2225, 0x817C U+FF0D, the NEC and IBM extension rows
// and Windows' choice among their duplicates when encoding.
struct Tables {
  std::vector<uint16_t> decode;  // [lead << 8 | trail] or [byte] -> UTF-16 unit
  std::vector<uint16_t> encode;  // BMP code point -> byte or lead << 8 | trail

  Tables() : decode(65536, kNone), encode(65536, kNone) {
    // Single bytes are fixed by the code page; ICU's IBM table would swap
    // the controls 0x1A, 0x1C and 0x7F.
    for (unsigned b = 0; b < 0x80; ++b) decode[b] = static_cast<uint16_t>(b);
    for (unsigned b = 0xA1; b <= 0xDF; ++b) decode[b] = static_cast<uint16_t>(0xFF61 + b - 0xA1);

    UErrorCode err = U_ZERO_ERROR;
    UConverter* cnv = ucnv_open("windows-31j", &err);
    if (U_FAILURE(err)) {
      std::fprintf(stderr, "wendul: ICU converter windows-31j unavailable: %s\n",
                   u_errorName(err));
      std::abort();
    }
    // Stop instead of substituting, so that an unmapped code is seen as such.
    ucnv_setToUCallBack(cnv, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(cnv, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
    ucnv_setFallback(cnv, false);

    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsSjisLeadByte(static_cast<unsigned char>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (!IsTrailByte(static_cast<unsigned char>(trail))) continue;
        const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        UChar out[4];
        err = U_ZERO_ERROR;
        ucnv_resetToUnicode(cnv);
        int32_t n = ucnv_toUChars(cnv, out, 4, in, 2, &err);
        if (U_FAILURE(err) || n != 1 || out[0] < 0x80 || out[0] == 0xFFFD ||
            (out[0] >= 0xD800 && out[0] <= 0xDFFF))
          continue;
        decode[lead << 8 | trail] = out[0];
      }
    }

    // Every code point that some code decodes to is encoded the way ICU
    // (like Windows) prefers; the answer is kept only if it decodes back.
    for (unsigned code = 0; code < 65536; ++code) {
      uint16_t u = decode[code];
      if (u == kNone || encode[u] != kNone) continue;
      if (code < 0x100) {
        encode[u] = static_cast<uint16_t>(code);
        continue;
      }
      const UChar in = u;
      char out[8];
      err = U_ZERO_ERROR;
      ucnv_resetFromUnicode(cnv);
      int32_t n = ucnv_fromUChars(cnv, out, sizeof out, &in, 1, &err);
      uint16_t preferred = static_cast<uint16_t>(code);
      if (U_SUCCESS(err) && n == 2) {
        uint16_t c = static_cast<uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                           static_cast<unsigned char>(out[1]));
        if (decode[c] == u) preferred = c;
      }
      encode[u] = preferred;
    }
    ucnv_close(cnv);

    // What input methods and other code pages produce where Windows holds a
    // look-alike: encoded to the Windows character.
    for (const LookAlike& a : WindowsLookAlikes())
      if (encode[a.other] == kNone) encode[a.other] = encode[a.windows];
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

// Decodes at text[pos]; kNone when the bytes there are not a character.
uint16_t DecodeAt(const Tables& t, std::string_view text, size_t pos, int* len) {
  unsigned char b = static_cast<unsigned char>(text[pos]);
  if (IsSjisLeadByte(b)) {
    *len = 2;
    if (pos + 1 >= text.size()) return kNone;
    return t.decode[b << 8 | static_cast<unsigned char>(text[pos + 1])];
  }
  *len = 1;
  return t.decode[b];
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

bool NextUtf8(std::string_view s, size_t* pos, char32_t* cp) {
  unsigned char b = static_cast<unsigned char>(s[*pos]);
  int extra;
  char32_t v;
  if (b < 0x80) { *cp = b; ++*pos; return true; }
  if (b >= 0xC2 && b <= 0xDF) { extra = 1; v = b & 0x1F; }
  else if (b >= 0xE0 && b <= 0xEF) { extra = 2; v = b & 0x0F; }
  else if (b >= 0xF0 && b <= 0xF4) { extra = 3; v = b & 0x07; }
  else return false;
  if (*pos + extra >= s.size()) return false;
  for (int i = 1; i <= extra; ++i) {
    unsigned char c = static_cast<unsigned char>(s[*pos + i]);
    if ((c & 0xC0) != 0x80) return false;
    v = v << 6 | (c & 0x3F);
  }
  static const char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (v < kMin[extra] || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return false;
  *pos += extra + 1;
  *cp = v;
  return true;
}

std::span<const LookAlike> WindowsLookAlikes() {
  static constexpr LookAlike kPairs[] = {
      {0x301C, 0xFF5E},  // WAVE DASH, FULLWIDTH TILDE
      {0x2016, 0x2225},  // DOUBLE VERTICAL LINE, PARALLEL TO
      {0x2212, 0xFF0D},  // MINUS SIGN, FULLWIDTH HYPHEN-MINUS
      {0x00A5, 0xFFE5},  // YEN SIGN, FULLWIDTH YEN SIGN
      {0x2014, 0x2015},  // EM DASH, HORIZONTAL BAR
      {0x00A2, 0xFFE0},  // CENT SIGN, FULLWIDTH CENT SIGN
      {0x00A3, 0xFFE1},  // POUND SIGN, FULLWIDTH POUND SIGN
      {0x00AC, 0xFFE2},  // NOT SIGN, FULLWIDTH NOT SIGN
  };
  return kPairs;
}

int EncodeCp932Char(char32_t cp, char out[2]) {
  if (cp > 0xFFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  uint16_t code = T().encode[cp];
  if (code == kNone) return 0;
  if (code < 0x100) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  out[0] = static_cast<char>(code >> 8);
  out[1] = static_cast<char>(code & 0xFF);
  return 2;
}

char32_t DecodeCp932Char(std::string_view text, size_t pos, int* len) {
  int l = 1;
  uint16_t u = pos < text.size() ? DecodeAt(T(), text, pos, &l) : kNone;
  if (u == kNone) {
    if (len) *len = 1;
    return U'\uFFFD';
  }
  if (len) *len = l;
  return u;
}

size_t SjisCharLen(std::string_view text, size_t pos) {
  if (pos + 1 >= text.size() || !IsSjisLeadByte(static_cast<unsigned char>(text[pos]))) return 1;
  return T().decode[static_cast<unsigned char>(text[pos]) << 8 | static_cast<unsigned char>(text[pos + 1])] == kNone
             ? 1
             : 2;
}

bool TryUtf16ToSjis(std::u16string_view in, SjisString& out, size_t* badPos) {
  const Tables& t = T();
  out.clear();
  out.reserve(in.size() * 2);
  for (size_t i = 0; i < in.size(); ++i) {
    char16_t u = in[i];
    uint16_t code = (u >= 0xD800 && u <= 0xDFFF) ? kNone : t.encode[u];
    if (code == kNone) {
      if (badPos) *badPos = i;
      return false;
    }
    if (code >= 0x100) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
  }
  return true;
}

bool TrySjisToUtf16(std::string_view in, std::u16string& out, size_t* badPos) {
  const Tables& t = T();
  out.clear();
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    int len;
    uint16_t u = DecodeAt(t, in, i, &len);
    if (u == kNone) {
      if (badPos) *badPos = i;
      return false;
    }
    out += static_cast<char16_t>(u);
    i += len;
  }
  return true;
}

std::u16string SjisToUtf16(std::string_view in) {
  const Tables& t = T();
  std::u16string out;
  out.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    int len;
    uint16_t u = DecodeAt(t, in, i, &len);
    if (u == kNone) {
      out += u'\uFFFD';
      i += 1;
    } else {
      out += static_cast<char16_t>(u);
      i += len;
    }
  }
  return out;
}

SjisString Utf8ToSjis(std::string_view utf8) {
  SjisString out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    size_t at = i;
    char32_t cp;
    if (!NextUtf8(utf8, &i, &cp))
      throw GeneralError("Invalid UTF-8 at byte " + std::to_string(at));
    char buf[2];
    int n = EncodeCp932Char(cp, buf);
    if (n == 0) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(cp));
      throw GeneralError(std::string("Character ") + hex + " cannot be written in Shift-JIS");
    }
    out.append(buf, n);
  }
  return out;
}

bool Utf8ToSjisMarked(std::string_view utf8, SjisString* out) {
  out->clear();
  out->reserve(utf8.size());
  bool whole = true;
  char buf[2];
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp;
    int n = 0;
    if (NextUtf8(utf8, &i, &cp)) n = EncodeCp932Char(cp, buf);
    else ++i;
    if (n == 0) {
      whole = false;
      *out += '?';
    } else {
      out->append(buf, static_cast<size_t>(n));
    }
  }
  return whole;
}

std::string SjisToUtf8(std::string_view sjis) {
  const Tables& t = T();
  std::string out;
  out.reserve(sjis.size() * 3 / 2);
  for (size_t i = 0; i < sjis.size();) {
    int len;
    uint16_t u = DecodeAt(t, sjis, i, &len);
    if (u == kNone) {
      AppendUtf8(0xFFFD, out);
      i += 1;
    } else {
      AppendUtf8(u, out);
      i += len;
    }
  }
  return out;
}

bool MuIsValidStr(std::string_view text) {
  const Tables& t = T();
  for (size_t i = 0; i < text.size();) {
    int len;
    if (DecodeAt(t, text, i, &len) == kNone) return false;
    i += len;
  }
  return true;
}

}  // namespace wendul
