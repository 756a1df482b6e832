// Word extraction benchmarks.
//
//  * MuWGYStr against PCRE2 with JIT, running the word class over the same
//    real Japanese text (the whole manpages-ja sources with their roff
//    requests stripped), the engine on Shift-JIS, PCRE2 on UTF-8 with the
//    pattern a user would write (Unicode blocks), both fed the same chunks of
//    at most 16384 bytes; best of 5 runs each. Before timing, both outputs are
//    compared word for word, and the few words where the two classes part
//    are listed with the characters behind them.
//  * SepKeywordAtCaret for one keystroke (a fragment of about 300 bytes and
//    20 words) at the end of a 1 MB document, on a word table of 1,000,000
//    words; the median is taken over the single calls.
#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
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
    c.sjis = bench::JapaneseCorpus(0, bench::CorpusLines::All);
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

// --- the word class as its user would write it for PCRE2 ---------------------

// The engine's class in Shift-JIS terms: "・", "「", "」", "ー", "々", katakana
// 0x8340-0x8396, kanji 0x889F-0xFC4B, ASCII letters, digits and a few symbols.
bool InWordClass(unsigned code, bool doubleByte) {
  if (!doubleByte)
    return code < 0x80 && (isalnum(static_cast<int>(code)) ||
                           std::string_view("-_.,()/:~#&*\\@").find(static_cast<char>(code)) !=
                               std::string_view::npos);
  return code == 0x8145 || code == 0x8175 || code == 0x8176 || code == 0x815B || code == 0x8158 ||
         (code >= 0x8340 && code <= 0x8396) || (code >= 0x889F && code <= 0xFC4B);
}

// The same class in Unicode blocks, as a user writes it: katakana ァ-ヶ and
// the symbols, the CJK ideographs and their compatibility block, the
// user-defined area that code page 932 maps its user rows to, and the ASCII set.
constexpr const char* kPcreWordPattern =
    "[\\x{30A1}-\\x{30F6}\\x{30FB}\\x{30FC}\\x{300C}\\x{300D}\\x{3005}"
    "\\x{4E00}-\\x{9FFF}\\x{F900}-\\x{FAFF}\\x{E000}-\\x{E757}"
    "0-9A-Za-z_.,()/:~#&*\\\\@-]+";

struct Pcre {
  pcre2_code* code = nullptr;
  pcre2_match_data* md = nullptr;
  Pcre() {
    int err;
    PCRE2_SIZE off;
    code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(kPcreWordPattern), PCRE2_ZERO_TERMINATED, PCRE2_UTF, &err,
                         &off, nullptr);
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

std::vector<std::string> SplitWords(const std::string& out) {
  std::vector<std::string> words;
  size_t from = 0;
  for (size_t p; (p = out.find(kWordMarker, from)) != std::string::npos; from = p + kWordMarker.size())
    words.push_back(out.substr(from, p - from));
  return words;
}

// Both sides' words over the whole corpus, in UTF-8; `blank` turns the listed
// Shift-JIS characters into blanks first (on both sides alike).
void RunBoth(const std::set<unsigned>& blank, std::string* engine, std::string* pcre) {
  Corpus& c = TheCorpus();
  engine->clear();
  pcre->clear();
  for (size_t i = 0; i < c.chunks.size(); ++i) {
    SjisString chunk(c.chunks[i]);
    std::string utf8 = c.utf8Chunks[i];
    if (!blank.empty()) {
      for (size_t k = 0; k < chunk.size();) {
        int len = 1;
        const auto b0 = static_cast<unsigned char>(chunk[k]);
        if (IsSjisLeadByte(b0) && k + 1 < chunk.size()) len = 2;
        const unsigned code = len == 2 ? (b0 << 8 | static_cast<unsigned char>(chunk[k + 1])) : b0;
        if (blank.count(code)) chunk.replace(k, static_cast<size_t>(len), std::string(static_cast<size_t>(len), ' '));
        k += static_cast<size_t>(len);
      }
      utf8 = SjisToUtf8(chunk);
    }
    std::optional<SjisString> out = MuWGYStr(WordHandle(), chunk);
    if (!out) {
      fprintf(stderr, "engine refused chunk %zu\n", i);
      std::exit(1);
    }
    *engine += SjisToUtf8(*out);
    *pcre += ThePcre().Run(utf8);
  }
}

// Both must find the same words, or the race means nothing. Where the two
// classes part (a character the Shift-JIS ranges hold and the Unicode blocks
// do not, or the other way round), the words differ; those characters are
// listed with their counts, and once they are blanked on both sides the
// outputs must be identical, so nothing else differs.
void CheckSameWords() {
  Corpus& c = TheCorpus();
  if (c.sjis.empty()) {
    fprintf(stderr, "no corpus: install manpages-ja (/usr/share/man/ja)\n");
    std::exit(1);
  }
  std::string engine, pcre;
  RunBoth({}, &engine, &pcre);
  const std::vector<std::string> engineWords = SplitWords(engine), pcreWords = SplitWords(pcre);
  fprintf(stderr, "corpus: %zu bytes Shift-JIS (%zu bytes UTF-8) in %zu chunks; %zu words (engine), %zu (PCRE2)\n",
          c.sjis.size(), c.utf8Bytes, c.chunks.size(), engineWords.size(), pcreWords.size());
  if (engine == pcre) {
    fprintf(stderr, "outputs identical\n");
    return;
  }
  // Every character of the corpus that one side counts as a word character and the other does not.
  std::map<unsigned, size_t> parted;
  for (size_t k = 0; k < c.sjis.size();) {
    int len = 0;
    DecodeCp932Char(c.sjis, k, &len);
    const auto b0 = static_cast<unsigned char>(c.sjis[k]);
    const unsigned code = len == 2 ? (b0 << 8 | static_cast<unsigned char>(c.sjis[k + 1])) : b0;
    k += static_cast<size_t>(len);
    if (auto it = parted.find(code); it != parted.end()) {
      ++it->second;
      continue;
    }
    const std::string ch = SjisToUtf8(c.sjis.substr(k - static_cast<size_t>(len), static_cast<size_t>(len)));
    if (InWordClass(code, len == 2) != (ThePcre().Run(ch) == ch + std::string(kWordMarker))) parted[code] = 1;
  }
  std::multiset<std::string> onlyEngine(engineWords.begin(), engineWords.end());
  size_t onlyPcre = 0;
  for (const std::string& w : pcreWords) {
    auto it = onlyEngine.find(w);
    if (it == onlyEngine.end()) ++onlyPcre;
    else onlyEngine.erase(it);
  }
  fprintf(stderr, "outputs differ: %zu words found only by the engine, %zu only by PCRE2, because the classes part on:\n",
          onlyEngine.size(), onlyPcre);
  std::set<unsigned> blank;
  for (auto [code, count] : parted) {
    const bool dbl = code > 0xFF;
    const SjisString sj = dbl ? SjisString{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)}
                              : SjisString(1, static_cast<char>(code));
    const std::u16string u = SjisToUtf16(sj);
    const bool engineHas = InWordClass(code, dbl);
    fprintf(stderr, "  %s U+%04X (Shift-JIS 0x%X), %zu times: %s\n", SjisToUtf8(sj).c_str(),
            u.empty() ? 0u : static_cast<unsigned>(u[0]), code, count,
            engineHas ? "inside the Shift-JIS range 亜-0xFC4B, outside the Unicode blocks"
                      : "inside the Unicode blocks, outside the Shift-JIS ranges");
    blank.insert(code);
  }
  RunBoth(blank, &engine, &pcre);
  if (engine != pcre) {
    size_t k = 0;
    while (k < engine.size() && k < pcre.size() && engine[k] == pcre[k]) ++k;
    fprintf(stderr, "with those blanked, engine and PCRE2 still disagree at output byte %zu:\n engine: %.80s\n pcre2:  %.80s\n",
            k, engine.c_str() + (k > 20 ? k - 20 : 0), pcre.c_str() + (k > 20 ? k - 20 : 0));
    std::exit(1);
  }
  fprintf(stderr, "with those characters blanked on both sides the outputs are identical\n");
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
  state.counters["sjis_MB"] = static_cast<double>(c.sjis.size()) / 1e6;
}

void BM_Pcre2Jit(benchmark::State& state) {
  Corpus& c = TheCorpus();
  Pcre& p = ThePcre();
  for (auto _ : state) {
    for (const std::string& chunk : c.utf8Chunks) {
      std::string out = p.Run(chunk);
      benchmark::DoNotOptimize(out);
    }
  }
  state.counters["utf8_MB"] = static_cast<double>(c.utf8Bytes) / 1e6;
}

// --- one keystroke on a word table of 1,000,000 words ------------------------

using bench::SilentUi;
using bench::StringEditor;

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
  const SjisString typed = bench::TypedSentences(big.sample, 64 * 1024, 11);
  StringEditor ed;
  ed.text = std::string(1 << 20, 'x') + "\r\n";
  ed.asciiPrefix = static_cast<int64_t>(ed.text.size());
  ed.text.reserve(ed.text.size() + typed.size() * 4);

  size_t at = 0;
  bench::Latencies lat(state, /*reportMax=*/true);
  for (auto _ : state) {
    if (at >= typed.size()) at = 0;
    ed.text.append(typed, at, 2);
    at += 2;
    lat.Time([&] { bench::LearningKeystroke(latest, similar, ed); });
  }
}

}  // namespace
}  // namespace wendul

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  wendul::CheckSameWords();
  // Best of 5: the least disturbed run of each, as both share the machine.
  auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  using Bench = void (*)(benchmark::State&);
  for (auto [name, fn] : {std::pair<const char*, Bench>{"MuWGYStr/manpages-ja", wendul::BM_MuWGYStr},
                          std::pair<const char*, Bench>{"Pcre2Jit/manpages-ja", wendul::BM_Pcre2Jit}})
    benchmark::RegisterBenchmark(name, fn)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ComputeStatistics("best", best)
        ->ReportAggregatesOnly(true);
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
