#include "windows/fmmsgbox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include "controls/jfont.h"

#include "controls/qsjis.h"

namespace wendul {

TfmMsgBox::TfmMsgBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("fmMsgBox");
  setWindowTitle("Wendul");
  setAttribute(Qt::WA_DeleteOnClose);
  setFixedSize(261, 227);

  // Fixed pitch, so the counts line up.
  QFont fixed = JapaneseFont(false, 13);
  mmMessage = new QPlainTextEdit(this);
  mmMessage->setObjectName("mmMessage");
  mmMessage->setReadOnly(true);
  mmMessage->setGeometry(4, 7, 253, 184);
  mmMessage->setFont(fixed);
  mmMessage->setAttribute(Qt::WA_InputMethodEnabled, false);

  btClose = new QPushButton(QString::fromUtf8("閉じる(&C)"), this);
  btClose->setObjectName("btClose");
  btClose->setGeometry(92, 197, 81, 25);
  connect(btClose, &QPushButton::clicked, this, &QDialog::close);

  Label1 = new QLabel("XXXX/XXXX", this);
  Label1->setObjectName("Label1");
  Label1->setGeometry(182, 200, 72, 16);
  Label1->setAlignment(Qt::AlignCenter);
  Label1->setFont(JapaneseFont(false, 16));
  Label1->hide();

  // Centred on the screen, where the user looks while the words are stored.
  if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

void TfmMsgBox::Progress(const SjisString& counter, const SjisString& line) {
  QApplication::processEvents();
  Label1->setText(ToQ(counter));
  Label1->show();  // a label without a count is never seen
  Label1->repaint();
  mmMessage->appendPlainText(ToQ(line));
}

}  // namespace wendul
