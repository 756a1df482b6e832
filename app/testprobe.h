// For the end-to-end tests that drive the real window through an input
// method: with WENDUL_TEST_STATE naming a file, the main window's state
// (focused pane, caret, selection, pre-edit and text) is written there
// whenever it changes, so a driver outside the process can wait for it.
#pragma once

namespace wendul {

class TfmMain;

// Does nothing unless WENDUL_TEST_STATE is set.
void StartTestProbe(TfmMain* main);

}  // namespace wendul
