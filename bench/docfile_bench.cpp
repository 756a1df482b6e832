// Document files in the main window, shown on the offscreen platform:
//
//  * Open a 10 MB Shift-JIS file of real Japanese text, from the command to
//    the document pane painted (target: 1 s). A 1 MB file beside it, and a
//    10 MB UTF-8 file of the same text (its encoding found by the detector;
//    target: at most 1.2 times the Shift-JIS file's time).
//  * Save it after one edit: encoded, written to a temporary file, flushed
//    to disk and renamed over the old one (target: 0.5 s).
//  * One caret move (Left or Right, the status line rebuilt, the pane
//    painted) at the end of 100 KB and of 10 MB: the times should match.
//
// The resident memory after opening is reported as a counter (rss_mb).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/startup.h"
#include "bench_support.h"
#include "controls/murichedit.h"
#include "qt_bench_main.h"
#include "settings/fmsetup.h"
#include "store/companion.h"
#include "util/codec.h"

namespace wendul {
namespace {

struct Program {
  TfmMain* main = nullptr;
  std::string folder;

  Program() {
    folder = bench::BenchFolder("docfile");
    setenv("WENDUL_HOME", folder.c_str(), 1);
    const char* argv[] = {"wendul"};
    MuAVParm(1, argv);
    PrepareGlobals();
    new TD;
    fmSetup = new TfmSetup;
    main = new TfmMain;
    main->resize(1000, 700);
    main->show();
    while (main->TimerStartUp->isActive()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
  }

  std::string File(size_t bytes) {
    const std::string path = folder + "doc" + std::to_string(bytes) + ".txt";
    std::ofstream(path, std::ios::binary) << bench::JapaneseCorpus(bytes, bench::CorpusLines::JapaneseOnly);
    return path;
  }

  // The same text in UTF-8, cut at a line end after `bytes` bytes.
  std::string Utf8File(size_t bytes) {
    const std::string path = folder + "utf8-" + std::to_string(bytes) + ".txt";
    std::string text = SjisToUtf8(bench::JapaneseCorpus(bytes, bench::CorpusLines::JapaneseOnly));
    text.resize(text.rfind("\r\n", bytes) + 2);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  // Opens the file and paints the window; the document is then unchanged.
  void Open(const std::string& path) {
    main->Modified = false;
    main->mmDoc->document()->setModified(false);
    main->OpenDocFile(QString::fromStdString(path));
    main->repaint();
  }
};

Program& TheProgram() {
  static Program p;
  return p;
}

double RssMb() {
  std::ifstream in("/proc/self/status");
  std::string key;
  while (in >> key) {
    if (key == "VmRSS:") {
      double kb = 0;
      in >> kb;
      return kb / 1024;
    }
    in.ignore(1 << 16, '\n');
  }
  return 0;
}

// Opens the file again and again; `encoding` is what the status line must show after.
void TimeOpen(benchmark::State& state, const std::string& path, const char* encoding) {
  Program& p = TheProgram();
  {
    bench::Latencies lat(state);
    for (auto _ : state) {
      p.main->NewDocument();
      lat.Time([&] { p.Open(path); });
    }
  }
  if (p.main->lbEncoding->text() != encoding) {
    std::fprintf(stderr, "opened as %s\n", p.main->lbEncoding->text().toUtf8().constData());
    std::abort();
  }
  state.counters["doc_bytes"] = static_cast<double>(p.main->mmDoc->TextLength());
  state.counters["rss_mb"] = RssMb();
}

void OpenToPaint(benchmark::State& state) {
  TimeOpen(state, TheProgram().File(static_cast<size_t>(state.range(0))), "SJIS  CRLF");
}

void OpenUtf8ToPaint(benchmark::State& state) {
  TimeOpen(state, TheProgram().Utf8File(static_cast<size_t>(state.range(0))), "UTF-8  CRLF");
}

void SaveAfterEdit(benchmark::State& state) {
  Program& p = TheProgram();
  const std::string path = p.File(static_cast<size_t>(state.range(0)));
  p.Open(path);
  TmuRichEdit* doc = p.main->mmDoc;
  {
    bench::Latencies lat(state);
    for (auto _ : state) {
      doc->SetSelStart(0);
      doc->insertPlainText(QStringLiteral("x"));
      lat.Time([&] {
        if (!p.main->SaveDocument()) std::abort();
      });
    }
  }
}

void CaretMoveAtEnd(benchmark::State& state) {
  Program& p = TheProgram();
  p.Open(p.File(static_cast<size_t>(state.range(0))));
  TmuRichEdit* doc = p.main->mmDoc;
  doc->SetSelStart(doc->TextLength());
  doc->setFocus();
  QApplication::processEvents();
  int i = 0;
  {
    bench::Latencies lat(state);
    for (auto _ : state) {
      const Qt::Key key = (i++ & 1) ? Qt::Key_Right : Qt::Key_Left;
      lat.Time([&] {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(doc, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(doc, &release);
        doc->viewport()->repaint();
        p.main->StatusBarMain->repaint();
      });
    }
  }
  state.counters["doc_bytes"] = static_cast<double>(doc->TextLength());
}

const bool kRegistered = [] {
  benchmark::RegisterBenchmark("DocFile/OpenToPaint", OpenToPaint)
      ->Arg(1 << 20)->Arg(10 << 20)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DocFile/OpenUtf8ToPaint", OpenUtf8ToPaint)
      ->Arg(10 << 20)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DocFile/SaveAfterEdit", SaveAfterEdit)
      ->Arg(10 << 20)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("DocFile/CaretMoveAtEnd", CaretMoveAtEnd)
      ->Arg(100 << 10)->Arg(10 << 20)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);
  return true;
}();

}  // namespace
}  // namespace wendul

WENDUL_QT_BENCHMARK_MAIN();
