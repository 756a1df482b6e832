#include "app/fmgrep.h"

#include <QApplication>
#include <QKeyEvent>

#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/jfont.h"
#include "controls/keypreview.h"
#include "controls/mudbgrid.h"
#include "controls/mupanel.h"
#include "settings/setuplinks.h"
#include "windows/fmworddate.h"

namespace wendul {

TfmGrep* fmGrep = nullptr;

TfmGrep::TfmGrep(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("fmGrep");
  setWindowTitle(QString::fromUtf8("グローバル検索"));
  setFont(JapaneseFont(true, 12));
  resize(203, 400);

  btAboatGrep = new QPushButton(QString::fromUtf8("中止"), this);
  btAboatGrep->setObjectName("btAboatGrep");
  btAboatGrep->setGeometry(8, 3, 80, 28);
  connect(btAboatGrep, &QPushButton::clicked, this, [this] { GrepRunning = false; });
  btTest = new QPushButton(QString::fromUtf8("閉じる (&C)"), this);
  btTest->setObjectName("btTest");
  btTest->setGeometry(112, 3, 80, 28);
  connect(btTest, &QPushButton::clicked, this, [] {
    if (fmMain) fmMain->CloseGrepWindow();
  });
  pnPFName = new TmuPanel(this);
  pnPFName->setObjectName("pnPFName");
  pnPFName->setGeometry(0, 35, 200, 20);
  pnPFName->SetAlignmentLeft();

  mgMuKwd = new TmuDBGrid(this);
  mgMuKwd->setObjectName("mgMuKwd");
  mgMuKwd->SetDataSource(D ? D->dsGrep : nullptr);
  // Titles in the user's words, not the table's field names.
  mgMuKwd->SetColumns({{"PFNAME", QString::fromUtf8("日記ファイル"), 132}, {"LINE", QString::fromUtf8("行"), 32}});
  mgMuKwd->SetTitlesVisible(true);
  connect(mgMuKwd, &TmuDBGrid::EnterPressed, this, [] {
    if (fmMain) fmMain->GrepResultEnter();
  });

  // ESC stops the search; the function keys work as in the main window.
  keys_ = new KeyPreview(this, [this](QKeyEvent* e) {
    if (e->key() == Qt::Key_Escape) {
      GrepRunning = false;
      return true;
    }
    if (e->key() >= Qt::Key_F1 && e->key() <= Qt::Key_F12 && MainKeyDownHook()) MainKeyDownHook()(e);
    return false;
  });

  TimerStartUp = new QTimer(this);
  TimerStartUp->setObjectName("TimerStartUp");
  TimerStartUp->setSingleShot(true);
  connect(TimerStartUp, &QTimer::timeout, this, &TfmGrep::TimerStartUpTimer);
  TimerStartUp->start(10);
}

void TfmGrep::TimerStartUpTimer() {
  TimerStartUp->stop();
  if (G().logMode && fmMain) fmMain->CreateDateWindow();
}

void TfmGrep::Prepare(int height, int top, const QString& caption) {
  resize(203, std::max(height, 120));
  move(x(), top);
  setWindowTitle(caption);
}

void TfmGrep::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  const int gridTop = pnPFName->y() + pnPFName->height();
  mgMuKwd->setGeometry(0, gridTop, width(), std::max(0, height() - gridTop));
}

void TfmGrep::SetRunningLook(bool running) {
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, running ? QColor(255, 0, 0) : QApplication::palette().color(QPalette::Window));
  setPalette(p);
}

void TfmGrep::ShowProgress(const QString& path) {
  pnPFName->SetCaption(path);
  pnPFName->repaint();
}

void TfmGrep::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) ActiveWindowMarker() = 3;
  QWidget::changeEvent(e);
}

}  // namespace wendul
