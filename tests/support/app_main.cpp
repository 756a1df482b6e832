// Test entry for the application's tests: the program's own application
// object on the offscreen platform, so errors escaping a handler are caught as
// in the program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/application.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // Qt keeps settings of its own (the file dialogs' last folder) in the
  // config folder: a fresh one, so no desktop's history reaches the tests.
  char config[] = "/tmp/wendul-qtconfig-XXXXXX";
  if (mkdtemp(config)) setenv("XDG_CONFIG_HOME", config, 1);
  wendul::TApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  const int rc = RUN_ALL_TESTS();
  std::error_code ec;
  std::filesystem::remove_all(config, ec);
  return rc;
}
