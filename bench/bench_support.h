// What several benchmarks share: a real Japanese text, a large word table and
// a per-operation latency recorder.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "util/wtypes.h"

namespace wendul {
class MT;
}

namespace wendul::bench {

enum class CorpusLines {
  All,
  JapaneseOnly,  // only the lines holding double-byte characters, as a Japanese editor's documents
};

// Real Japanese text in Shift-JIS: the manpages-ja sources with their roff
// requests, comments and inline escapes stripped, lines joined with CR LF,
// characters code page 932 cannot hold dropped. Repeated until it holds at
// least minBytes, cut at a line end; minBytes 0 gives the text once.
SjisString JapaneseCorpus(size_t minBytes, CorpusLines lines = CorpusLines::All);

// What a shell command writes to its standard output.
std::string CommandOutput(const std::string& command);

// Declares the word table's layout (folder/KWD.DB) on t.
void DeclareWordTable(MT& t, const std::string& folder);

enum class TableWords {
  Japanese,  // random katakana and kanji words of 2 to 6 characters
  Numbered,  // "w0000000", "w0000001", ...: cheap to make, plain to draw
};

// Creates folder/KWD.DB with the word table's layout and fills it with `words`
// distinct words (one bulk transaction). Returns every 997th stored word.
// With prefixes, the words begin with them in turn (each begins an equal
// share of the table), followed by a word of the kind.
std::vector<SjisString> BuildWordTable(const std::string& folder, int words,
                                       TableWords kind = TableWords::Japanese,
                                       const std::vector<SjisString>& prefixes = {});

// A fresh folder below the temporary folder, removed when the process exits.
std::string BenchFolder(const std::string& name);

// Times each operation on its own: a mean hides the few slow ones (a WAL
// checkpoint, a re-layout), so the median and tail are reported as counters
// (p50_us, p90_us, p99_us; max_us when asked), and each time is also the
// iteration's manual time for benchmarks run with UseManualTime().
class Latencies {
 public:
  explicit Latencies(benchmark::State& state, bool reportMax = false) : state_(state), reportMax_(reportMax) {}
  ~Latencies();
  Latencies(const Latencies&) = delete;
  Latencies& operator=(const Latencies&) = delete;

  template <typename F>
  void Time(F&& op) {
    const auto t0 = std::chrono::steady_clock::now();
    std::forward<F>(op)();
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    state_.SetIterationTime(us / 1e6);
    times_.push_back(us);
  }

 private:
  benchmark::State& state_;
  bool reportMax_;
  std::vector<double> times_;
};

}  // namespace wendul::bench
