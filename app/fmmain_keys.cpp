// Main window: the command table, the function-key bar and its start-up
// bindings, and the keyboard dispatch: a modifier, Tab or Esc pressed and
// released by itself moves between the document and the word panes, the word
// panes' own keys, and the key help of the focused pane.
#include <QAction>
#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <cmath>
#include <iterator>

#include "app/application.h"
#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/x11keys.h"
#include "controls/funcbtn.h"
#include "controls/keypreview.h"
#include "controls/methodtable.h"
#include "controls/mudbgrid.h"
#include "controls/murichedit.h"
#include "controls/qsjis.h"
#include "settings/fmsetup.h"
#include "settings/mucontrols.h"
#include "settings/setuplinks.h"
#include "util/messages.h"

namespace wendul {

namespace {

// The key as the rules number it; 0 for a key they never name.
int VirtualKey(const QKeyEvent* e) {
  const int k = e->key();
  if (k >= Qt::Key_0 && k <= Qt::Key_9)
    return (e->modifiers() & Qt::KeypadModifier) ? vk::Numpad0 + (k - Qt::Key_0) : vk::Digit0 + (k - Qt::Key_0);
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return 'A' + (k - Qt::Key_A);
  if (k >= Qt::Key_F1 && k <= Qt::Key_F12) return vk::F1 + (k - Qt::Key_F1);
  switch (k) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return vk::Tab;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Return;
    case Qt::Key_Shift: return vk::Shift;
    case Qt::Key_Control: return vk::Control;
    case Qt::Key_Alt: return vk::Menu;
    case Qt::Key_Pause: return vk::Pause;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_Left: return vk::Left;
    case Qt::Key_Up: return vk::Up;
    case Qt::Key_Right: return vk::Right;
    case Qt::Key_Down: return vk::Down;
    case Qt::Key_Delete: return vk::Delete;
    case Qt::Key_ScrollLock: return vk::Scroll;
    default: return 0;
  }
}

// The modifiers held. A modifier's own press counts it as held (X11 already
// reports it so; other platforms report the state before the press).
unsigned ShiftState(const QKeyEvent* e) {
  const Qt::KeyboardModifiers m = e->modifiers();
  unsigned s = (m & Qt::ShiftModifier ? ssShift : 0u) | (m & Qt::AltModifier ? ssAlt : 0u) |
               (m & Qt::ControlModifier ? ssCtrl : 0u);
  if (e->type() == QEvent::KeyPress) {
    switch (e->key()) {
      case Qt::Key_Shift: s |= ssShift; break;
      case Qt::Key_Alt: s |= ssAlt; break;
      case Qt::Key_Control: s |= ssCtrl; break;
      default: break;
    }
  }
  return s;
}

KeyStamp Stamp(const QKeyEvent* e) {
  return {e->nativeScanCode(), static_cast<uint32_t>(e->timestamp()), e->isAutoRepeat()};
}

std::string CheckedNameOf(const std::string& group) {
  TmuGroupBox* g = fmSetup ? fmSetup->FindGroup(QString::fromStdString(group)) : nullptr;
  return g ? g->CheckedName.toStdString() : std::string();
}

// A row count of the options: the field's number without its fraction,
// within the field's own range (a count typed past it moves as far as the
// field allows, never reading thousands of rows for one key).
int RowCount(const TmuEdit* field) {
  if (!field) return 0;
  const double v = std::trunc(field->Val());
  return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(std::max(field->Max, 0))));
}

SjisString J(const char* utf8) { return FromQ(QString::fromUtf8(utf8)); }

// Runs a key handler; an error escaping it is shown by the standard display,
// and the key counts as consumed.
template <typename Fn>
bool Guarded(Fn fn) {
  try {
    return fn();
  } catch (const std::exception& e) {
    ShowException(&e);
  } catch (...) {
    ShowException(nullptr);
  }
  return true;
}

// Every key-down of every window of the program, before anything else sees
// it, and also the keys that become menu shortcuts and never arrive as a
// key-down (Ctrl+C): a key other than a modifier cancels its lone press.
// So do the input method's events and the mouse.
class KeyHook : public QObject {
 public:
  explicit KeyHook(TfmMain* main) : QObject(main), main_(main) { qApp->installEventFilter(this); }
  ~KeyHook() override {
    if (qApp) qApp->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::ShortcutOverride:
        main_->Keys.HookKeyDown(VirtualKey(static_cast<QKeyEvent*>(e)));
        break;
      case QEvent::InputMethod: {
        const auto* im = static_cast<QInputMethodEvent*>(e);
        main_->Keys.InputMethodEvent(!im->commitString().isEmpty(), !im->preeditString().isEmpty());
        break;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
        main_->Keys.PointerUsed();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  TfmMain* main_;
};

}  // namespace

void TfmMain::BuildCommandTable() {
  muMethodTable1 = new TmuMethodTable(centralWidget());
  muMethodTable1->setObjectName("muMethodTable1");
  static const char* const kCommands[] = {
      "CnAppClose",   "CnSetFocusLog",  "CnSetFocusWordDate",          "CnSetFocusWordCode",
      "CnSetFocusDate", "CnPrevDay",    "CnNextDay",                   "CnSplitKeyword_SelectString",
      "CnSplitKeyword_PrevString", "CnSeekWord", "CnFilterWord",       "CnSearchWord",
      "CnGrep",       "CnChgKeywordSort", "CnOpenMail",                "CnExecute",
      "CnExportMozcDict", "CnImportMozcDict"};
  static_assert(std::size(kCommands) <= 24);
  for (size_t i = 0; i < std::size(kCommands); ++i) muMethodTable1->OnCmd[i] = QString::fromLatin1(kCommands[i]);

  // Twelve buttons, never shown: button n holds the command of Fn. They are
  // made (and read their commands) when the window has been built.
  Func01 = new TFuncBtn(centralWidget());
  Func01->setObjectName("Func01");
  Func01->NBtn = 12;
  Func01->IsShift = false;
  Func01->hide();

  Keys = KeyState{};
  WatchNativeKeys(this, &Keys);
  new KeyHook(this);
  keyPreview_ = new KeyPreview(
      this, [this](QKeyEvent* e) { return Guarded([&] { return PreviewKeyDown(e); }); },
      [this](QKeyEvent* e) { return Guarded([&] { return FormKeyUp(e); }); });
  // The options dialog passes on its key-downs, the date window its key-downs and key-ups.
  MainKeyDownHook() = [this](QKeyEvent* e) { Guarded([&] { FormKeyDown(e); return true; }); };
  MainKeyUpHook() = [this](QKeyEvent* e) { Guarded([&] { return FormKeyUp(e); }); };
  connect(this, &QObject::destroyed, [] {
    MainKeyDownHook() = nullptr;
    MainKeyUpHook() = nullptr;
  });
}

// ---------------------------------------------------------------------------
// Keyboard dispatch

KeyPane TfmMain::FocusedPane() const {
  if (mmDoc->hasFocus()) return KeyPane::Doc;
  if (mgWordCode->hasFocus()) return KeyPane::WordCode;
  if (mgWordDate->hasFocus()) return KeyPane::WordDate;
  return KeyPane::Other;
}

// The caret as the caret-moved test compares it: the editor's own position,
// which costs nothing however long the line (the byte position is not needed
// to tell that it moved).
int64_t TfmMain::DocCaret() const { return mmDoc->textCursor().selectionStart(); }

void TfmMain::FormKeyDown(QKeyEvent* e) {
  const int key = VirtualKey(e);
  const unsigned shift = ShiftState(e);
  const bool doc = mmDoc->hasFocus();
  Keys.KeyDownCount(key, shift, doc, doc ? DocCaret() : 0, Stamp(e));
  // The function-key step: F1 .. F12 without a modifier run their command.
  // A key that is also a menu shortcut never gets here: the menu ran it.
  Func01->DispatchFunctionKey(e->key(), e->modifiers());
  Keys.KeyDownAlone(key, shift);
}

bool TfmMain::PreviewKeyDown(QKeyEvent* e) {
  FormKeyDown(e);
  // Then the focused control's own key-down, before the control.
  if (mmDoc->hasFocus()) {
    if (mmDocKeyDown(e)) return true;
  } else if (mgWordDate->hasFocus() || mgWordCode->hasFocus()) {
    if (mgMuKwdKeyDown(mgWordDate->hasFocus() ? mgWordDate : mgWordCode, e)) return true;
  } else {
    return false;
  }
  // Tab acts on its release. Where it takes the user somewhere (and in the
  // word panes, where it either goes back or stays) its press neither types
  // a tab nor moves the focus along the window; with "何もしません" in the
  // document it types a tab as an editor does.
  if (VirtualKey(e) != vk::Tab) return false;
  if (!mmDoc->hasFocus()) return true;
  const std::string tab = CheckedNameOf("gbox_mmDoc_KeyDown_Tab");
  return tab == "rb_mmDoc_KeyDown_Tab_Goto_WordDate" || tab == "rb_mmDoc_KeyDown_Tab_Goto_WordCode";
}

bool TfmMain::FormKeyUp(QKeyEvent* e) {
  const KeyPane pane = FocusedPane();
  const KeyUpResult r = Keys.KeyUp(VirtualKey(e), ShiftState(e), e->isAutoRepeat(), pane,
                                   pane == KeyPane::Doc ? DocCaret() : 0, CheckedNameOf, Stamp(e));
  switch (r.action) {
    case KeyAction::None: break;
    case KeyAction::SeekWord: CnSeekWord(mgWordDate); break;
    case KeyAction::FilterWord: CnSeekWord(mgWordCode); break;
    case KeyAction::GotoWordDate: CnSetFocusWordDate(nullptr); break;
    case KeyAction::GotoWordCode: CnSetFocusWordCode(nullptr); break;
    case KeyAction::GotoDoc: CnSetFocusLog(nullptr); break;
  }
  return r.Consumed(FocusedPane());
}

bool TfmMain::mmDocKeyDown(QKeyEvent* e) {
  const int key = VirtualKey(e);
  const bool digit = (key >= vk::Digit0 && key <= vk::Digit9) || (key >= vk::Numpad1 && key <= vk::Numpad9);
  if (!(e->modifiers() & Qt::AltModifier) || !digit) return false;
  PgmError("now stop RtvKeyword");  // consumed; shown by the standard error display
}

bool TfmMain::mgMuKwdKeyDown(QObject* sender, QKeyEvent* e) {
  if (sender != mgWordDate && sender != mgWordCode) PgmError("TfmMain.mgMuKwdKeyDown");
  if (!D) return false;
  auto* grid = static_cast<TmuDBGrid*>(sender);
  const bool latest = sender == mgWordDate;
  MT& view = latest ? D->tbMuKwd : D->tbMuKwd2;
  MT& other = latest ? D->tbMuKwd2 : D->tbMuKwd;
  const TmuEdit* up = fmSetup ? (latest ? fmSetup->ed_WordDate_NLineUp : fmSetup->ed_WordCode_NLineUp) : nullptr;
  const TmuEdit* down = fmSetup ? (latest ? fmSetup->ed_WordDate_NLineDown : fmSetup->ed_WordCode_NLineDown) : nullptr;
  switch (VirtualKey(e)) {
    case vk::Escape:
      return true;  // its release does the rest
    case vk::Return:
      mgMuKwdDblClick(sender);
      return true;
    case vk::Delete:
      DeleteWord(view, other);
      return true;
    case vk::Left:
      grid->MoveBy(-RowCount(up));
      return true;
    case vk::Right:
      grid->MoveBy(RowCount(down));
      return true;
    case vk::Pause:
    case vk::Scroll:
      ToggleKeywordOrder(view, true);
      return true;
    default:
      return false;  // the grid's own: Up and Down move one row
  }
}

// The pane's current word leaves the word table at once, without a question,
// and the other pane drops it too.
void TfmMain::DeleteWord(MT& view, MT& other) {
  try {
    view.Delete();
  } catch (const std::exception& e) {
    if (IsRecordChanged(e)) {
      // Its id holds another word now, or it is gone: nothing is deleted.
      ErrMsgBox(J("この単語はほかで変更または削除されています。削除しませんでした。"));
      for (MT* t : {&view, &other}) {
        try {
          t->Refresh();
        } catch (const std::exception&) {
        }
      }
      return;
    }
    const bool empty = view.Active() && view.GetBookmark() == 0;
    if (!empty) view.LogFailure(e, "TfmMain.mgMuKwdKeyDown");
    ErrMsgBox(J("単語を削除できませんでした。") + "\r\n" +
              (IsLockError(e) ? J("単語の表は他のプログラムが書き込み中です。しばらくしてからもう一度お試しください。")
                              : SjisString(e.what())));
    return;
  }
  try {
    other.Refresh();
  } catch (const std::exception&) {
    // The other pane shows the word until it reads its rows again.
  }
}

void TfmMain::StartFunctionKeys() {
  // Defaults, each only where the settings file bound nothing to the key.
  Func01->BindDefault(1, "CnSeekWord");
  Func01->BindDefault(2, "CnChgKeywordSort");
  Func01->BindDefault(5, "CnSetFocusLog");
  Func01->BindDefault(7, "CnSplitKeyword_SelectString");
  Func01->BindDefault(8, "CnSplitKeyword_PrevString");
  Func01->BindDefault(11, "CnExportMozcDict");
  Func01->BindDefault(12, "CnAppClose");
  // F10 runs nothing unless the user bound it; the platform's F10 stays.
  Func01->SetButton(10, QString(), QString());
  try {
    SetupProcParam();
  } catch (const std::exception& e) {
    // A command bound by hand in the settings file that has no list: said,
    // and the start-up goes on with the other keys.
    ErrMsgBox(e.what());
  }
  if (fmSetup) fmSetup->ApplyMenuShortcuts();
}

void TfmMain::SetupProcParam() {
  if (!fmSetup) return;
  SjisString missing;
  for (int n = 1; n <= 12; ++n) {
    TmuSpeedButton* b = Func01->Button(n);
    if (!b || !b->OnClick() || b->CommandName.isEmpty()) continue;
    const QString listName = "cmbx" + b->CommandName.mid(2);
    QComboBox* list = fmSetup->FindKeyList(listName);
    if (!list) {
      if (missing.empty()) missing = "SetupProcParam() not find Component :" + FromQ(listName);
      continue;
    }
    list->setCurrentIndex(n);  // in key order: the last key of a command wins
  }
  if (!missing.empty()) PgmError(missing);
}

// ---------------------------------------------------------------------------
// The day commands are in fmmain_daylog.cpp, the search commands in fmmain_search.cpp.

}  // namespace wendul
