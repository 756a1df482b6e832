// The word book's export and import of 1,000,000 words, raced against the
// sqlite3 shell on the same rows in the same run.
//
// Wendul: TextExport of the word table in its latest-first order (as the word
// book writes it) and TmuText::TextImport of that file into the emptied table.
// The shell, as its users would: a table with the same primary key and a
// descending index on the last-use date, ".mode csv" and ".import" of the same
// rows as plain CSV, and ".once" with a select for the export. Both sides run
// in turns a few times; the summary at the end compares the medians.
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

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Every run's seconds by side; both races are summed up when the program ends.
struct Results {
  std::map<std::string, std::vector<double>> seconds;
  ~Results() {
    for (const char* what : {"export", "import"}) {
      const double ours = Median(seconds[std::string(what) + " wendul"]);
      const double shell = Median(seconds[std::string(what) + " sqlite3 shell"]);
      if (ours > 0 && shell > 0)
        std::printf("%s of %d words: wendul %.2f s, sqlite3 shell %.2f s, ratio %.2f (target 1.5 at most)\n", what,
                    kWords, ours, shell, ours / shell);
    }
    const double ours = Median(seconds["export wendul"]), list = Median(seconds["export sqlite3 shell list"]);
    if (ours > 0 && list > 0)
      std::printf("export beside the shell's plain list dump (no CSV quoting): %.2f s, ratio %.2f\n", list,
                  ours / list);
  }
};

std::map<std::string, std::vector<double>>& Times() {
  static Results results;
  return results.seconds;
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

double ExportWendul(MT& t, int64_t* rows) {
  return Seconds([&] {
    wendul::TextExport(t, Data().folder + "out.txt", false, true, [&](int64_t n, int64_t) {
      *rows = n;
      return true;
    });
  });
}

// The shell's CSV, as a user asks for it; "list" is its plain dump, the
// quickest it writes (no quoting), shown beside it.
double ExportShell(const char* mode) {
  return Seconds([mode] {
    Shell(Data().shellDb + " \".mode " + mode + "\" \".once " + Data().folder + "out.csv\" \"SELECT * FROM kwd;\"");
  });
}

double ImportWendul(int64_t* rows, int* errors) {
  const std::string folder = Data().folder + "import/";
  std::filesystem::remove_all(folder);
  {
    MT t("tbMuKwd");
    wendul::bench::DeclareWordTable(t, folder);
    t.Open();  // an empty word table
  }
  wendul::TmuText text;
  text.DatabaseName = folder;
  text.IsSkipTableCheck = true;
  const double s = Seconds([&] { *errors = text.TextImport(Data().wendulText, "KWD.DB", true, false); });
  *rows = text.RowsPosted();
  return s;
}

// Each round runs both sides, in turns first, so that a busy moment of the
// machine falls on both alike. The iteration's time is Wendul's.
void BM_ExportRace(benchmark::State& state) {
  Setup& d = Data();
  if (!std::filesystem::exists(d.shellDb)) ShellImportFresh();
  MT t("tbMuKwd");
  wendul::bench::DeclareWordTable(t, d.folder);
  t.SetIndexName("IDX_UPDATEDATE");  // the latest-first order, as the word book writes it
  t.Open();
  int64_t rows = 0;
  bool shellFirst = false;
  for (auto _ : state) {
    double ours, shell, list;
    if (shellFirst) {
      shell = ExportShell("csv");
      list = ExportShell("list");
      ours = ExportWendul(t, &rows);
    } else {
      ours = ExportWendul(t, &rows);
      shell = ExportShell("csv");
      list = ExportShell("list");
    }
    shellFirst = !shellFirst;
    Record(state, "export wendul", ours);
    Times()["export sqlite3 shell"].push_back(shell);
    Times()["export sqlite3 shell list"].push_back(list);
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["shell_csv_ms"] = Median(Times()["export sqlite3 shell"]) * 1000;
  state.counters["shell_list_ms"] = Median(Times()["export sqlite3 shell list"]) * 1000;
}
BENCHMARK(BM_ExportRace)->Iterations(7)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ImportRace(benchmark::State& state) {
  int64_t rows = 0;
  int errors = 0;
  bool shellFirst = false;
  for (auto _ : state) {
    double ours, shell;
    if (shellFirst) {
      shell = Seconds([] { ShellImportFresh(); });
      ours = ImportWendul(&rows, &errors);
    } else {
      ours = ImportWendul(&rows, &errors);
      shell = Seconds([] { ShellImportFresh(); });
    }
    shellFirst = !shellFirst;
    Record(state, "import wendul", ours);
    Times()["import sqlite3 shell"].push_back(shell);
  }
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["errors"] = errors;
  state.counters["shell_ms"] = Median(Times()["import sqlite3 shell"]) * 1000;
}
BENCHMARK(BM_ImportRace)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
