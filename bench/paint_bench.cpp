// Key to painted screen: one character committed by the input method into a
// shown editor, timed until the window's repaint of it is done (painted and
// flushed to the platform). The document editor (TmuRichEdit) beside a stock
// QPlainTextEdit on the same text, in the same run, same font and size:
//
//  * one paragraph of 2,000, 10,000 and 50,000 characters of Japanese prose
//    (the manpages-ja text joined into one line), typed at its end and in its
//    middle, word wrap on as in the main window;
//  * documents of 100 KB and 10 MB in short lines, typed at their end, a line
//    break after each sentence as in ordinary writing.
//
// Each keystroke is timed on the wall clock and in the GUI thread's CPU time;
// the CPU time is what the keystroke cost the program, the wall time also
// holds what other processes took from it. Runs on the offscreen platform
// unless QT_QPA_PLATFORM says otherwise (xcb on an X server shows the flush
// to a real display).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "paint_watch.h"
#include "controls/jfont.h"
#include "controls/murichedit.h"
#include "util/codec.h"

namespace wendul {
namespace {

using bench::PaintWatch;

double ThreadCpuMs() { return bench::ThreadCpuUs() / 1e3; }

struct Figures {
  std::vector<double> wall, cpu;
  double At(const std::vector<double>& v, double q) const {
    std::vector<double> s = v;
    std::sort(s.begin(), s.end());
    return s[static_cast<size_t>(q * static_cast<double>(s.size() - 1))];
  }
};

// Results by case, for the table printed at the end.
std::map<std::string, std::map<std::string, Figures>>& Table() {
  static std::map<std::string, std::map<std::string, Figures>> t;
  return t;
}

// Japanese prose as one paragraph of `chars` UTF-16 units.
QString Paragraph(int chars) {
  static const QString prose = [] {
    const std::u16string all = SjisToUtf16(bench::JapaneseCorpus(400 * 1024, bench::CorpusLines::JapaneseOnly));
    QString out;
    out.reserve(static_cast<qsizetype>(all.size()));
    for (char16_t c : all)
      if (c != u'\r' && c != u'\n') out += QChar(c);
    return out;
  }();
  QString p;
  while (p.size() < chars) p += prose;
  p.truncate(chars);
  return p;
}

QString ShortLines(int64_t bytes) {
  return QString::fromStdU16String(SjisToUtf16(bench::JapaneseCorpus(static_cast<size_t>(bytes)))).replace(
      QStringLiteral("\r\n"), QStringLiteral("\n"));
}

const QString kTyping = QString::fromUtf8("東京タワーとスカイツリーに行って写真を撮影した、新しいファイルを作成し内容を確認します");

enum class Editor { Wendul, Stock };

void KeyToPaint(benchmark::State& state, Editor kind, const QString& text, bool middle, bool lineBreaks,
                const std::string& row) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  QPlainTextEdit* ed = kind == Editor::Wendul ? new TmuRichEdit : new QPlainTextEdit;
  layout->addWidget(ed);
  ed->setFont(JapaneseFont(false, 15));
  ed->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ed->setPlainText(text);
  window.resize(800, 600);
  window.show();
  PaintWatch watch;
  window.installEventFilter(&watch);
  ed->setFocus();
  QTextCursor c = ed->textCursor();
  c.setPosition(middle ? static_cast<int>(text.size() / 2) : ed->document()->characterCount() - 1);
  ed->setTextCursor(c);
  ed->ensureCursorVisible();
  for (int i = 0; i < 50; ++i) QApplication::processEvents();
  Figures f;
  int i = 0;
  for (auto _ : state) {
    QElapsedTimer wall;
    wall.start();
    const double cpu0 = ThreadCpuMs();
    const QChar ch = kTyping.at(i++ % kTyping.size());
    if (lineBreaks && ch == QChar(u'、')) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
      QApplication::sendEvent(ed, &press);
    } else {
      QInputMethodEvent commit;
      commit.setCommitString(QString(ch));
      QApplication::sendEvent(ed, &commit);
    }
    watch.painted = false;
    while (!watch.painted && wall.elapsed() < 5000) QApplication::processEvents();
    const double ms = static_cast<double>(wall.nsecsElapsed()) / 1e6;
    f.wall.push_back(ms);
    f.cpu.push_back(ThreadCpuMs() - cpu0);
    state.SetIterationTime(ms / 1e3);
  }
  state.counters["p50_ms"] = f.At(f.wall, 0.5);
  state.counters["p99_ms"] = f.At(f.wall, 0.99);
  state.counters["max_ms"] = f.At(f.wall, 1.0);
  state.counters["cpu_p50_ms"] = f.At(f.cpu, 0.5);
  state.counters["cpu_p99_ms"] = f.At(f.cpu, 0.99);
  state.counters["cpu_max_ms"] = f.At(f.cpu, 1.0);
  Table()[row][kind == Editor::Wendul ? "TmuRichEdit" : "QPlainTextEdit"] = f;
}

void PrintTable() {
  std::printf("\nKey to painted screen, ms (wall p50 / p99 / max | GUI thread CPU p50 / p99 / max)\n");
  std::printf("%-28s %-44s %-44s\n", "case", "TmuRichEdit", "QPlainTextEdit");
  for (auto& [row, cols] : Table()) {
    std::printf("%-28s", row.c_str());
    for (const char* col : {"TmuRichEdit", "QPlainTextEdit"}) {
      auto it = cols.find(col);
      if (it == cols.end()) {
        std::printf(" %-44s", "-");
        continue;
      }
      const Figures& f = it->second;
      char cell[96];
      std::snprintf(cell, sizeof cell, "%.2f / %.2f / %.2f | %.2f / %.2f / %.2f", f.At(f.wall, 0.5), f.At(f.wall, 0.99),
                    f.At(f.wall, 1), f.At(f.cpu, 0.5), f.At(f.cpu, 0.99), f.At(f.cpu, 1));
      std::printf(" %-44s", cell);
    }
    std::printf("\n");
  }
}

const bool kRegistered = [] {
  struct Case {
    std::string name;
    std::function<QString()> text;
    bool middle;
    int keys;
    bool lineBreaks = false;
  };
  std::vector<Case> cases;
  for (int chars : {2000, 10000, 50000})
    for (bool middle : {false, true})
      cases.push_back({"paragraph " + std::to_string(chars) + (middle ? " middle" : " end"),
                       [chars] { return Paragraph(chars); }, middle, chars >= 50000 ? 300 : 1000});
  cases.push_back({"short lines 100KB end", [] { return ShortLines(100 * 1024); }, false, 1000, true});
  cases.push_back({"short lines 10MB end", [] { return ShortLines(10 * 1024 * 1024); }, false, 1000, true});
  for (const Case& c : cases) {
    for (Editor kind : {Editor::Wendul, Editor::Stock}) {
      const std::string name =
          "KeyToPaint/" + std::string(kind == Editor::Wendul ? "TmuRichEdit/" : "QPlainTextEdit/") + c.name;
      benchmark::RegisterBenchmark(name.c_str(),
                                   [c, kind](benchmark::State& s) { KeyToPaint(s, kind, c.text(), c.middle, c.lineBreaks, c.name); })
          ->UseManualTime()
          ->Iterations(c.keys)
          ->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace
}  // namespace wendul

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  wendul::PrintTable();
  return 0;
}
