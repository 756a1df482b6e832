#include "app/startup.h"

#include <QApplication>
#include <cstdio>
#include <filesystem>

#include "app/application.h"
#include "app/datamodule.h"
#include "app/fmgrep.h"
#include "app/fmmain.h"
#include "app/globals.h"
#include "app/qtui.h"
#include "app/testprobe.h"
#include "controls/inipersist.h"
#include "settings/fmsetup.h"
#include "settings/setuplinks.h"
#include "store/companion.h"
#include "store/mt.h"
#include "util/paths.h"

namespace wendul {

namespace {

const char kUsage[] =
    "usage: wendul [options] [file]\n"
    "  -N               use the debug settings file WENDUL_debug.INI (deleted at start)\n"
    "  -D[date]         log mode (administrators only), e.g. -D2001/05/03 or -D-1\n"
    "  --help           show this help\n"
    "  --version        show the version\n"
    "Options may also be written /N, /D; letters in either case.\n";

}  // namespace

void PrepareGlobals() {
  AppGlobals& g = G();
  if (MuAVOpt('N')) {
    g.settingsFileName = "WENDUL_debug.INI";
    std::error_code ec;
    std::filesystem::remove(GetWDir() + g.settingsFileName, ec);  // a debug run starts from defaults
  } else {
    g.settingsFileName = "WENDUL.INI";
  }
  g.settingsPath = GetWDir() + g.settingsFileName;
  GIniFileName() = g.settingsPath;  // where the persisted controls keep their values
  g.programFolder = DataDir();
  g.logOptionGiven = MuAVOpt('D');
  SetErrorLogBase(g.programFolder);
}

int RunWendul(int argc, char** argv) {
  MuAVParm(argc, argv);
  if (MuAVWantsHelp()) {
    std::fputs(kUsage, stdout);
    // Where the read-me and the guide are found (beside the program or installed).
    std::printf("Read-me:  %s\nGuide:    %s\n", ShippedFile("README.TXT").c_str(),
                ShippedFile("Manual.TXT").c_str());
    return 0;
  }
  if (MuAVWantsVersion()) {
    std::puts("Wendul " WENDUL_VERSION);
    return 0;
  }
  SetProgramPath(argc > 0 ? argv[0] : "");
  TApplication app(argc, argv);
  QApplication::setApplicationName("Wendul");
  QtUiHooks hooks;
  SetUiHooks(&hooks);
  PrepareGlobals();

  auto* d = new TD;
  AdminLevelForSetup() = G().adminLevel;
  auto* setup = new TfmSetup;
  fmSetup = setup;
  auto* mainWindow = new TfmMain;
  auto* grep = new TfmGrep;
  fmGrep = grep;
  // The options dialog is the principal window but is never shown at start:
  // the main window is what the user works in.
  mainWindow->show();
  StartTestProbe(mainWindow);
  const int rc = app.exec();

  delete grep;
  fmGrep = nullptr;
  delete mainWindow;
  delete setup;
  fmSetup = nullptr;
  delete d;
  SetUiHooks(nullptr);
  return rc;
}

}  // namespace wendul
