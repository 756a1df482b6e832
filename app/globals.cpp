#include "app/globals.h"

namespace wendul {

AppGlobals& G() {
  static AppGlobals globals;
  return globals;
}

}  // namespace wendul
