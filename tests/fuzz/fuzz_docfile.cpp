// Document files. Any bytes decode in every encoding (the first byte of the
// input chooses it), and written back with every line unedited they come out
// byte for byte. With every line taken as edited (no origin), valid
// Shift-JIS decodes, encodes and decodes to the same lines, and a second
// encoding gives the same bytes as the first.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "util/codec.h"
#include "util/doctext.h"

using namespace wendul;

namespace {

std::string WriteBack(const DocText& doc, bool withOrigins) {
  DocWriter w(doc.lineEnd, doc.codec);
  size_t line = 0, start = 0, k = 0;
  for (size_t i = 0; i <= doc.text.size(); ++i) {
    if (i < doc.text.size() && doc.text[i] != u'\n') continue;
    const LineOrigin* origin = nullptr;
    if (withOrigins && k < doc.origins.size() && doc.origins[k].first == line) origin = &doc.origins[k++].second;
    w.Line(std::u16string_view(doc.text).substr(start, i - start), origin, i == doc.text.size());
    ++line;
    start = i + 1;
  }
  FUZZ_CHECK(line == doc.lineCount, "line count " + std::to_string(line) + " vs " + std::to_string(doc.lineCount));
  FUZZ_CHECK(!withOrigins || k == doc.origins.size(), "origins out of order or past the last line");
  return w.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (size > 0 && data[0] % 4 != 0) {
    static const DocCodec kCodecs[] = {{DocEncoding::Utf8, true}, {DocEncoding::EucJp, false},
                                       {DocEncoding::Utf16LE, true}};
    const DocText other = DecodeDocument(bytes, kCodecs[data[0] % 4 - 1]);
    const std::string back = WriteBack(other, true);
    FUZZ_CHECK(back == bytes, fuzz::Shown(bytes) + " -> " + fuzz::Shown(back));
    return 0;
  }
  const DocText doc = DecodeSjisDocument(bytes);
  const std::string same = WriteBack(doc, true);
  FUZZ_CHECK(same == bytes, fuzz::Shown(bytes) + " -> " + fuzz::Shown(same));
  if (!MuIsValidStr(bytes)) return 0;
  const std::string edited = WriteBack(doc, false);
  const DocText again = DecodeSjisDocument(edited);
  FUZZ_CHECK(again.text == doc.text && again.lineCount == doc.lineCount,
             fuzz::Shown(bytes) + " -> " + fuzz::Shown(edited));
  const std::string twice = WriteBack(again, false);
  FUZZ_CHECK(twice == edited, fuzz::Shown(edited) + " -> " + fuzz::Shown(twice));
  return 0;
}
