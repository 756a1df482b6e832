#include "wordbook/exchangeprogress.h"

#include <QApplication>
#include <QLocale>
#include <QProgressDialog>
#include <QPushButton>
#include <algorithm>

namespace wendul {

namespace {
constexpr int kBarSteps = 1000;
constexpr int kRepaintMs = 50;  // events run at most this often
}  // namespace

TExchangeProgress::TExchangeProgress(QWidget* owner, const QString& title, const QString& unit, int64_t total)
    : dialog_(new QProgressDialog(owner)), unit_(unit), total_(total) {
  dialog_->setObjectName("ExchangeProgress");
  dialog_->setWindowTitle(title);
  dialog_->setWindowModality(Qt::ApplicationModal);
  dialog_->setCancelButtonText(QString::fromUtf8("中止"));
  dialog_->setRange(0, total > 0 ? kBarSteps : 0);
  dialog_->setMinimumDuration(400);
  dialog_->setAutoClose(false);
  dialog_->setAutoReset(false);
  dialog_->setLabelText(title);
  dialog_->setMinimumWidth(300);
  dialog_->setValue(0);
  sinceShown_.start();
  sinceStart_.start();
}

TExchangeProgress::~TExchangeProgress() {
  dialog_->close();
  delete dialog_;
}

bool TExchangeProgress::Step(int64_t count, int64_t done) {
  if (sinceShown_.isValid() && sinceShown_.elapsed() < kRepaintMs && !Cancelled()) return true;
  sinceShown_.start();
  dialog_->setLabelText(count > 0 ? dialog_->windowTitle() + QString::fromUtf8("　") +
                                        QLocale(QLocale::Japanese).toString(static_cast<qlonglong>(count)) + " " + unit_
                                  : dialog_->windowTitle());
  // setValue shows the dialog after its minimum duration and runs the events.
  if (total_ > 0)
    dialog_->setValue(static_cast<int>(std::clamp<int64_t>(done * kBarSteps / total_, 0, kBarSteps)));
  else if (!dialog_->isVisible() && sinceStart_.elapsed() >= dialog_->minimumDuration())
    dialog_->show();
  // Until the dialog is up (and modal) no input reaches the other windows:
  // a word typed into the main window meanwhile would find the table locked.
  QApplication::processEvents(dialog_->isVisible() ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
  return !Cancelled();
}

bool TExchangeProgress::Cancelled() const { return cancellable_ && dialog_->wasCanceled(); }

void TExchangeProgress::SetStage(const QString& title, int64_t total) {
  if (dialog_->windowTitle() == title && total == total_) return;
  dialog_->setWindowTitle(title);
  dialog_->setLabelText(title);
  total_ = total;
  dialog_->setRange(0, total > 0 ? kBarSteps : 0);
  sinceShown_.invalidate();  // shown at the next step
}

void TExchangeProgress::NoCancel() {
  if (!cancellable_) return;
  cancellable_ = false;
  if (QPushButton* cancel = dialog_->findChild<QPushButton*>()) cancel->setEnabled(false);
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace wendul
