// Test entry for the application's tests: the program's own application
// object on the offscreen platform, so errors escaping a handler are caught as
// in the program.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/application.h"
#include "support/test_support.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The toolkit keeps its own settings (the file dialogs' last folder) in the
  // user's configuration folder: each test run gets a fresh one, so that no
  // other run, nor a folder such as /proc left there, reaches these tests.
  wendul::test::TempDir qtConfig;
  setenv("XDG_CONFIG_HOME", qtConfig.path().c_str(), 1);
  wendul::TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
