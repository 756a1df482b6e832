// What the options dialog needs to know of the rest of the program; the
// application sets these at start-up.
#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;

namespace wendul {

// The main window: its menu items receive the function-key shortcuts, its
// function-key bar the bindings, its document pane the colours and font.
QObject*& MainWindowObject();
// The main window's key-down handler; the dialog passes it every key-down.
std::function<void(QKeyEvent*)>& MainKeyDownHook();
// The main window's key-up handler, for windows that pass on their key-ups too.
std::function<void(QKeyEvent*)>& MainKeyUpHook();
// The administrator level of this run.
int& AdminLevelForSetup();

}  // namespace wendul
