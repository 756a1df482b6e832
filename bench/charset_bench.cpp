// Which detector names the encoding of Japanese text best, and how often the
// editor's own choice (DetectCodec) is right, by length.
//
// The text is real: every page of manpages-ja rendered to plain text by groff
// (as man shows it), converted with iconv to Shift-JIS (CP932), EUC-JP and
// UTF-8. Each page is a whole file; each distinct line holding Japanese of
// 20 to 200 bytes (as Shift-JIS) is a short text. A sample counts as right
// when the answer is its encoding; for DetectCodec "unsure" is Shift-JIS,
// which is right for Shift-JIS samples only.
//
// Run on demand: build-bench/bench/charset_bench [--benchmark_filter=Charset]
// (takes about half a minute to render the pages).
#include <iconv.h>
#include <uchardet/uchardet.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <glob.h>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "bench_support.h"
#include "util/doccodec.h"

namespace {

using wendul::DocEncoding;

// UTF-8 to `code` with iconv; false when a character cannot be converted.
bool Convert(const std::string& utf8, const char* code, std::string* out) {
  iconv_t cd = iconv_open(code, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out->assign(utf8.size() * 2 + 16, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* o = out->data();
  size_t outLeft = out->size();
  const size_t r = iconv(cd, &in, &inLeft, &o, &outLeft);
  iconv_close(cd);
  out->resize(out->size() - outLeft);
  return r != static_cast<size_t>(-1);
}

std::string Uchardet(const std::string& s) {
  static uchardet_t u = uchardet_new();
  uchardet_reset(u);
  uchardet_handle_data(u, s.data(), s.size());
  uchardet_data_end(u);
  return uchardet_get_charset(u);
}

std::string Icu(const std::string& s) {
  static UErrorCode err = U_ZERO_ERROR;
  static UCharsetDetector* d = ucsdet_open(&err);
  err = U_ZERO_ERROR;
  ucsdet_setText(d, s.data(), static_cast<int32_t>(s.size()), &err);
  const UCharsetMatch* m = ucsdet_detect(d, &err);
  if (!m || U_FAILURE(err)) return "";
  return ucsdet_getName(m, &err);
}

constexpr int kEncodings = 3;
const char* const kIconvName[kEncodings] = {"CP932", "EUC-JP", "UTF-8"};
const char* const kShown[kEncodings] = {"Shift-JIS", "EUC-JP", "UTF-8"};
const DocEncoding kEncoding[kEncodings] = {DocEncoding::ShiftJis, DocEncoding::EucJp, DocEncoding::Utf8};

bool UchardetRight(int k, const std::string& name) {
  if (k == 0) return name == "SHIFT_JIS" || name == "WINDOWS-31J";
  return name == (k == 1 ? "EUC-JP" : "UTF-8");
}
bool IcuRight(int k, const std::string& name) { return name == (k == 0 ? "Shift_JIS" : k == 1 ? "EUC-JP" : "UTF-8"); }

struct Tally {
  int n = 0, uchardet = 0, icu = 0, ours = 0;
  void Add(int k, const std::string& bytes) {
    ++n;
    uchardet += UchardetRight(k, Uchardet(bytes));
    icu += IcuRight(k, Icu(bytes));
    ours += wendul::DetectCodec(bytes).encoding == kEncoding[k];
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--benchmark_filter=", 19) == 0 &&
        !std::regex_search("Charset", std::regex(argv[i] + 19)))
      return 0;
  glob_t pages{};
  glob("/usr/share/man/ja/man*/*", 0, nullptr, &pages);
  if (pages.gl_pathc == 0) {
    std::fprintf(stderr, "manpages-ja is not installed\n");
    return 1;
  }
  std::set<std::string> lines;
  std::vector<std::string> files;
  for (size_t i = 0; i < pages.gl_pathc; ++i) {
    const std::string text =
        wendul::bench::CommandOutput(std::string("zcat -f '") + pages.gl_pathv[i] + "' | groff -man -Tutf8 -k -P-c -P-b -P-u 2>/dev/null");
    bool japanese = false;
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      const size_t first = line.find_first_not_of(' ');
      if (first == std::string::npos) continue;
      line.erase(0, first);
      if (std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; })) {
        lines.insert(line);
        japanese = true;
      }
    }
    if (japanese) files.push_back(text);
  }
  globfree(&pages);

  const char* const kBucket[] = {"20-39", "40-79", "80-139", "140-200"};
  Tally shortLines[kEncodings][4], whole[kEncodings];
  int wrongAsSjis = 0;  // Shift-JIS samples taken for another encoding
  std::string sample[kEncodings];
  for (const std::string& line : lines) {
    bool ok = true;
    for (int k = 0; k < kEncodings && ok; ++k) ok = Convert(line, kIconvName[k], &sample[k]);
    if (!ok) continue;
    const size_t n = sample[0].size();
    if (n < 20 || n > 200) continue;
    const int b = n < 40 ? 0 : n < 80 ? 1 : n < 140 ? 2 : 3;
    for (int k = 0; k < kEncodings; ++k) shortLines[k][b].Add(k, sample[k]);
    wrongAsSjis += wendul::DetectCodec(sample[0]).encoding != DocEncoding::ShiftJis;
  }
  for (const std::string& file : files) {
    bool ok = true;
    for (int k = 0; k < kEncodings && ok; ++k) ok = Convert(file, kIconvName[k], &sample[k]);
    if (!ok) continue;
    for (int k = 0; k < kEncodings; ++k) whole[k].Add(k, sample[k]);
    wrongAsSjis += wendul::DetectCodec(sample[0]).encoding != DocEncoding::ShiftJis;
  }

  auto pct = [](int hit, int n) { return n ? 100.0 * hit / n : 0.0; };
  std::printf("Right answers on manpages-ja text (%zu distinct lines, %zu pages)\n", lines.size(), files.size());
  std::printf("%-10s %-8s %7s %9s %7s %12s\n", "encoding", "bytes", "samples", "uchardet", "ICU", "DetectCodec");
  for (int k = 0; k < kEncodings; ++k) {
    for (int b = 0; b < 4; ++b) {
      const Tally& t = shortLines[k][b];
      std::printf("%-10s %-8s %7d %8.1f%% %6.1f%% %11.1f%%\n", kShown[k], kBucket[b], t.n, pct(t.uchardet, t.n),
                  pct(t.icu, t.n), pct(t.ours, t.n));
    }
    const Tally& t = whole[k];
    std::printf("%-10s %-8s %7d %8.1f%% %6.1f%% %11.1f%%\n", kShown[k], "file", t.n, pct(t.uchardet, t.n),
                pct(t.icu, t.n), pct(t.ours, t.n));
  }
  std::printf("Shift-JIS samples taken for another encoding by DetectCodec: %d\n", wrongAsSjis);
  return 0;
}
