// Document editor and word grid benchmarks.
//
//  * One keystroke in the document editor, with what the learning path asks
//    of it on the change notification (length, caret, the 300 bytes before
//    the caret), for documents of 100 KB and 10 MB: the times should match.
//  * The same on one line of 10,000 and 100,000 characters, word wrap on and
//    off. Qt lays the whole paragraph out again on every change, so this
//    grows with the line; the editor's own reads on such a line
//    (BM_RichEditLongLineReads) must not.
//  * Byte <-> position conversions in a 10 MB document.
//  * The word grid over a table of 1,000,000 words: Down, Page Down and End
//    each followed by the grid's re-read of its window.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "controls/datasource.h"
#include "controls/mudbgrid.h"
#include "controls/murichedit.h"
#include "qt_bench_main.h"
#include "store/mt.h"
#include "util/codec.h"

namespace wendul {
namespace {

// Lines of 10 to 80 characters, as prose has them.
SjisString Document(int64_t bytes) {
  const SjisString sentence = Utf8ToSjis("東京タワーと東京駅の写真を撮りました。abc 0123456789 四月の旅行記です。");
  std::vector<size_t> ends;  // character ends in the sentence
  for (size_t i = 0; i < sentence.size();) {
    i += IsSjisLeadByte(static_cast<unsigned char>(sentence[i])) ? 2 : 1;
    ends.push_back(i);
  }
  std::mt19937 rng(3);
  std::uniform_int_distribution<size_t> pick(9, ends.size() - 1);
  SjisString text;
  text.reserve(static_cast<size_t>(bytes + 200));
  while (static_cast<int64_t>(text.size()) < bytes) {
    text.append(sentence, 0, ends[pick(rng)]);
    text += "\r\n";
  }
  return text;
}

// Every line equally wide: the edited line becomes the widest and shrinks
// again, which makes Qt's plain-text layout look for the new widest line
// through every block.
SjisString UniformDocument(int64_t bytes) {
  const SjisString line = Utf8ToSjis("東京タワーと東京駅の写真を撮りました。abc 0123456789 ");
  SjisString text;
  text.reserve(static_cast<size_t>(bytes + 200));
  while (static_cast<int64_t>(text.size()) < bytes) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void Press(QWidget* w, Qt::Key key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
}

void BM_RichEditKeystroke(benchmark::State& state) {
  TmuRichEdit ed;
  ed.SetText(state.range(1) & 2 ? UniformDocument(state.range(0)) : Document(state.range(0)));
  int64_t sink = 0;
  if (state.range(1) & 1) {
    QObject::connect(&ed, &TmuRichEdit::Change, [&] {
      const int64_t caret = ed.CaretPos();
      int64_t from = caret - 300;
      sink += ed.TextLength() + static_cast<int64_t>(ed.TextSlice(from, caret).size());
    });
  }
  // A line in the middle, well shorter than the widest.
  int line = ed.LineCount() / 2;
  while (!(state.range(1) & 2) && ed.LineLength(line) > 40) ++line;
  ed.SetSelStart(ed.LineIndex(line) + ed.LineLength(line));
  for (auto _ : state) {
    Press(&ed, Qt::Key_unknown, QString::fromUtf8("駅"));
    Press(&ed, Qt::Key_Backspace);
  }
  benchmark::DoNotOptimize(sink);
  state.SetLabel(std::string(state.range(1) & 1 ? "type + backspace, learning reads" : "type + backspace") +
                 (state.range(1) & 2 ? ", widest line edited" : ""));
}
BENCHMARK(BM_RichEditKeystroke)
    ->Args({100'000, 1})
    ->Args({10'000'000, 1})
    ->Args({10'000'000, 0})
    ->Args({10'000'000, 3})
    ->Unit(benchmark::kMicrosecond);

// One line of Japanese prose without a line break (a pasted article, a
// log line): typing at its end or in its middle, with the learning reads,
// word wrap on (the main window's default) or off. The editor has a window's
// size but is never shown, as in the typing benchmark.
SjisString LongLine(int64_t chars) {
  const std::u16string sentence = SjisToUtf16(
      Utf8ToSjis("東京タワーと東京駅の写真を撮りました。abc 0123456789 四月の旅行記です、"));
  std::u16string line;
  line.reserve(static_cast<size_t>(chars));
  while (static_cast<int64_t>(line.size()) < chars)
    line.append(sentence, 0, std::min<size_t>(sentence.size(), static_cast<size_t>(chars) - line.size()));
  SjisString out;
  TryUtf16ToSjis(line, out);
  return out;
}

void BM_RichEditLongLine(benchmark::State& state) {
  TmuRichEdit ed;
  ed.resize(800, 600);
  ed.SetWordWrap(state.range(1) != 0);
  ed.SetText(LongLine(state.range(0)));
  int64_t sink = 0;
  QObject::connect(&ed, &TmuRichEdit::Change, [&] {
    const int64_t caret = ed.CaretPos();
    int64_t from = caret - 300;
    sink += ed.TextLength() + static_cast<int64_t>(ed.TextSlice(from, caret).size());
  });
  const bool middle = state.range(2) != 0;
  ed.SetSelStart(middle ? ed.TextLength() / 2 : ed.TextLength());
  QCoreApplication::processEvents();
  for (auto _ : state) {
    Press(&ed, Qt::Key_unknown, QString::fromUtf8("駅"));
    Press(&ed, Qt::Key_Backspace);
  }
  benchmark::DoNotOptimize(sink);
  state.SetLabel(std::string("type + backspace, learning reads, ") + (middle ? "middle" : "end") +
                 (state.range(1) ? ", wrapped" : ", not wrapped"));
}
BENCHMARK(BM_RichEditLongLine)
    ->Args({10'000, 1, 0})
    ->Args({10'000, 0, 0})
    ->Args({10'000, 1, 1})
    ->Args({100'000, 1, 0})
    ->Args({100'000, 0, 0})
    ->Unit(benchmark::kMicrosecond);

// Only what the learning asks of the editor after a keystroke (caret, length,
// the 300 bytes before the caret) in one line of 10,000 or 1,000,000
// characters, caret at the end or in the middle: the editor's own part of a
// keystroke, without Qt's layout.
void BM_RichEditLongLineReads(benchmark::State& state) {
  TmuRichEdit ed;
  ed.SetText(LongLine(state.range(0)));
  const bool middle = state.range(1) != 0;
  ed.SetSelStart(middle ? ed.TextLength() / 2 : ed.TextLength());
  Press(&ed, Qt::Key_unknown, QString::fromUtf8("駅"));  // the line being edited
  int64_t sink = 0;
  for (auto _ : state) {
    const int64_t caret = ed.CaretPos();
    int64_t from = caret - 300;
    sink += ed.TextLength() + static_cast<int64_t>(ed.TextSlice(from, caret).size());
  }
  benchmark::DoNotOptimize(sink);
  state.SetLabel(middle ? "caret in the middle" : "caret at the end");
}
BENCHMARK(BM_RichEditLongLineReads)
    ->Args({10'000, 0})
    ->Args({1'000'000, 0})
    ->Args({1'000'000, 1})
    ->Unit(benchmark::kMicrosecond);

void BM_RichEditEnterKey(benchmark::State& state) {
  TmuRichEdit ed;
  ed.SetText(Document(state.range(0)));
  ed.SetSelStart(ed.LineIndex(ed.LineCount() / 2) + 10);
  for (auto _ : state) {
    Press(&ed, Qt::Key_Return, QStringLiteral("\r"));
    Press(&ed, Qt::Key_Backspace);
  }
  state.SetLabel("line break + backspace");
}
BENCHMARK(BM_RichEditEnterKey)->Arg(100'000)->Arg(10'000'000)->Unit(benchmark::kMicrosecond);

void BM_RichEditConversions(benchmark::State& state) {
  TmuRichEdit ed;
  ed.SetText(Document(10'000'000));
  std::mt19937 rng(7);
  std::uniform_int_distribution<int64_t> any(0, ed.TextLength());
  int64_t sink = 0;
  for (auto _ : state) {
    const int64_t b = any(rng);
    sink += ed.PosToByte(ed.ByteToPos(b)) + ed.LineFromChar(b);
  }
  benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_RichEditConversions)->Unit(benchmark::kMicrosecond);

// --- the grid over 1,000,000 words ---------------------------------------------

struct GridOnBigTable {
  MT table{"tbMuKwd"};
  std::unique_ptr<TDataSource> source;
  std::unique_ptr<TmuDBGrid> grid;
  GridOnBigTable() {
    const std::string folder = bench::BenchFolder("grid-bench");
    bench::BuildWordTable(folder, 1'000'000, bench::TableWords::Numbered);
    bench::DeclareWordTable(table, folder);
    table.SetIndexName("IDX_UPDATEDATE");
    table.Open();
    source = std::make_unique<TDataSource>(&table);
    grid = std::make_unique<TmuDBGrid>();
    grid->SetDataSource(source.get());
    grid->SetFieldName("KEYWORD");
    grid->resize(200, 600);
    grid->show();
    QCoreApplication::processEvents();
  }
};

GridOnBigTable& Grid() {
  static GridOnBigTable g;
  return g;
}

void BM_GridKeyOnMillionRows(benchmark::State& state) {
  GridOnBigTable& g = Grid();
  const Qt::Key key = static_cast<Qt::Key>(state.range(0));
  const Qt::Key back = key == Qt::Key_Down ? Qt::Key_Up : key == Qt::Key_PageDown ? Qt::Key_PageUp : Qt::Key_Home;
  g.table.First();
  QCoreApplication::processEvents();
  for (auto _ : state) {
    Press(g.grid.get(), key);
    QCoreApplication::processEvents();
    Press(g.grid.get(), back);
    QCoreApplication::processEvents();
  }
  state.SetLabel(key == Qt::Key_Down ? "Down+Up" : key == Qt::Key_PageDown ? "PageDown+PageUp" : "End+Home");
}
BENCHMARK(BM_GridKeyOnMillionRows)
    ->Arg(Qt::Key_Down)
    ->Arg(Qt::Key_PageDown)
    ->Arg(Qt::Key_End)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wendul

WENDUL_QT_BENCHMARK_MAIN();
