// The options dialog: the settings store of the running program. Other
// windows read its controls at the moment they need an option; the
// persisted ones reach the settings file when the dialog is destroyed.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

#include "controls/mubuttons.h"
#include "settings/keyhelp.h"
#include "settings/mucontrols.h"
#include "settings/muedit.h"

class QPlainTextEdit;

namespace wendul {

class KeyPreview;
class TPageControl;
class TmuPanel;

class TfmSetup : public QWidget {
  Q_OBJECT
 public:
  explicit TfmSetup(QWidget* parent = nullptr);
  ~TfmSetup() override;

  // --- pages (in tab order) ------------------------------------------------
  TPageControl* PageControl1 = nullptr;
  QWidget* tsMainDoc = nullptr;
  QWidget* tsMainKWD2 = nullptr;
  QWidget* tsMainKWD = nullptr;
  QWidget* tsShortCut = nullptr;
  QWidget* tsIME = nullptr;
  QWidget* tsPublic = nullptr;

  // --- options read by other windows ---------------------------------------
  // The radio groups ("gbox_..."), in component order.
  std::vector<TmuGroupBox*> groups;
  TmuGroupBox* FindGroup(const QString& name) const;
  TmuEdit* ed_mmDoc_FontSize = nullptr;
  TmuEdit* ed_WordCode_NLineDown = nullptr;
  TmuEdit* ed_WordCode_NLineUp = nullptr;
  TmuEdit* ed_WordDate_NLineDown = nullptr;
  TmuEdit* ed_WordDate_NLineUp = nullptr;
  TmuCheckBox* cbxIsIMEOn = nullptr;
  TmuCheckBox* cbxIsShowShortCutKeyHelp = nullptr;
  // The encoding of new documents and day files: an index of CodecChoices()
  // (util/doccodec.h), Shift-JIS at first.
  TmuComboBox* cmbxNewDocEncoding = nullptr;
  TmuPanel* pnIMEColorInput = nullptr;
  TmuPanel* pnIMEColorChange01 = nullptr;
  TmuPanel* pnIMEColorChange02 = nullptr;
  TmuPanel* pnIMEColorSelect = nullptr;
  // The function-key lists ("cmbx" + command name without "Cn"), the
  // shortcut page's nine and then the administrator's six, in component order.
  std::vector<TmuComboBox*> keyLists;
  TmuComboBox* FindKeyList(const QString& name) const;
  TmuButton* btClose = nullptr;

  // --- administrator's strip ------------------------------------------------
  QWidget* pnAdmin = nullptr;
  TmuButton* btTest = nullptr;
  QPlainTextEdit* mmTest = nullptr;
  TmuEdit* muEdit1 = nullptr;
  TmuCheckBox* cbxIsSplitAllChar = nullptr;

  // Key help: [pane][action] -> keys, and the texts per pane (0 document,
  // 1 latest words, 2 similar words).
  KeyHelpTableT KeyHelpTable{};
  std::array<QString, 3> KeyHelpText;
  // Rebuilds both from the checked radio buttons; a group child that is not
  // a TmuRadioButton_Wendul raises "<group> is not TmuRadioButton_Wendul ".
  void BuildKeyHelp();
  // The administrator's terse form (btTest).
  void BuildKeyHelpTest();
  // Gives the main window's menu items of the listed commands their shortcuts.
  void ApplyMenuShortcuts();
  // Passes the four input-method colour pairs to the document pane.
  void SendIMEColors();
  // The document pane's font size from ed_mmDoc_FontSize (once the main
  // window exists; the main window calls it at start-up as well).
  void ApplyFontSize();
  // Shows the dialog in front (stay-on-top with admin level 0).
  void ShowSetup();
  // "閉じる": menu shortcuts, key help, hide.
  void btCloseClick();

  // Shortcut lists: clear, "（なし）", F01 .. F12, select IniIndex.
  static void FillKeyList(TmuComboBox* list);
  // Another list showing the same key goes to "（なし）" (the first found).
  void RemoveDuplicateKey(TmuComboBox* list);
  // A list lost the focus: binds, moves or frees its key.
  void KeyListExit(TmuComboBox* list);
  // A "選択" button of the input-method page.
  void IMEColorButtonClick(TmuButton* button);

 private:
  void BuildPages();
  void BuildAdminStrip();
  TmuComboBox* AddKeyList(QWidget* parent, const char* name, const char* label, QRect geometry);
  void BuildKeyHelpTable(bool countNone);

  std::unique_ptr<KeyPreview> preview_;
};

extern TfmSetup* fmSetup;

}  // namespace wendul
