// Word extraction benchmarks.
//
//  * MuWGYStr against PCRE2 with JIT, running the same word class over the
//    same real Japanese text (the manpages-ja sources with their roff
//    requests stripped), the engine on Shift-JIS, PCRE2 on UTF-8, both fed the
//    same chunks of at most 16384 bytes. Before timing, both outputs are
//    compared word for word.
//  * SepKeywordAtCaret for one keystroke (a fragment of about 300 bytes and
//    20 words) at the end of a 1 MB document, on a word table of 1,000,000
//    words; the median is taken over the single calls.
#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "store/doc_editor.h"
#include "store/mt.h"
#include "store/muwgy.h"
#include "store/sepkeyword.h"
#include "util/codec.h"
#include "util/ui_hooks.h"

namespace wendul {
namespace {

// --- corpus -----------------------------------------------------------------

struct Corpus {
  SjisString sjis;
  std::vector<std::string_view> chunks;  // at most 16384 bytes, ending at a line end
  std::vector<std::string> utf8Chunks;   // the same chunks in UTF-8
  size_t utf8Bytes = 0;
};

Corpus& TheCorpus() {
  static Corpus c = [] {
    Corpus c;
    c.sjis = bench::JapaneseCorpus(0, bench::CorpusLines::JapaneseOnly);
    size_t start = 0, lastLineEnd = 0;
    for (size_t pos = 0; pos < c.sjis.size();) {
      size_t nl = c.sjis.find("\r\n", pos);
      size_t lineEnd = nl == std::string::npos ? c.sjis.size() : nl + 2;
      if (lineEnd - start > kMuWGYMaxInput && lastLineEnd > start) {
        c.chunks.emplace_back(c.sjis.data() + start, lastLineEnd - start);
        start = lastLineEnd;
      }
      lastLineEnd = lineEnd;
      pos = lineEnd;
    }
    if (start < c.sjis.size()) c.chunks.emplace_back(c.sjis.data() + start, c.sjis.size() - start);
    for (std::string_view ch : c.chunks) {
      c.utf8Chunks.push_back(SjisToUtf8(ch));
      c.utf8Bytes += c.utf8Chunks.back().size();
    }
    return c;
  }();
  return c;
}

// --- the word class, read plainly, and as a Unicode set for PCRE2 -----------

bool InWordClass(unsigned code, bool doubleByte) {
  if (!doubleByte)
    return code < 0x80 && (isalnum(static_cast<int>(code)) ||
                           std::string_view("-_.,()/:~#&*\\@").find(static_cast<char>(code)) !=
                               std::string_view::npos);
  return code == 0x8145 || code == 0x8175 || code == 0x8176 || code == 0x815B || code == 0x8158 ||
         (code >= 0x8340 && code <= 0x8396) || (code >= 0x889F && code <= 0xFC4B);
}

// Every code point whose code page 932 form is in the word class: the kanji
// range in Shift-JIS order is scattered over many Unicode ranges.
std::string PcreWordClass(size_t* rangeCount) {
  std::vector<std::pair<char32_t, char32_t>> ranges;
  for (char32_t u = 0; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    char b[2];
    int n = EncodeCp932Char(u, b);
    if (n == 0) continue;
    unsigned code = n == 1 ? static_cast<unsigned char>(b[0])
                           : (static_cast<unsigned char>(b[0]) << 8 | static_cast<unsigned char>(b[1]));
    if (!InWordClass(code, n == 2)) continue;
    if (!ranges.empty() && ranges.back().second + 1 == u)
      ranges.back().second = u;
    else
      ranges.emplace_back(u, u);
  }
  *rangeCount = ranges.size();
  std::string cls = "[";
  char buf[48];
  for (auto [lo, hi] : ranges) {
    if (lo == hi)
      snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(lo));
    else
      snprintf(buf, sizeof buf, "\\x{%X}-\\x{%X}", static_cast<unsigned>(lo), static_cast<unsigned>(hi));
    cls += buf;
  }
  return cls + "]+";
}

struct Pcre {
  pcre2_code* code = nullptr;
  pcre2_match_data* md = nullptr;
  size_t ranges = 0;
  Pcre() {
    std::string pat = PcreWordClass(&ranges);
    int err;
    PCRE2_SIZE off;
    code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pat.data()), pat.size(), PCRE2_UTF, &err, &off, nullptr);
    if (!code) {
      PCRE2_UCHAR msg[256];
      pcre2_get_error_message(err, msg, sizeof msg);
      fprintf(stderr, "pcre2_compile: %s at %zu\n", reinterpret_cast<char*>(msg), off);
      std::exit(1);
    }
    if (pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
      fprintf(stderr, "pcre2_jit_compile failed\n");
      std::exit(1);
    }
    md = pcre2_match_data_create_from_pattern(code, nullptr);
  }
  // The same output as the engine's: every word followed by the marker.
  std::string Run(const std::string& text) const {
    std::string out;
    out.reserve(text.size() + text.size() / 2 + 64);
    PCRE2_SIZE start = 0;
    auto* s = reinterpret_cast<PCRE2_SPTR>(text.data());
    while (start < text.size() && pcre2_jit_match(code, s, text.size(), start, 0, md, nullptr) > 0) {
      PCRE2_SIZE* ov = pcre2_get_ovector_pointer(md);
      out.append(text, ov[0], ov[1] - ov[0]);
      out.append(kWordMarker);
      start = ov[1];
    }
    return out;
  }
};

Pcre& ThePcre() {
  static Pcre p;
  return p;
}

int WordHandle() {
  static int h = MuWGYInitStr(kWordPattern, kWordPatternLimit);
  return h;
}

// Both must find exactly the same words, or the race means nothing.
void CheckSameWords() {
  Corpus& c = TheCorpus();
  if (c.sjis.empty()) {
    fprintf(stderr, "no corpus: install manpages-ja (/usr/share/man/ja)\n");
    std::exit(1);
  }
  std::string engine, pcre;
  size_t words = 0;
  for (size_t i = 0; i < c.chunks.size(); ++i) {
    std::optional<SjisString> out = MuWGYStr(WordHandle(), c.chunks[i]);
    if (!out) {
      fprintf(stderr, "engine refused chunk %zu\n", i);
      std::exit(1);
    }
    engine += SjisToUtf8(*out);
    pcre += ThePcre().Run(c.utf8Chunks[i]);
  }
  for (size_t p = 0; (p = pcre.find(kWordMarker, p)) != std::string::npos; p += kWordMarker.size()) ++words;
  if (engine != pcre) {
    size_t k = 0;
    while (k < engine.size() && k < pcre.size() && engine[k] == pcre[k]) ++k;
    fprintf(stderr, "engine and PCRE2 disagree at output byte %zu:\n engine: %.80s\n pcre2:  %.80s\n", k,
            engine.c_str() + (k > 20 ? k - 20 : 0), pcre.c_str() + (k > 20 ? k - 20 : 0));
    std::exit(1);
  }
  fprintf(stderr,
          "corpus: %zu bytes Shift-JIS (%zu bytes UTF-8) in %zu chunks; %zu words, identical in both; "
          "PCRE2 class of %zu ranges\n",
          c.sjis.size(), c.utf8Bytes, c.chunks.size(), words, ThePcre().ranges);
}

void BM_MuWGYStr(benchmark::State& state) {
  Corpus& c = TheCorpus();
  int h = WordHandle();
  for (auto _ : state) {
    for (std::string_view chunk : c.chunks) {
      std::optional<SjisString> out = MuWGYStr(h, chunk);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.sjis.size()));
  state.counters["text_MB"] = static_cast<double>(c.sjis.size()) / 1e6;
}

// Bytes are counted as the engine's (Shift-JIS) bytes of the same text, so
// both rates measure the same amount of text.
void BM_Pcre2Jit(benchmark::State& state) {
  Corpus& c = TheCorpus();
  Pcre& p = ThePcre();
  for (auto _ : state) {
    for (const std::string& chunk : c.utf8Chunks) {
      std::string out = p.Run(chunk);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.sjis.size()));
  state.counters["utf8_MB"] = static_cast<double>(c.utf8Bytes) / 1e6;
}

// --- one keystroke on a word table of 1,000,000 words ------------------------

// A document of single-byte text followed by double-byte text only, so its
// character starts are known without decoding it.
class StringEditor : public DocEditor {
 public:
  SjisString text;
  int64_t asciiPrefix = 0;  // bytes of single-byte text before the double-byte text
  int64_t CaretPos() const override { return static_cast<int64_t>(text.size()); }
  int64_t TextLength() const override { return static_cast<int64_t>(text.size()); }
  SjisString TextSlice(int64_t& from, int64_t to) const override {
    if (from > asciiPrefix && (from - asciiPrefix) % 2 != 0) ++from;
    return text.substr(from, to - from);
  }
};

class SilentUi : public UiHooks {
 public:
  void Beep() override {}
  void ShowMessage(const SjisString&, const SjisString& text) override {
    fprintf(stderr, "message: %s\n", SjisToUtf8(text).c_str());
  }
  MsgAnswer AskYesNoDefaultNo(const SjisString&, const SjisString&) override { return MsgAnswer::No; }
  MsgAnswer AskYesNoCancel(const SjisString&, const SjisString&) override { return MsgAnswer::Cancel; }
  SjisString PrincipalCaption() override { return {}; }
  void ProcessMessages() override {}
};

struct BigTable {
  std::string folder = bench::BenchFolder("engine-bench");
  std::vector<SjisString> sample;  // some of the stored words, to build the fragment
  MT table{"tbMuKwd"};

  BigTable() {
    SetErrorLogBase(folder);
    sample = bench::BuildWordTable(folder, 1000000);
    bench::DeclareWordTable(table, folder);
    table.SetIndexName("IDX_UPDATEDATE");
    table.Open();
  }
};

void BM_SepKeywordKeystroke(benchmark::State& state) {
  static SilentUi ui;
  SetUiHooks(&ui);
  static BigTable big;
  int h = WordHandle();
  SetWordPatternHandle(h);

  // A long document (1 MB) whose last sentence is about 300 bytes: stored
  // words and new ones, separated by hiragana, the caret at its end.
  StringEditor ed;
  ed.text = std::string(1 << 20, 'x') + "\r\n";
  ed.asciiPrefix = static_cast<int64_t>(ed.text.size());
  const SjisString seps[] = {"\x82\xc5\x82\xcd\x82\xc8\x82\xad\x82\xc4",  // ではなくて
                              "\x82\xa9\x82\xe7\x82\xcd"};                 // からは
  std::mt19937 rng(3);
  int words = 0;
  while (ed.text.size() - ed.asciiPrefix < 285) {
    const SjisString& w = big.sample[rng() % big.sample.size()];
    ed.text += w + seps[words % 2];
    ++words;
  }
  ed.text += "\x83\x65\x83\x58\x83\x67";  // テスト: the word being typed
  state.counters["fragment_bytes"] = static_cast<double>(ed.text.size() - ed.asciiPrefix);
  state.counters["words"] = words + 1;

  {
    bench::Latencies lat(state);
    for (auto _ : state) {
      SjisString rest;
      lat.Time([&] { rest = SepKeywordAtCaret(big.table, ed, false, false); });
      benchmark::DoNotOptimize(rest);
    }
  }
  state.counters["table_words"] = static_cast<double>(big.table.RecordCount());
}

// The store's whole share of one typed character, as the main window runs it:
// the learning view stores the words of the sentence being typed (one
// character longer each time), the similar-word view (a second connection on
// the same file) filters to the word being typed, and both word panes read
// the 30 rows they show. The sentence is made of stored words and hiragana,
// ends with "。" at about 300 bytes, and a new one begins.
void BM_LearningKeystrokeTwoViews(benchmark::State& state) {
  static SilentUi ui;
  SetUiHooks(&ui);
  static BigTable big;
  SetWordPatternHandle(WordHandle());
  MT& latest = big.table;
  MT similar("tbMuKwd2");
  bench::DeclareWordTable(similar, big.folder);
  similar.SetIndexFieldNames("KEYWORD");
  similar.SetFiltered(true);
  similar.Open();

  // What is typed: the sentences, one Shift-JIS character per keystroke.
  const SjisString seps[] = {"\x82\xc5\x82\xcd\x82\xc8\x82\xad\x82\xc4",  // ではなくて
                              "\x82\xa9\x82\xe7\x82\xcd", "\x82\xcc"};       // からは, の
  std::mt19937 rng(11);
  SjisString typed;
  while (typed.size() < 64 * 1024) {
    SjisString sentence;
    for (int k = 0; sentence.size() < 290; ++k)
      sentence += big.sample[rng() % big.sample.size()] + seps[k % 3];
    typed += sentence + "\x81\x42";  // 。
  }
  StringEditor ed;
  ed.text = std::string(1 << 20, 'x') + "\r\n";
  ed.asciiPrefix = static_cast<int64_t>(ed.text.size());
  ed.text.reserve(ed.text.size() + typed.size() * 4);

  size_t at = 0;
  int ci = 0;
  bench::Latencies lat(state, /*reportMax=*/true);
  for (auto _ : state) {
    if (at >= typed.size()) at = 0;
    ed.text.append(typed, at, 2);
    at += 2;
    lat.Time([&] {
      const SjisString rest = SepKeywordAtCaret(latest, ed, false, false);
      similar.SetFilter("KEYWORD='" + rest + "*'");
      benchmark::DoNotOptimize(similar.CountAtMost(1));
      benchmark::DoNotOptimize(latest.RowsAround(15, 14, &ci));
      benchmark::DoNotOptimize(similar.RowsAround(15, 14, &ci));
    });
  }
}

}  // namespace
}  // namespace wendul

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  wendul::CheckSameWords();
  benchmark::RegisterBenchmark("MuWGYStr/manpages-ja", wendul::BM_MuWGYStr)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Pcre2Jit/manpages-ja", wendul::BM_Pcre2Jit)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("SepKeywordAtCaret/1M-words", wendul::BM_SepKeywordKeystroke)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("LearningKeystroke/two-views/1M-words", wendul::BM_LearningKeystrokeTwoViews)
      ->UseManualTime()
      ->Iterations(5000)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
