// Code page 932 both ways. Bytes: what decodes is encoded back to bytes that
// decode to the same text; the character walk, the whole-string forms and the
// validity check agree. UTF-16 (the same bytes read as code units): what
// encodes decodes back to the same text, the look-alikes of input methods
// taken as the Windows characters they stand for. UTF-8 likewise.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "util/codec.h"

using namespace wendul;

namespace {

char16_t WindowsForm(char16_t u) {
  switch (u) {
    case 0x301C: return 0xFF5E;
    case 0x2016: return 0x2225;
    case 0x2212: return 0xFF0D;
    case 0x00A5: return 0xFFE5;
    case 0x2014: return 0x2015;
    case 0x00A2: return 0xFFE0;
    case 0x00A3: return 0xFFE1;
    case 0x00AC: return 0xFFE2;
    default: return u;
  }
}

void BytesWay(std::string_view bytes) {
  std::u16string u;
  size_t bad = SIZE_MAX;
  const bool ok = TrySjisToUtf16(bytes, u, &bad);
  FUZZ_CHECK(ok == MuIsValidStr(bytes), fuzz::Shown(bytes));
  // The character walk gives the same characters, or the first bad byte.
  std::u16string walked;
  size_t i = 0;
  for (; i < bytes.size();) {
    int len = 0;
    const char32_t c = DecodeCp932Char(bytes, i, &len);
    FUZZ_CHECK(len == 1 || len == 2, fuzz::Shown(bytes));
    if (c == U'\uFFFD') break;
    walked += static_cast<char16_t>(c);
    i += static_cast<size_t>(len);
  }
  if (ok) {
    FUZZ_CHECK(i == bytes.size() && walked == u, fuzz::Shown(bytes));
    FUZZ_CHECK(SjisToUtf16(bytes) == u, fuzz::Shown(bytes));
    SjisString back;
    FUZZ_CHECK(TryUtf16ToSjis(u, back), fuzz::Shown(bytes));
    std::u16string again;
    FUZZ_CHECK(TrySjisToUtf16(back, again) && again == u, fuzz::Shown(bytes) + " -> " + fuzz::Shown(back));
    // Equal codes only differ among the duplicate rows of the NEC and IBM extensions.
    FUZZ_CHECK(back.size() == bytes.size(), fuzz::Shown(bytes) + " -> " + fuzz::Shown(back));
    FUZZ_CHECK(Utf8ToSjis(SjisToUtf8(bytes)) == back, fuzz::Shown(bytes));
  } else {
    FUZZ_CHECK(bad == i, fuzz::Shown(bytes) + " bad at " + std::to_string(bad) + ", walk stopped at " +
                             std::to_string(i));
    // The lenient forms replace and go on; they never lose the valid rest.
    const std::u16string lenient = SjisToUtf16(bytes);
    FUZZ_CHECK(lenient.size() >= u.size(), fuzz::Shown(bytes));
    FUZZ_CHECK(lenient.compare(0, walked.size(), walked) == 0, fuzz::Shown(bytes));
  }
}

void UnitsWay(const uint8_t* data, size_t size) {
  std::u16string in;
  for (size_t i = 0; i + 1 < size; i += 2) in += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  SjisString bytes;
  size_t bad = SIZE_MAX;
  if (!TryUtf16ToSjis(in, bytes, &bad)) {
    FUZZ_CHECK(bad < in.size(), "bad position out of range");
    SjisString prefix;
    FUZZ_CHECK(TryUtf16ToSjis(in.substr(0, bad), prefix), "the part before the bad unit encodes");
    char out[2];
    FUZZ_CHECK(EncodeCp932Char(in[bad], out) == 0, "EncodeCp932Char disagrees");
    return;
  }
  std::u16string back;
  FUZZ_CHECK(TrySjisToUtf16(bytes, back), fuzz::Shown(bytes));
  FUZZ_CHECK(back.size() == in.size(), fuzz::Shown(bytes));
  for (size_t i = 0; i < in.size(); ++i) {
    FUZZ_CHECK(back[i] == WindowsForm(in[i]),
               "unit " + std::to_string(i) + " U+" + std::to_string(in[i]) + " came back as U+" +
                   std::to_string(back[i]));
    char one[2];
    const int n = EncodeCp932Char(in[i], one);
    FUZZ_CHECK(n == 1 || n == 2, "EncodeCp932Char disagrees");
  }
}

void Utf8Way(std::string_view text) {
  SjisString sjis;
  try {
    sjis = Utf8ToSjis(text);
  } catch (const GeneralError&) {
    return;  // malformed UTF-8 or a character code page 932 cannot hold
  }
  FUZZ_CHECK(MuIsValidStr(sjis), fuzz::Shown(text));
  FUZZ_CHECK(Utf8ToSjis(SjisToUtf8(sjis)) == sjis, fuzz::Shown(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  BytesWay(bytes);
  UnitsWay(data, size);
  Utf8Way(bytes);
  return 0;
}
