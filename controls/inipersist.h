// Controls that keep their value in the settings file. A persisted control
// (IsIni set) reads its value once after its window is built and writes it
// once when the window goes away: section = the owner form's object name,
// key = the control's object name. Options act while the program runs
// because other windows read the controls themselves; the file only sees
// them at start and at shutdown.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "util/inifile.h"
#include "util/wtypes.h"

class QObject;
class QWidget;

namespace wendul {

// Path of the settings file; the program entry sets it before any window exists.
std::string& GIniFileName();
// The program's file name without extension + ".INI": what a persisted
// control falls back to when nobody set the file name.
std::string DefaultIniFileName();

// The form that owns a control: the nearest window above it (the control
// itself when it is a window).
QWidget* OwnerForm(const QObject* control);

// Reads section = owner form's name, key = control's name. Raises
// "err ReadIni GIniFileName=''" or "err ReadIni obj.Owner.Name=''" (file name
// first); a file that cannot be read yields def.
SjisString ReadIni(const QObject* control, const SjisString& def);
// Writes one value at once. Raises "err WriteIni Owner.Name=\"\" " or
// "err WriteIni GIniFileName=\"\" " + owner name (owner first); a failure of
// the file itself is reported once per run (ReportIniWriteFailure).
void WriteIni(const QObject* control, const SjisString& value);

// One value a control stores at shutdown.
using IniEntry = IniFile::Entry;

// A control with a step of its own once its form has built it (Delphi's
// "Loaded"): spin buttons and labels, function-key buttons, persisted values.
class LoadedControl {
 public:
  virtual ~LoadedControl() = default;
  // Runs the step once; later calls do nothing.
  void RunLoaded();
  bool IsLoaded() const { return loadedRun_; }

 protected:
  virtual void Loaded() = 0;

 private:
  bool loadedRun_ = false;
};

// What every persisted control class implements. Its loaded step reads the
// value when IsIni is set; its store step gives the values to write, once.
class IniPersisted : public LoadedControl {
 public:
  bool IsIni = false;
  QString VName;

  // Appends this control's values when IsIni is set and it has not stored yet.
  void CollectIni(std::vector<IniEntry>& out);
  bool IniStored() const { return stored_; }

 protected:
  // Reads the value (when IsIni is set); classes with more to do at load
  // override it and call LoadIni themselves.
  void Loaded() override { LoadIni(); }
  void LoadIni();
  virtual void DoLoadIni() = 0;
  virtual void DoStoreIni(std::vector<IniEntry>& out) = 0;
  // The control as a QObject (for its name and owner).
  virtual const QObject* IniObject() const = 0;
  // section = owner form's name, key = control's name (+ suffix).
  IniEntry Entry(const SjisString& value, const char* keySuffix = "") const;
  // Stores this control alone: a class's destructor calls it for a control
  // whose window goes away without its form's store.
  void StoreAlone();

 private:
  bool stored_ = false;
};

// Runs the loaded step of every control among form's descendants (and of
// form itself), in creation order. A form calls it once, at the end of
// building itself.
void LoadIniControls(QWidget* form);
// Stores every persisted control among form's descendants that has not
// stored yet, in one write of the file. A form calls it as it is destroyed,
// while its controls still exist. Returns false when the file could not be
// written (the user has been told once).
bool StoreIniControls(QWidget* form);

// Tells the user once per run that the settings file could not be written
// (the file itself stays as it was); later failures stay quiet.
void ReportIniWriteFailure(const std::exception& e);
// Tests start a fresh run.
void ResetIniWriteFailureReport();

}  // namespace wendul
