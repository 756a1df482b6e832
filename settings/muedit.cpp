#include "settings/muedit.h"

#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>

#include "controls/jfont.h"
#include "controls/qsjis.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

constexpr int kUpDownWidth = 10;

// Spin buttons attached to an edit: a click sets the edit's text to its
// number plus or minus the step, kept within Min .. Max (never wrapping).
class TUpDown : public QWidget {
 public:
  TUpDown(TmuEdit* buddy, QWidget* parent) : QWidget(parent), buddy_(buddy) {
    setObjectName(buddy->objectName() + "_UpDown");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int dir : {+1, -1}) {
      auto* b = new QToolButton(this);
      b->setArrowType(dir > 0 ? Qt::UpArrow : Qt::DownArrow);
      b->setAutoRepeat(true);
      b->setFocusPolicy(Qt::NoFocus);
      b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
      layout->addWidget(b);
      connect(b, &QToolButton::clicked, this, [this, dir] {
        if (buddy_) buddy_->StepUpDown(dir);
      });
    }
  }
  int position = 0;
  int min = 0, max = 99, step = 1;

 private:
  QPointer<TmuEdit> buddy_;
};

// Shortest decimal text of a number ("11", "0.1", "-2.5").
QString ShortestDecimal(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return QString::fromLatin1(buf, static_cast<qsizetype>(r.ptr - buf));
}

int64_t SjisBytes(const QString& s) { return static_cast<int64_t>(FromQ(s).size()); }

}  // namespace

TmuEdit::TmuEdit(QWidget* parent) : TImeGatedEdit(parent) {}

TmuEdit::~TmuEdit() {
  StoreAlone();
  // The labels and spin belong to the parent; they go with the edit.
  delete left_.data();
  delete right_.data();
  delete upDown_.data();
}

double TmuEdit::Val() const {
  const std::string t = Trim(text().toStdString());
  double v = 0;
  auto r = std::from_chars(t.data(), t.data() + t.size(), v);
  if (t.empty() || r.ec != std::errc() || r.ptr != t.data() + t.size() || !std::isfinite(v)) return 0;
  return v;
}

void TmuEdit::SetVal(double v) { setText(ShortestDecimal(v)); }

void TmuEdit::SetIsDigit(bool on) {
  if (on == isDigit_) return;
  isDigit_ = on;
  if (on) {
    setAttribute(Qt::WA_InputMethodEnabled, false);  // the input method closed for the field
    if (text().trimmed().isEmpty()) setText("0");
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  } else {
    setAttribute(Qt::WA_InputMethodEnabled, true);
    if (text().trimmed() == "0") setText("");
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  }
}

void TmuEdit::SetIncrement(int step) {
  increment_ = step;
  if (auto* ud = static_cast<TUpDown*>(upDown_.data())) ud->step = step;
}

void TmuEdit::SetCaption(const QString& caption) {
  caption_ = caption;
  if (left_) left_->setText(caption);
  LayoutLabels();
}

void TmuEdit::SetCaptionR(const QString& caption) {
  captionR_ = caption;
  if (right_) right_->setText(caption);
  LayoutLabels();
}

QWidget* TmuEdit::UpDown() const { return upDown_; }

int TmuEdit::UpDownPosition() const {
  auto* ud = static_cast<TUpDown*>(upDown_.data());
  return ud ? ud->position : 0;
}

void TmuEdit::StepUpDown(int direction) {
  auto* ud = static_cast<TUpDown*>(upDown_.data());
  if (!ud) return;
  // The edit's number is where the spin stands (the user may have typed).
  const std::string t = Trim(text().toStdString());
  int pos = IsIntStr(t) ? StrToIntZ(t) : ud->position;
  const int64_t next = static_cast<int64_t>(pos) + static_cast<int64_t>(direction) * ud->step;
  ud->position = static_cast<int>(std::clamp<int64_t>(next, ud->min, ud->max));
  setText(QString::number(ud->position));
}

void TmuEdit::Loaded() {
  LoadIni();
  QWidget* parent = parentWidget();
  if (!parent) return;
  if (IsUpDown) {
    auto* ud = new TUpDown(this, parent);
    // A 16-bit range, as the platform's spin holds it.
    ud->min = std::clamp(Min, -32768, 32767);
    ud->max = std::clamp(Max, -32768, 32767);
    ud->step = increment_;
    ud->position = std::clamp(StrToIntZ(Trim(text().toStdString())), ud->min, ud->max);
    ud->setVisible(isVisibleTo(parent));
    upDown_ = ud;
  }
  auto makeLabel = [&](const QString& caption, const char* suffix) {
    auto* l = new QLabel(caption, parent);
    l->setObjectName(objectName() + suffix);
    l->setAttribute(Qt::WA_TranslucentBackground);
    l->setVisible(isVisibleTo(parent));
    return l;
  };
  left_ = makeLabel(caption_, "_Label");
  right_ = makeLabel(captionR_, "_LabelR");
  LayoutLabels();
}

void TmuEdit::LayoutLabels() {
  const int spin = upDown_ ? kUpDownWidth : 0;
  if (upDown_) upDown_->setGeometry(x() + width(), y(), kUpDownWidth, height());
  for (QLabel* l : {left_.data(), right_.data()}) {
    if (!l) continue;
    l->setFont(JapaneseFontPt(false, LabelFontSize));
    l->adjustSize();
  }
  if (left_) left_->move(x() - left_->width() - 4, y() + 2);
  if (right_) right_->move(x() + width() + 4 + spin, y() + 2);
}

void TmuEdit::DoLoadIni() {
  if (Trim(GIniFileName()).empty()) GIniFileName() = DefaultIniFileName();
  if (IsNewVersionIni) {
    setText(ToQ(ReadIni(this, FromQ(text()))));
  } else {
    setText(ToQ(IniFile(GIniFileName()).ReadString("Text", objectName().toStdString(), FromQ(text()))));
  }
}

void TmuEdit::DoStoreIni(std::vector<IniEntry>& out) {
  if (Trim(GIniFileName()).empty()) return;
  if (IsNewVersionIni) out.push_back(Entry(FromQ(text())));
  else out.push_back({"Text", objectName().toStdString(), Trim(FromQ(text()))});
}

int64_t TmuEdit::RoomInBytes() const {
  if (MaxLength < 1) return -1;
  if (hasSelectedText()) return std::max<int64_t>(0, MaxLength - SjisBytes(text()) + SjisBytes(selectedText()));
  return std::max<int64_t>(0, MaxLength - SjisBytes(text()));
}

void TmuEdit::keyPressEvent(QKeyEvent* e) {
  const int key = e->key();
  // Key-down steps.
  if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
    const std::string t = Trim(text().toStdString());
    if (IsIntStr(t)) {
      // Without regard to Min and Max, as the field's own step.
      const int64_t v = static_cast<int64_t>(StrToIntZ(t)) + (key == Qt::Key_PageUp ? 1 : -1);
      setText(QString::number(v));
      e->accept();
      return;
    }
  }
  if (key == Qt::Key_F12 && muPrevControl) muPrevControl->setFocus(Qt::OtherFocusReason);

  // Typed characters.
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (muNextControl) muNextControl->setFocus(Qt::TabFocusReason);
    e->accept();  // never a beep, never a new line
    return;
  }
  if (key == Qt::Key_Backspace) {
    QLineEdit::keyPressEvent(e);
    return;
  }
  QString typed = e->text();
  const bool isChar = !typed.isEmpty() && typed.at(0).isPrint() &&
                      !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (isChar) {
    if (MaxLength >= 1 && !hasSelectedText() && SjisBytes(text()) >= MaxLength) {
      Beep();
      e->accept();
      return;
    }
    if (isDigit_) {
      for (QChar c : typed) {
        if (!(c.isDigit() && c.unicode() < 0x80) && c != '.') {
          e->accept();  // refused without a beep
          return;
        }
      }
    }
    if (IsUpperCase && typed != typed.toUpper()) {
      insert(typed.toUpper());
      e->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(e);
}

void TmuEdit::inputMethodEvent(QInputMethodEvent* e) {
  // Committed text obeys the same limits as typed characters.
  QString commit = e->commitString();
  if (!commit.isEmpty() && (isDigit_ || MaxLength >= 1)) {
    QString kept;
    int64_t room = RoomInBytes();
    for (QChar c : commit) {
      if (isDigit_ && !((c.isDigit() && c.unicode() < 0x80) || c == '.')) continue;
      const int64_t n = SjisBytes(QString(c));
      if (room >= 0) {
        if (n > room) {
          Beep();
          break;
        }
        room -= n;
      }
      kept += c;
    }
    if (kept != commit) {
      QInputMethodEvent changed(e->preeditString(), e->attributes());
      changed.setCommitString(kept, e->replacementStart(), e->replacementLength());
      QLineEdit::inputMethodEvent(&changed);
      e->accept();
      return;
    }
  }
  QLineEdit::inputMethodEvent(e);
}

void TmuEdit::mousePressEvent(QMouseEvent* e) {
  if (text().trimmed().isEmpty()) setCursorPosition(0);
  QLineEdit::mousePressEvent(e);
}

void TmuEdit::moveEvent(QMoveEvent* e) {
  QLineEdit::moveEvent(e);
  LayoutLabels();
}

void TmuEdit::resizeEvent(QResizeEvent* e) {
  QLineEdit::resizeEvent(e);
  LayoutLabels();
}

void TmuEdit::showEvent(QShowEvent* e) {
  QLineEdit::showEvent(e);
  for (QWidget* w : {static_cast<QWidget*>(left_.data()), static_cast<QWidget*>(right_.data()), upDown_.data()})
    if (w) w->show();
}

void TmuEdit::hideEvent(QHideEvent* e) {
  QLineEdit::hideEvent(e);
  // Hidden with its window, the labels follow anyway; hidden alone, they go too.
  if (!isHidden()) return;
  for (QWidget* w : {static_cast<QWidget*>(left_.data()), static_cast<QWidget*>(right_.data()), upDown_.data()})
    if (w) w->hide();
}

}  // namespace wendul
