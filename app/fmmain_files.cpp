// The main window's document: new and open (saving comes with the file commands).
#include <QFile>

#include "app/fmmain.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "util/messages.h"

namespace wendul {

void TfmMain::NewDocument() {
  mmDoc->clear();
  edCurFileName->clear();
  Modified = false;
}

void TfmMain::OpenDocument(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    ErrMsgBox(FromQ(path) + " : " + FromQ(f.errorString()));
    NewDocument();
    return;
  }
  const QByteArray bytes = f.readAll();
  mmDoc->SetText(SjisString(bytes.constData(), static_cast<size_t>(bytes.size())));
  edCurFileName->setText(path);
  Modified = false;
}

}  // namespace wendul
