// Main window: the command table, the function-key bar and its start-up
// bindings, and the key-down preview that runs the function keys.
#include <QAction>
#include <QKeyEvent>

#include "app/fmmain.h"
#include "app/globals.h"
#include "controls/funcbtn.h"
#include "controls/keypreview.h"
#include "controls/methodtable.h"
#include "controls/qsjis.h"
#include "settings/fmsetup.h"
#include "settings/mucontrols.h"
#include "settings/setuplinks.h"
#include "util/messages.h"

namespace wendul {

void TfmMain::BuildCommandTable() {
  muMethodTable1 = new TmuMethodTable(centralWidget());
  muMethodTable1->setObjectName("muMethodTable1");
  static const char* const kCommands[16] = {
      "CnAppClose",   "CnSetFocusLog",  "CnSetFocusWordDate",          "CnSetFocusWordCode",
      "CnSetFocusDate", "CnPrevDay",    "CnNextDay",                   "CnSplitKeyword_SelectString",
      "CnSplitKeyword_PrevString", "CnSeekWord", "CnFilterWord",       "CnSearchWord",
      "CnGrep",       "CnChgKeywordSort", "CnOpenMail",                "CnExecute"};
  for (int i = 0; i < 16; ++i) muMethodTable1->OnCmd[static_cast<size_t>(i)] = QString::fromLatin1(kCommands[i]);

  // Twelve buttons, never shown: button n holds the command of Fn. They are
  // made (and read their commands) when the window has been built.
  Func01 = new TFuncBtn(centralWidget());
  Func01->setObjectName("Func01");
  Func01->NBtn = 12;
  Func01->IsShift = false;
  Func01->hide();

  keyPreview_ = new KeyPreview(this, [this](QKeyEvent* e) {
    FormKeyDown(e);
    return false;  // the key goes on to the control
  });
  MainKeyDownHook() = [this](QKeyEvent* e) { FormKeyDown(e); };
  connect(this, &QObject::destroyed, [] { MainKeyDownHook() = nullptr; });
}

void TfmMain::FormKeyDown(QKeyEvent* e) {
  // The function-key step: F1 .. F12 without a modifier run their command.
  // A key that is also a menu shortcut never gets here: the menu ran it.
  Func01->DispatchFunctionKey(e->key(), e->modifiers());
}

void TfmMain::StartFunctionKeys() {
  // Defaults, each only where the settings file bound nothing to the key.
  Func01->BindDefault(1, "CnSeekWord");
  Func01->BindDefault(2, "CnChgKeywordSort");
  Func01->BindDefault(5, "CnSetFocusLog");
  Func01->BindDefault(7, "CnSplitKeyword_SelectString");
  Func01->BindDefault(8, "CnSplitKeyword_PrevString");
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
// Commands of the log mode and the search menu.

void TfmMain::CnSetFocusDate(QObject*) {
  // The date window exists only in log mode.
  if (G().logMode) PgmError("fmWordDate = nil  CnSetFocusDate");
}

void TfmMain::CnPrevDay(QObject*) {}  // moves the date window's day in log mode

void TfmMain::CnNextDay(QObject*) {}  // moves the date window's day in log mode

void TfmMain::CnSearchWord(QObject*) {
  if (miSearchWord_xx) miSearchWord_xx->trigger();
}

void TfmMain::CnGrep(QObject*) {
  if (miGrep_xx) miGrep_xx->trigger();
}

}  // namespace wendul
