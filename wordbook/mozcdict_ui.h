// The words Wendul learned, offered to the desktop's input method: the word
// table written as a Mozc user dictionary (which Mozc's dictionary tool
// imports, for IBus and Fcitx5 alike), and such a dictionary's words read
// into the table.
#pragma once

#include <QDialog>
#include <functional>

#include "wordbook/mozcdict.h"

class QCheckBox;
class QFileDialog;
class QPushButton;
class QRadioButton;

namespace wendul {

class MT;
class TmuDateEdit;

// The choice before an export: every word, or those registered since a
// date; and whether words of Latin letters and digits alone go too. The
// choice is kept in the settings file; the date offered is that of the last
// export, so that the next one can carry the words learned since.
class TfmMozcExport : public QDialog {
  Q_OBJECT

 public:
  explicit TfmMozcExport(QWidget* parent = nullptr);

  QRadioButton* rbAll = nullptr;
  QRadioButton* rbSince = nullptr;
  TmuDateEdit* edSince = nullptr;
  QCheckBox* cbxLatinDigits = nullptr;
  QPushButton* btOK = nullptr;
  QPushButton* btCancel = nullptr;

  MozcExportChoice Choice();
  // Keeps the choice, with today as the date of the last export.
  void Remember();
};

// How the flows ask the user: the window that owns their dialogs, and the
// ways to run them (tests answer them).
struct MozcDictDialogs {
  QWidget* owner = nullptr;
  std::function<QString(QFileDialog*)> runFileDialog;  // the chosen file, "" when cancelled
  std::function<bool(QDialog*)> runDialog;             // true when accepted
};

// Asks what to export and where, then writes the dictionary with progress
// and cancel, and says what it wrote and left out, and how Mozc takes it in.
void ExportMozcDictionary(const MozcDictDialogs& ui, MT& table);
// Asks for a Mozc user dictionary and adds its words to the table, all or
// nothing, with progress and cancel. True when words were added (other views
// of the table then read it anew).
bool ImportMozcDictionary(const MozcDictDialogs& ui, MT& table);

}  // namespace wendul
