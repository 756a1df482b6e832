#include "app/testprobe.h"

#include <QApplication>
#include <QFile>
#include <QSaveFile>
#include <QTimer>

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

QString State(TfmMain* m) {
  const QWidget* f = QApplication::focusWidget();
  const char* focus = f == m->mmDoc ? "doc" : f == m->mgWordCode ? "code" : f == m->mgWordDate ? "date" : "other";
  const QTextCursor c = m->mmDoc->textCursor();
  return QString("focus=%1\ncaret=%2\nsel=%3\npreedit=%4\ntext=%5\n")
      .arg(focus)
      .arg(c.position())
      .arg(Escaped(c.selectedText()))
      .arg(Escaped(m->mmDoc->PreeditText()))
      .arg(Escaped(m->mmDoc->PlainLines()));
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
