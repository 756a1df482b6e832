// The options dialog at work: key help, function-key lists, menu
// shortcuts, input-method colours and the document's font size.
#include <QAction>
#include <QKeySequence>

#include "controls/funcbtn.h"
#include "controls/jfont.h"
#include "controls/mubuttons.h"
#include "controls/mupanel.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "controls/selectcolor.h"
#include "controls/tcolor.h"
#include "settings/fmsetup.h"
#include "settings/mucontrols.h"
#include "settings/muedit.h"
#include "settings/setuplinks.h"
#include "util/messages.h"
#include "util/strutil.h"

namespace wendul {

namespace {

constexpr int kBuiltInDocPixels = 15;  // the document's font until a size is applied
constexpr int kMaxFontPoints = 100;    // the field's own upper bound

// Button n (1 .. 12) of the main window's function-key bar.
TmuSpeedButton* FunctionKeyButton(int n) {
  QObject* main = MainWindowObject();
  if (!main || n < 1 || n > 12) return nullptr;
  return main->findChild<TmuSpeedButton*>("Func01_F" + QString::fromStdString(ZeroPadStr(n, 2)));
}

}  // namespace

void TfmSetup::BuildKeyHelpTable(bool countNone) {
  for (auto& pane : KeyHelpTable) pane.fill(0);
  for (TmuGroupBox* g : groups) {
    for (QObject* child : g->children()) {
      if (!child->isWidgetType()) continue;
      auto* rb = qobject_cast<TmuRadioButton_Wendul*>(child);
      if (!rb) PgmError(g->objectName().toStdString() + " is not TmuRadioButton_Wendul ");
      if (!rb->isChecked()) continue;
      if (rb->Method == TwdlMethod::wdmtNone && !countNone) continue;
      KeyHelpTable[static_cast<size_t>(rb->StayControl)][static_cast<size_t>(rb->Method)] |= rb->ControlKey;
    }
  }
}

void TfmSetup::BuildKeyHelp() {
  for (QString& t : KeyHelpText) t.clear();
  BuildKeyHelpTable(false);
  const auto texts = BuildKeyHelpTexts(KeyHelpTable);
  for (size_t i = 0; i < 3; ++i) KeyHelpText[i] = ToQ(texts[i]);
}

void TfmSetup::BuildKeyHelpTest() {
  for (QString& t : KeyHelpText) t.clear();
  BuildKeyHelpTable(true);
  const auto texts = BuildKeyHelpTexts(KeyHelpTable, true);
  for (size_t i = 0; i < 3; ++i) KeyHelpText[i] = ToQ(texts[i]);
}

void TfmSetup::ApplyMenuShortcuts() {
  QObject* main = MainWindowObject();
  if (!main) return;
  for (TmuComboBox* list : keyLists) {
    auto* item = main->findChild<QAction*>("mi" + list->objectName().mid(4));
    if (!item) continue;
    if (list->currentIndex() <= 0) {
      item->setShortcut(QKeySequence());
    } else {
      item->setShortcut(QKeySequence(QString::fromStdString(FKeyName(list->currentText().toStdString()))));
    }
  }
}

void TfmSetup::SendIMEColors() {
  QObject* main = MainWindowObject();
  auto* doc = main ? main->findChild<TmuRichEdit*>("mmDoc") : nullptr;
  if (!doc) return;
  std::array<TmuRichEdit::ImeColor, 4> colors;
  const TmuPanel* panels[] = {pnIMEColorInput, pnIMEColorChange01, pnIMEColorChange02, pnIMEColorSelect};
  for (size_t i = 0; i < 4; ++i) {
    // System colours (such as the window text) as the document's palette shows them.
    colors[i].text = ResolveColorValue(panels[i]->FontColorValue(), doc->palette());
    colors[i].background = ResolveColorValue(panels[i]->ColorValue(), doc->palette());
  }
  doc->SetIMEColors(colors);
}

void TfmSetup::ApplyFontSize() {
  QObject* main = MainWindowObject();
  auto* doc = main ? main->findChild<QWidget*>("mmDoc") : nullptr;
  if (!doc) return;
  const int points = StrToIntZ(Trim(ed_mmDoc_FontSize->text().toStdString()));
  // 0 (or no number) leaves the built-in size; a typed 5000 would only freeze the layout.
  if (points <= 0) doc->setFont(JapaneseFont(false, kBuiltInDocPixels));
  else doc->setFont(JapaneseFontPt(false, std::min(points, kMaxFontPoints)));
}

void TfmSetup::btCloseClick() {
  ApplyMenuShortcuts();
  try {
    BuildKeyHelp();
  } catch (const std::exception& e) {
    ErrMsgBox(e.what());
  }
  hide();
}

void TfmSetup::FillKeyList(TmuComboBox* list) {
  list->clear();
  list->addItem(QString::fromUtf8("（なし）"));
  for (int k = 1; k <= 12; ++k) list->addItem("F" + QString::fromStdString(ZeroPadStr(k, 2)));
  list->setCurrentIndex(list->IniIndex);
}

void TfmSetup::RemoveDuplicateKey(TmuComboBox* list) {
  for (TmuComboBox* other : keyLists) {
    if (other != list && other->currentText() == list->currentText()) {
      other->setCurrentIndex(0);
      return;
    }
  }
}

void TfmSetup::KeyListExit(TmuComboBox* list) {
  const int n = list->currentIndex();
  const int before = list->EnterIndex;
  if (n == before || n < 0) return;
  if (n > 0) {
    const QString command = "Cn" + list->objectName().mid(4);
    TmuSpeedButton* button = FunctionKeyButton(n);
    if (button && button->BindCommand(command)) {
      RemoveDuplicateKey(list);
      if (before > 0)
        if (TmuSpeedButton* old = FunctionKeyButton(before)) old->UnbindCommand();
    } else {
      list->setCurrentIndex(before);
      ErrMsgBox(FromQ(QString::fromUtf8("メソッド '") + command +
                      QString::fromUtf8("' が見つかりません TfmSetup.cmbxSeekWordExit ")));
      return;
    }
  } else if (before > 0) {
    if (TmuSpeedButton* old = FunctionKeyButton(before)) old->UnbindCommand();
  }
  // The key shown is now the one bound; a later change starts from it.
  list->EnterIndex = n;
}

void TfmSetup::IMEColorButtonClick(TmuButton* button) {
  const QString name = button->objectName();
  auto* panel = findChild<TmuPanel*>("pn" + name.mid(3));
  if (!panel) return;
  const bool text = name.size() > 2 && name.at(2) == 'F';
  if (auto chosen = SelectColor(this, text ? panel->FontColorValue() : panel->ColorValue())) {
    if (text) panel->SetFontColorValue(*chosen);
    else panel->SetColorValue(*chosen);
  }
  SendIMEColors();
}

}  // namespace wendul
