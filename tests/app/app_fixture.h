// A whole program in a temporary home: settings, tables, the data module,
// the options dialog and the main window, as start-up builds them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "app/datamodule.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/startup.h"
#include "controls/mudbgrid.h"
#include "controls/murichedit.h"
#include "settings/fmsetup.h"
#include "store/companion.h"
#include "support/test_support.h"
#include "util/inifile.h"
#include "util/paths.h"

namespace wendul::test {

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Sets the command line, prepares globals and builds D, fmSetup, fmMain.
  void Start(std::vector<std::string> args = {});
  void Stop();
  // Writes a value into the settings file before Start().
  void Setting(const char* section, const char* key, const std::string& value);

  // Types UTF-8 text into the document at the caret, one character per key event.
  void Type(const QString& text);
  void TypeUtf8(const char* utf8) { Type(QString::fromUtf8(utf8)); }
  void Backspace(int n = 1);
  // Stores a word as if learned at the given time (days).
  void StoreWord(const char* utf8, double updateDate);
  bool HasWord(const char* utf8);
  double UpdateDate(const char* utf8);
  // Words of a table view in its current order and filter.
  std::vector<std::string> Words(MT& view);
  void Settle() { QApplication::processEvents(); }
  // Runs one test of this program ("Suite.Name") in a child process with
  // this home as WENDUL_CHILD_HOME; true when the child was killed (SIGKILL).
  bool RunKilledChild(const char* test);

  std::unique_ptr<TempDir> home;
  std::unique_ptr<RecordingUi> ui;
  TD* d = nullptr;
  TfmSetup* setup = nullptr;
  TfmMain* main = nullptr;
};

}  // namespace wendul::test
