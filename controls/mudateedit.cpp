#include "controls/mudateedit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "controls/funcbtn.h"
#include "controls/imegatededit.h"
#include "controls/jfont.h"
#include "controls/qsjis.h"
#include "util/datetime.h"
#include "util/daylog.h"
#include "util/jera.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

const QColor kTeal(0, 128, 128);  // 0x808000 as the platform writes colours

// The day part of a date-time (the day counts towards zero before the origin).
TDateTime DayOf(TDateTime t) {
  const DateParts p = DecodeDateTime(t);
  TDateTime d = 0;
  TryEncodeDate(p.year, p.month, p.day, &d);
  return d;
}

bool ParseInt(const QString& s, int* out) {
  bool ok = false;
  const int v = s.trimmed().toInt(&ok);
  if (ok) *out = v;
  return ok;
}

}  // namespace

// A numeric field of the date edit: digits only, a byte limit, a spin within
// a range, focus links. Its keys go to the date edit first.
class TmuDateField : public TImeGatedEdit {
 public:
  TmuDateField(TmuDateEdit* owner, int number, int maxLength, int min, int max)
      : TImeGatedEdit(owner), owner_(owner), number_(number), maxLength_(maxLength), min_(min), max_(max) {
    VName = QString("Name%1").arg(number);
    setFont(JapaneseFontPt(true, 12));
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setAttribute(Qt::WA_InputMethodEnabled, false);  // digits only: no input method
    spin_ = new QWidget(this);
    spin_->setObjectName(QString("UpDown%1").arg(number));
    auto* layout = new QVBoxLayout(spin_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int dir : {+1, -1}) {
      auto* b = new QToolButton(spin_);
      b->setArrowType(dir > 0 ? Qt::UpArrow : Qt::DownArrow);
      b->setFocusPolicy(Qt::NoFocus);
      b->setAutoRepeat(true);
      b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
      connect(b, &QToolButton::clicked, this, [this, dir] { Step(dir); });
      layout->addWidget(b);
    }
    // Two digits and the spin fit a narrow field only without the edit's inner padding.
    setStyleSheet("QLineEdit { padding-left: 0px; padding-right: 0px; }");
    setTextMargins(0, 0, kSpinWidth, 0);
    connect(this, &QLineEdit::textChanged, this, [this] { owner_->FieldChanged(this); });
  }

  static constexpr int kSpinWidth = 10;
  QString VName;
  QPointer<QWidget> next, prev;
  int number() const { return number_; }

  // One step of the spin: from the text's number, never beyond the range.
  // A spin chooses the date at once.
  void Step(int dir) {
    int v = 0;
    ParseInt(text(), &v);
    v = std::clamp(v + dir, min_, max_);
    setText(QString::number(v));
    owner_->Choose(TmuDateEdit::Ending::Commit);
  }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QLineEdit::resizeEvent(e);
    spin_->setGeometry(width() - kSpinWidth, 0, kSpinWidth, height());
  }

  void focusOutEvent(QFocusEvent* e) override {
    QLineEdit::focusOutEvent(e);
    // The field's own context menu is no leaving. Chosen once the focus has
    // moved: what the choice asks is not asked in the middle of the move.
    if (e->reason() != Qt::PopupFocusReason && owner_->pending_) {
      owner_->leaving_ = true;
      QTimer::singleShot(0, owner_, [owner = owner_] {
        // Typing on in another field since is no leaving.
        if (owner->leaving_) owner->Choose(TmuDateEdit::Ending::Leave);
      });
    }
  }

  void mousePressEvent(QMouseEvent* e) override {
    if (text().trimmed().isEmpty()) setCursorPosition(0);
    QLineEdit::mousePressEvent(e);
    emit owner_->OnClick(this);
  }

  void keyPressEvent(QKeyEvent* e) override {
    if (owner_->FieldKeyDown(this, e)) return;
    switch (e->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        owner_->Choose(TmuDateEdit::Ending::Commit);
        if (next) next->setFocus(Qt::TabFocusReason);
        return;  // never a line break
      case Qt::Key_Escape:
        owner_->Revert();
        return;
      case Qt::Key_F12:
        if (prev) prev->setFocus(Qt::BacktabFocusReason);
        return;
      case Qt::Key_PageUp:
      case Qt::Key_PageDown: {
        int v = 0;
        if (ParseInt(text(), &v)) setText(QString::number(v + (e->key() == Qt::Key_PageUp ? 1 : -1)));
        owner_->Choose(TmuDateEdit::Ending::Commit);
        return;
      }
      case Qt::Key_Up:
      case Qt::Key_Down:
        Step(e->key() == Qt::Key_Up ? 1 : -1);
        return;
      default:
        break;
    }
    const QString t = e->text();
    if (t.size() == 1 && t[0].unicode() >= 0x20 && t[0].unicode() != 0x7F &&
        !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      owner_->FieldKeyPress(this, t[0]);
      if (!t[0].isDigit() || t[0].unicode() > 0x7F) return;  // digits only, refused silently
      if (!hasSelectedText() && text().size() >= maxLength_) {
        Beep();
        return;
      }
    }
    QLineEdit::keyPressEvent(e);
  }

 private:
  TmuDateEdit* owner_;
  int number_;
  int maxLength_, min_, max_;
  QWidget* spin_ = nullptr;
};

// The fields go first, while the edit is still whole: a field that has the
// focus tells the edit it was left, and the edit must be there to hear it.
TmuDateEdit::~TmuDateEdit() {
  for (TmuDateField*& f : fields_) {
    delete f;
    f = nullptr;
  }
}

TmuDateEdit::TmuDateEdit(QWidget* parent) : QFrame(parent) {
  setObjectName("muDateEdit");
  setFocusPolicy(Qt::NoFocus);
  static const char* const kNames[3] = {"edYear", "edMonth", "edDay"};
  const int maxLen[3] = {4, 2, 2}, lo[3] = {0, 1, 0}, hi[3] = {2050, 12, 32};
  for (int i = 0; i < 3; ++i) {
    fields_[i] = new TmuDateField(this, i + 1, maxLen[i], lo[i], hi[i]);
    fields_[i]->setObjectName(kNames[i]);
  }
  // year -> month -> day -> year, backwards the other way round.
  for (int i = 0; i < 3; ++i) {
    fields_[i]->next = fields_[(i + 1) % 3];
    fields_[i]->prev = fields_[(i + 2) % 3];
  }
  week_ = new QLineEdit(this);
  week_->setObjectName("edWeek");
  week_->setReadOnly(true);
  week_->setFocusPolicy(Qt::NoFocus);
  week_->setFont(JapaneseFontPt(true, 12));
  cap_ = new QLabel(this);
  cap_->setObjectName("pnCaption");
  cap_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  cap_->setLineWidth(3);
  cap_->setAlignment(Qt::AlignCenter);
  cap_->setAutoFillBackground(true);
  QFont bold = JapaneseFontPt(true, 12);
  bold.setBold(true);
  cap_->setFont(bold);
  cap_->hide();
  typingPause_ = new QTimer(this);
  typingPause_->setSingleShot(true);
  typingPause_->setInterval(kTypingPauseMs);
  connect(typingPause_, &QTimer::timeout, this, [this] { Choose(Ending::Pause); });
  resize(260, 30);
  DoLayout();
  SetDate(DiaryNow());
}

QLineEdit* TmuDateEdit::YearEdit() const { return fields_[0]; }
QLineEdit* TmuDateEdit::MonthEdit() const { return fields_[1]; }
QLineEdit* TmuDateEdit::DayEdit() const { return fields_[2]; }

void TmuDateEdit::SetMuPrevControl(QWidget* w) {
  prev_ = w;
  fields_[0]->prev = w ? w : static_cast<QWidget*>(fields_[2]);
}

void TmuDateEdit::SetMuNextControl(QWidget* w) {
  next_ = w;
  fields_[2]->next = w ? w : static_cast<QWidget*>(fields_[0]);
}

void TmuDateEdit::SetIsEWBtn(bool on) {
  if (!on || btEra_) return;  // the button exists from the moment it is asked for
  auto* button = new TmuSpeedButton(this);
  button->setObjectName("btEra");
  button->setText(QString::fromUtf8("年号"));
  button->setToolTip(QString::fromUtf8("和暦と西暦を切り替えます"));
  button->SetOnClick([this](QObject*) { SetIsJMode(!jmode_); });
  button->show();
  btEra_ = button;
  DoLayout();
}

void TmuDateEdit::SetIsCap(bool on) {
  isCap_ = on;
  cap_->setVisible(on);
  DoLayout();
}

void TmuDateEdit::resizeEvent(QResizeEvent* e) {
  QFrame::resizeEvent(e);
  DoLayout();
}

void TmuDateEdit::DoLayout() {
  const int b = btEra_ ? 1 : 0;
  const int W = width(), H = height();
  const int u = (W - 10 * (b + 5) - 40) / (b + 4);  // truncates toward zero
  const int h = isCap_ ? (H - 6) / 2 : H - 4;
  unit_ = u;
  fields_[0]->setGeometry(b * u + 10 * (b + 1), 2, 2 * u, h);
  fields_[1]->setGeometry((b + 2) * u + 10 * (b + 2), 2, u, h);
  fields_[2]->setGeometry((b + 3) * u + 10 * (b + 3), 2, u, h);
  if (btEra_) btEra_->setGeometry(10, 2, u, h);
  week_->setGeometry((u + 10) * (b + 4), 2, 40, h);
  cap_->setGeometry(10, h + 4, W - 20, h);
}

bool TmuDateEdit::ReadFields(TDateTime* out) const {
  QString yearText = fields_[0]->text().trimmed();
  if (jmode_) {
    int eraYear = 0;
    if (!ParseInt(yearText, &eraYear)) return false;
    yearText = QString::number(eraYear + JEraOffset(era_));
  }
  const QString text = yearText + "/" + fields_[1]->text().trimmed() + "/" + fields_[2]->text().trimmed();
  // Year, month and day in that order; one- and two-digit years as the
  // date parser reads them.
  SeparatedDateTime r;
  if (!MuDateTimeStringSeparate("yy/mm/dd", text.toStdString(), '/', ':', ' ', &r)) return false;
  return TryEncodeDate(r.year, r.month, r.day, out);
}

bool TmuDateEdit::Refresh() {
  TDateTime d = 0;
  const bool valid = ReadFields(&d);
  QPalette p = cap_->palette();
  p.setColor(QPalette::Window, kTeal);
  if (valid) {
    date_ = d;
    week_->setText(" (" + ToQ(DWeek2Str(DayOfWeek(d))) + ")");
    const DateParts dp = DecodeDateTime(d);
    cap_->setText(QString::asprintf("%.4d.%.2d.%.2d", dp.year, dp.month, dp.day));
    p.setColor(QPalette::WindowText, Qt::white);
  } else {
    p.setColor(QPalette::WindowText, kTeal);  // the text vanishes
  }
  cap_->setPalette(p);
  return valid;
}

void TmuDateEdit::FieldChanged(TmuDateField* field) {
  const bool valid = Refresh();
  const int16_t n = static_cast<int16_t>(StrToIntZ(FromQ(field->text())));
  switch (field->number()) {
    case 1: year_ = n; break;
    case 2: month_ = n; break;
    case 3: day_ = n; break;
  }
  // A day spun or typed past the month's ends moves to the neighbouring month.
  if (field->number() == 3 && !valid && date_ != 0) {
    if (day_ == 0) ShowDate(date_ - 1);
    else if (day_ >= 28) ShowDate(date_ + 1);
  }
  if (!updating_) {
    // Typed (or spun, which chooses at once): chosen when typing pauses.
    pending_ = true;
    leaving_ = false;
    typingPause_->start();
    emit OnChange(field);
  }
}

void TmuDateEdit::Choose(Ending how) {
  leaving_ = false;
  if (!pending_) return;
  TDateTime d = 0;
  const bool valid = ReadFields(&d);
  const bool whole = valid && (jmode_ || fields_[0]->text().trimmed().size() == 4);
  if (how == Ending::Pause && !whole) return;  // still being typed
  typingPause_->stop();
  pending_ = false;
  if (how == Ending::Commit ? valid : whole) {
    chosen_ = d;
    emit OnDateChosen();
  } else if (chosen_ != 0) {
    ShowDate(chosen_);  // half a date is not meant: the chosen one comes back
    pending_ = false;
  }
}

void TmuDateEdit::Revert() {
  // A letter switched the era on and nothing shows it: back to western years.
  if (jmode_ && !btEra_) SetIsJMode(false);
  if (pending_ && chosen_ != 0) ShowDate(chosen_);
  typingPause_->stop();
  pending_ = false;
}

void TmuDateEdit::WriteField(TmuDateField* field, int value) {
  const bool saved = updating_;
  updating_ = true;
  field->setText(QString::number(value));
  updating_ = saved;
}

void TmuDateEdit::SetDate(TDateTime value) {
  ShowDate(value);
  typingPause_->stop();
  pending_ = false;
  chosen_ = value == 0 ? 0 : date_;
  if (value != 0) emit OnDateChosen();
}

void TmuDateEdit::ShowDate(TDateTime value) {
  const bool saved = updating_;
  updating_ = true;
  if (value == 0) {
    date_ = 0;
    for (TmuDateField* f : fields_) f->clear();
    week_->clear();
    updating_ = saved;
    return;
  }
  date_ = DayOf(value);
  const DateParts p = DecodeDateTime(date_);
  int year = p.year;
  if (jmode_) {
    const JEraYear e = JapaneseEra(date_);
    era_ = e.era;
    year = e.year;
    UpdateEraButton();
  }
  fields_[0]->setText(QString::number(year));
  fields_[1]->setText(QString::number(p.month));
  fields_[2]->setText(QString::number(p.day));
  updating_ = saved;
  FieldChanged(fields_[2]);
}

TDateTime TmuDateEdit::GetDate(bool quiet) {
  TDateTime d = 0;
  if (ReadFields(&d)) {
    date_ = d;
  } else if (!quiet) {
    PgmError(FromQ(fields_[0]->text() + "/" + fields_[1]->text() + "/" + fields_[2]->text()) +
             FromQ(QString::fromUtf8(" は日付としておかしいです")));
  }
  return date_;
}

void TmuDateEdit::SetFocus() {
  fields_[2]->setFocus(Qt::OtherFocusReason);
  fields_[2]->setCursorPosition(fields_[2]->text().size());
}

void TmuDateEdit::SetIsJMode(bool on) {
  if (on == jmode_) return;
  if (on) {
    TDateTime d = 0;
    const bool valid = ReadFields(&d);
    jmode_ = true;
    if (valid) {
      const JEraYear e = JapaneseEra(d);
      era_ = e.era;
      WriteField(fields_[0], e.year);
    }
  } else {
    int eraYear = 0;
    const bool numeric = ParseInt(fields_[0]->text(), &eraYear);
    const int offset = JEraOffset(era_);
    jmode_ = false;
    if (numeric) WriteField(fields_[0], eraYear + offset);
  }
  UpdateEraButton();
}

void TmuDateEdit::UpdateEraButton() {
  if (btEra_) {
    btEra_->setText(ToQ(JEraName(jmode_ ? era_ : kNoEra)));
    return;
  }
  // Without the button only this tells why the year looks so small.
  fields_[0]->setToolTip(jmode_ ? ToQ(JEraName(era_)) + QString::fromUtf8("の年です（W か Esc で西暦に戻ります）")
                                : QString());
}

void TmuDateEdit::SelectEra(int era) {
  if (!jmode_) {
    SetIsJMode(true);  // shows the date's own era, whatever the letter
    return;
  }
  const TDateTime before = date_;
  era_ = era;
  UpdateEraButton();
  // The same era year in another era is another date.
  if (Refresh() && date_ != before && !updating_) {
    pending_ = true;  // as a typed digit: chosen when typing ends
    typingPause_->start();
    emit OnChange(fields_[0]);
  }
}

void TmuDateEdit::FieldKeyPress(TmuDateField* field, QChar key) {
  if (key == 'W' || key == 'w') {
    SetIsJMode(false);  // 西暦: western years
  } else if (key.unicode() < 0x80) {
    const int era = JEraOfLetter(static_cast<char>(key.unicode()));
    if (era != kNoEra) SelectEra(era);
  }
  emit OnKeyPress(field, key);
}

bool TmuDateEdit::FieldKeyDown(TmuDateField* field, QKeyEvent* e) {
  const int n = field->number();
  if (e->key() == Qt::Key_Right && n <= 2 && field->cursorPosition() >= field->text().size() &&
      !field->hasSelectedText()) {
    fields_[n]->setFocus(Qt::TabFocusReason);
    return true;
  }
  if (e->key() == Qt::Key_Left && n >= 2 && field->cursorPosition() == 0 && !field->hasSelectedText()) {
    fields_[n - 2]->setFocus(Qt::BacktabFocusReason);
    return true;
  }
  // A handler that accepts the event has used the key.
  e->ignore();
  emit OnKeyDown(field, e);
  const bool used = e->isAccepted();
  e->accept();
  return used;
}

void TmuDateEdit::Spin(QLineEdit* field, int direction) {
  for (TmuDateField* f : fields_)
    if (f == field) f->Step(direction);
}

}  // namespace wendul
