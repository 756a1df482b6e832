// Enter presses the focused push button in every window of the program, as
// Space does and as the desktops its users know do. The toolkit lets Enter
// press a button only inside a dialog; most windows here are plain windows.
#pragma once

class QApplication;

namespace wendul {

// Installs the one application-wide rule. Keys that a window gives Enter a
// meaning of its own (the word panes, the document) never reach a button, so
// they keep it; a window's key preview sees Enter before the button does.
void InstallEnterPressesButtons(QApplication* app);

}  // namespace wendul
