// Test entry for widget tests: a QApplication on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "support/test_support.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The toolkit keeps its own settings (the file dialogs' last folder) in the
  // user's configuration folder: each test run gets a fresh one, so that no
  // other run, nor a folder such as /proc left there, reaches these tests.
  wendul::test::TempDir qtConfig;
  setenv("XDG_CONFIG_HOME", qtConfig.path().c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
