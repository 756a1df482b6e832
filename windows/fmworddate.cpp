#include "windows/fmworddate.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "controls/inipersist.h"
#include "controls/jfont.h"
#include "controls/keypreview.h"
#include "controls/mudateedit.h"
#include "controls/mupanel.h"
#include "util/daylog.h"
#include "util/inifile.h"
#include "util/messages.h"

namespace wendul {

TfmWordDate* fmWordDate = nullptr;

int& ActiveWindowMarker() {
  static int marker = 0;
  return marker;
}

TfmWordDate::TfmWordDate(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("fmWordDate");
  setWindowTitle(" ");
  setFixedSize(281, 35);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - QPoint(281 / 2, 35 / 2));

  edDateEdit = new TmuDateEdit(this);
  edDateEdit->setObjectName("edDateEdit");
  edDateEdit->setGeometry(72, 2, 217, 30);
  // Only a date the user has finished choosing loads its day: digits on
  // the way to it (2019 while 1999 is typed over 2001) load nothing.
  connect(edDateEdit, &TmuDateEdit::OnDateChosen, this, [this] {
    if (OnDayChange) OnDayChange();
  });

  pnKwd = new TmuPanel(this);
  pnKwd->setObjectName("pnKwd");
  pnKwd->setGeometry(4, 3, 61, 18);
  pnKwd->SetColor(Qt::white);
  pnKwd->setFont(JapaneseFont(false, 16));
  pnKwd->setToolTip(QString::fromUtf8("邪魔なときはクリックすると消えます。"));
  connect(pnKwd, &TmuPanel::clicked, pnKwd, &QWidget::hide);

  keys_ = new KeyPreview(
      this,
      [this](QKeyEvent* e) {
        if (KeyDown) KeyDown(e);
        return false;
      },
      [this](QKeyEvent* e) {
        if (KeyUp) KeyUp(e);
        return false;
      });

  TimerStartUp = new QTimer(this);
  TimerStartUp->setObjectName("TimerStartUp");
  TimerStartUp->setSingleShot(true);
  connect(TimerStartUp, &QTimer::timeout, this, &TfmWordDate::TimerStartUpTimer);
  TimerStartUp->start(10);
  fmWordDate = this;
}

TfmWordDate::~TfmWordDate() {
  if (fmWordDate == this) fmWordDate = nullptr;
}

// The chosen date: digits typed and not chosen yet are no date of the window.
TDateTime TfmWordDate::Date() const { return edDateEdit->ChosenDate(); }

void TfmWordDate::SetDate(TDateTime day) { edDateEdit->SetDate(day); }

void TfmWordDate::ShowLength(int64_t bytes) { pnKwd->SetCaption(QString::number(bytes)); }

void TfmWordDate::TimerStartUpTimer() {
  TimerStartUp->stop();
  const IniFile ini(SettingsPath);
  move(ini.ReadInteger("Position", "fmWordDate_WindowLeft", x()),
       ini.ReadInteger("Position", "fmWordDate_WindowTop", y()));
  TDateTime first = 0;
  try {
    first = FirstDiaryDay(LogMode, DateOption, DiaryNow());
  } catch (const std::exception& e) {
    // An option that is no date: said, and no day is loaded until one is set.
    ErrMsgBox(e.what());
    return;
  }
  SetDate(first);
  if (OnStarted) OnStarted();
}

void TfmWordDate::closeEvent(QCloseEvent* e) {
  if (!(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))) {
    try {
      IniFile ini(SettingsPath);
      ini.WriteInteger("Position", "fmWordDate_WindowLeft", x());
      ini.WriteInteger("Position", "fmWordDate_WindowTop", y());
    } catch (const std::exception& err) {
      ReportIniWriteFailure(err);
    }
  }
  QWidget::closeEvent(e);
  deleteLater();  // released on close
}

void TfmWordDate::changeEvent(QEvent* e) {
  if (e->type() == QEvent::ActivationChange && isActiveWindow()) ActiveWindowMarker() = 1;
  QWidget::changeEvent(e);
}

}  // namespace wendul
