#include "settings/setuplinks.h"

namespace wendul {

QObject*& MainWindowObject() {
  static QObject* main = nullptr;
  return main;
}
std::function<void(QKeyEvent*)>& MainKeyDownHook() {
  static std::function<void(QKeyEvent*)> hook;
  return hook;
}
std::function<void(QKeyEvent*)>& MainKeyUpHook() {
  static std::function<void(QKeyEvent*)> hook;
  return hook;
}
int& AdminLevelForSetup() {
  static int level = 0;
  return level;
}

}  // namespace wendul
