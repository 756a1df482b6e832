// What several benchmarks share: a real Japanese text, a large word table and
// a per-operation latency recorder.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "store/doc_editor.h"
#include "util/ui_hooks.h"
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

// A document of single-byte text followed by double-byte text only, so its
// character starts are known without decoding it; the caret at its end.
class StringEditor : public DocEditor {
 public:
  SjisString text;
  int64_t asciiPrefix = 0;  // bytes of single-byte text before the double-byte text
  int64_t CaretPos() const override { return static_cast<int64_t>(text.size()); }
  int64_t TextLength() const override { return static_cast<int64_t>(text.size()); }
  SjisString TextSlice(int64_t& from, int64_t to) const override {
    if (from > asciiPrefix && (from - asciiPrefix) % 2 != 0) ++from;
    return text.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
  }
};

// Messages to standard error, no beeps, questions answered No.
class SilentUi : public UiHooks {
 public:
  void Beep() override {}
  void ShowMessage(const SjisString&, const SjisString& text) override;
  MsgAnswer AskYesNoDefaultNo(const SjisString&, const SjisString&) override { return MsgAnswer::No; }
  MsgAnswer AskYesNoCancel(const SjisString&, const SjisString&) override { return MsgAnswer::Cancel; }
  SjisString PrincipalCaption() override { return {}; }
  void ProcessMessages() override {}
};

// What a user writes: sentences of stored words and hiragana of about 300
// bytes, each ended by "。", at least `bytes` long.
SjisString TypedSentences(const std::vector<SjisString>& words, size_t bytes, unsigned seed);

// The store's whole share of one typed character, as the main window runs
// it: the learning view stores the words of the sentence being typed, the
// similar-word view (a second connection on the same file) filters to the
// word being typed, and both word panes read the 30 rows they show.
void LearningKeystroke(MT& latest, MT& similar, const DocEditor& editor);

// The calling thread's processor time so far, in microseconds.
double ThreadCpuUs();

// Times each operation on its own: a mean hides the few slow ones (a WAL
// checkpoint, a re-layout), so the median and tail are reported as counters
// (p50_us, p90_us, p99_us; max_us when asked), and each time is also the
// iteration's manual time for benchmarks run with UseManualTime(). The same
// in the thread's processor time (cpu_p50_us, cpu_p99_us, cpu_max_us): on a
// shared machine, what the operation cost without what other processes took.
class Latencies {
 public:
  explicit Latencies(benchmark::State& state, bool reportMax = false) : state_(state), reportMax_(reportMax) {}
  ~Latencies();
  Latencies(const Latencies&) = delete;
  Latencies& operator=(const Latencies&) = delete;

  template <typename F>
  void Time(F&& op) {
    const double cpu0 = ThreadCpuUs();
    const auto t0 = std::chrono::steady_clock::now();
    std::forward<F>(op)();
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count();
    cpu_.push_back(ThreadCpuUs() - cpu0);
    state_.SetIterationTime(us / 1e6);
    times_.push_back(us);
  }

 private:
  benchmark::State& state_;
  bool reportMax_;
  std::vector<double> times_, cpu_;
};

}  // namespace wendul::bench
