#include "windows/fmmanual.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>

#include "controls/jfont.h"
#include "controls/qsjis.h"
#include "util/messages.h"

namespace wendul {

namespace {
bool g_open = false;
}  // namespace

bool TfmManual::IsOpen() { return g_open; }

TfmManual::TfmManual(const std::string& path, bool admin, QWidget* parent) : QMainWindow(parent, Qt::Window) {
  g_open = true;
  setObjectName("fmManual");
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromUtf8("Wendulクイックガイド"));
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint;
  // Above the main window unless the user is an administrator.
  if (!admin) flags |= Qt::WindowStaysOnTopHint;
  setWindowFlags(flags);
  resize(824, 643);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));

  // One item on the menu bar, acting as soon as it is chosen.
  Close1 = menuBar()->addAction(QString::fromUtf8("閉じる(&C)"));
  Close1->setObjectName("Close1");
  connect(Close1, &QAction::triggered, this, &QWidget::close);
  menuBar()->setObjectName("MainMenu1");

  mmManual = new QPlainTextEdit(this);
  mmManual->setObjectName("mmManual");
  mmManual->setReadOnly(true);
  mmManual->setFont(JapaneseFont(false, 15));
  mmManual->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  mmManual->setAttribute(Qt::WA_InputMethodEnabled, false);
  setCentralWidget(mmManual);

  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) {
    // Said once; the window opens empty.
    ErrMsgBox(Utf8ToSjis("クイックガイドのファイルを開けません。\r\n") + FromQ(QString::fromStdString(path)) +
              "\r\n" + FromQ(f.errorString()));
    return;
  }
  const QByteArray bytes = f.readAll();
  mmManual->setPlainText(ToQ(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))
                             .replace(QLatin1String("\r\n"), QLatin1String("\n")));
}

TfmManual::~TfmManual() { g_open = false; }

void TfmManual::closeEvent(QCloseEvent* e) {
  g_open = false;
  e->accept();
}

}  // namespace wendul
