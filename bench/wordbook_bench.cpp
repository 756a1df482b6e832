// The word book's export and import of 1,000,000 words, raced against the
// sqlite3 shell on the same rows in the same run.
//
// Wendul: TextExport of the word table in its latest-first order (as the word
// book writes it) and TmuText::TextImport of that file into the emptied table.
// The shell, as its users would: a table with the same primary key and a
// descending index on the last-use date, ".mode csv" and ".import" of the same
// rows as plain CSV, and ".once" with a select for the export. Each side runs
// a few times; the summary at the end compares the medians.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "store/mt.h"
#include "wordbook/tabletext.h"

namespace {

using wendul::MT;

constexpr int kWords = 1000000;
constexpr int kRuns = 3;

struct Setup {
  std::string folder = wendul::bench::BenchFolder("wordbook-bench");
  std::string wendulText = folder + "words.txt";  // written by TextExport
  std::string shellCsv = folder + "words.csv";    // the same rows for the shell
  std::string shellDb = folder + "shell.db";

  Setup() {
    wendul::bench::BuildWordTable(folder, kWords);
    MT t("tbMuKwd");
    wendul::bench::DeclareWordTable(t, folder);
    t.SetIndexName("IDX_UPDATEDATE");
    t.Open();
    wendul::TextExport(t, wendulText, false, true);
    // The shell's CSV has no "," after the last value.
    std::ifstream in(wendulText, std::ios::binary);
    std::ofstream out(shellCsv, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line.back() == ',') line.pop_back();
      out << line << "\r\n";
    }
  }
};

Setup& Data() {
  static Setup s;
  return s;
}

std::map<std::string, std::vector<double>>& Times() {
  static std::map<std::string, std::vector<double>> t;
  return t;
}

template <typename F>
double Seconds(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Record(benchmark::State& state, const std::string& name, double s) {
  state.SetIterationTime(s);
  Times()[name].push_back(s);
}

void Shell(const std::string& args) {
  const std::string cmd = "sqlite3 " + args + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", cmd.c_str());
}

void ShellImportFresh() {
  std::filesystem::remove(Data().shellDb);
  const std::string script = Data().folder + "import.sql";
  std::ofstream(script) << "CREATE TABLE kwd(KEYWORD TEXT PRIMARY KEY, UPDATEDATE TEXT, APPENDDATE TEXT);\n"
                           "CREATE INDEX idx_updatedate ON kwd(UPDATEDATE DESC);\n"
                           ".mode csv\n"
                           ".import " + Data().shellCsv + " kwd\n";
  Shell(Data().shellDb + " < " + script);
}

void BM_Export_Wendul(benchmark::State& state) {
  Setup& d = Data();
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, d.folder);
  t.SetIndexName("IDX_UPDATEDATE");
  t.Open();
  for (auto _ : state) {
    int64_t rows = 0;
    Record(state, "export wendul",
           Seconds([&] { wendul::TextExport(t, d.folder + "out.txt", false, true, [&](int64_t n, int64_t) {
                           rows = n;
                           return true;
                         }); }));
    state.counters["rows"] = static_cast<double>(rows);
  }
}
BENCHMARK(BM_Export_Wendul)->Iterations(1)->Repetitions(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Export_SqliteShell(benchmark::State& state) {
  Setup& d = Data();
  if (!std::filesystem::exists(d.shellDb)) ShellImportFresh();
  for (auto _ : state)
    Record(state, "export sqlite3 shell",
           Seconds([&] { Shell(d.shellDb + " \".once " + d.folder + "out.csv\" \"SELECT * FROM kwd;\""); }));
}
BENCHMARK(BM_Export_SqliteShell)->Iterations(1)->Repetitions(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Import_Wendul(benchmark::State& state) {
  Setup& d = Data();
  const std::string folder = d.folder + "import/";
  for (auto _ : state) {
    std::filesystem::remove_all(folder);
    {
      MT t("tbMuKwd");
      wendul::bench::DeclareWordTable(t, folder);
      t.Open();  // an empty word table
    }
    wendul::TmuText text;
    text.DatabaseName = folder;
    text.IsSkipTableCheck = true;
    int errors = 0;
    Record(state, "import wendul",
           Seconds([&] { errors = text.TextImport(d.wendulText, "KWD.DB", true, false); }));
    state.counters["rows"] = static_cast<double>(text.RowsPosted());
    state.counters["errors"] = errors;
  }
}
BENCHMARK(BM_Import_Wendul)->Iterations(1)->Repetitions(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_Import_SqliteShell(benchmark::State& state) {
  for (auto _ : state) Record(state, "import sqlite3 shell", Seconds([] { ShellImportFresh(); }));
}
BENCHMARK(BM_Import_SqliteShell)->Iterations(1)->Repetitions(kRuns)->UseManualTime()->Unit(benchmark::kMillisecond);

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& t = Times();
  for (const char* what : {"export", "import"}) {
    const double ours = Median(t[std::string(what) + " wendul"]);
    const double shell = Median(t[std::string(what) + " sqlite3 shell"]);
    if (ours > 0 && shell > 0)
      std::printf("%s of %d words: wendul %.2f s, sqlite3 shell %.2f s, ratio %.2f (target 1.5 at most)\n", what,
                  kWords, ours, shell, ours / shell);
  }
  return 0;
}
