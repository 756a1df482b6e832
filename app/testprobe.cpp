#include "app/testprobe.h"

#include <QApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>

#include "app/fmmain.h"
#include "controls/mudbgrid.h"
#include "controls/murichedit.h"

namespace wendul {

namespace {

QString Escaped(QString s) {
  s.replace('\\', "\\\\");
  s.replace('\n', "\\n");
  s.replace(QChar::ParagraphSeparator, "\\n");
  return s;
}

// The colour pair each pre-edit character is drawn in: i typed, c current
// clause, o other clauses, r range being set, ? none of them.
QString PreeditKinds(const TmuRichEdit* doc) {
  const QTextLayout* layout = doc->textCursor().block().layout();
  const int from = layout->preeditAreaPosition();
  const int n = static_cast<int>(layout->preeditAreaText().size());
  QString kinds(n, '?');
  for (const QTextLayout::FormatRange& r : layout->formats()) {
    for (size_t k = 0; k < doc->IMEColors().size(); ++k) {
      if (r.format.background().color() != doc->IMEColors()[k].background) continue;
      for (int i = std::max(r.start - from, 0); i < std::min(r.start + r.length - from, n); ++i) kinds[i] = "icor"[k];
    }
  }
  return kinds;
}

QString State(TfmMain* m) {
  const QWidget* f = QApplication::focusWidget();
  const char* focus = f == m->mmDoc ? "doc" : f == m->mgWordCode ? "code" : f == m->mgWordDate ? "date" : "other";
  const QTextCursor c = m->mmDoc->textCursor();
  const QWidget* notice = m->findChild<QWidget*>("LearningNotice");
  return QString("focus=") + focus + "\ncaret=" + QString::number(c.position()) + "\nsel=" + Escaped(c.selectedText()) +
         "\npreedit=" + Escaped(m->mmDoc->PreeditText()) + "\npreeditkinds=" + PreeditKinds(m->mmDoc) +
         "\ntext=" + Escaped(m->mmDoc->PlainLines()) + "\nnotice=" + (notice && notice->isVisible() ? "shown" : "") +
         "\n";
}

}  // namespace

void StartTestProbe(TfmMain* main) {
  const QString path = QString::fromLocal8Bit(qgetenv("WENDUL_TEST_STATE"));
  if (path.isEmpty()) return;
  auto* timer = new QTimer(main);
  auto last = std::make_shared<QString>();
  QObject::connect(timer, &QTimer::timeout, main, [main, path, last] {
    const QString now = State(main);
    if (now == *last) return;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return;
    out.write(now.toUtf8());
    if (out.commit()) *last = now;
  });
  timer->start(20);
}

}  // namespace wendul
