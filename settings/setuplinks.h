// What the options dialog needs to know of the rest of the program; the
// application sets these at start-up.
#pragma once

#include <QObject>
#include <functional>

namespace wendul {

// The main window, whose menu items receive the function-key shortcuts.
QObject*& MainWindowObject();
// Passes the four input-method colour pairs to the document pane.
std::function<void()>& SendIMEColorsHook();
// The administrator level of this run.
int& AdminLevelForSetup();

}  // namespace wendul
