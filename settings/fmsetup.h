// The options dialog: the settings store of the running program. Other
// windows read its controls at the moment they need an option.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QWidget>
#include <array>
#include <vector>

namespace wendul {

class TfmSetup : public QWidget {
  Q_OBJECT
 public:
  explicit TfmSetup(QWidget* parent = nullptr);

  QCheckBox* cbxIsIMEOn = nullptr;
  QCheckBox* cbxIsShowShortCutKeyHelp = nullptr;
  // The function-key lists ("cmbx" + command name without "Cn"), in component order.
  std::vector<QComboBox*> keyLists;
  QComboBox* FindKeyList(const QString& name) const;

  // Key-help texts per pane: 0 document, 1 latest words, 2 similar words.
  std::array<QString, 3> KeyHelpText;
  void BuildKeyHelp();
  // Gives the main window's menu items of the listed commands their shortcuts.
  void ApplyMenuShortcuts();
  // Passes the input-method colours to the document pane.
  void SendIMEColors();
  // Shows the dialog in front (stay-on-top with admin level 0).
  void ShowSetup();

 private:
  QComboBox* AddKeyList(const char* name);
};

extern TfmSetup* fmSetup;

}  // namespace wendul
