// The keyboard as the X server reports it, before any input method: an
// input method takes some keys inside a composition (and its own on/off
// key) before the program sees them, and only the connection tells that
// they were pressed at all.
#pragma once

class QObject;

namespace wendul {

class KeyState;

// Feeds every key press and release of the program's X11 connection to
// `keys` and sets its repeat delay from the server's keyboard controls.
// Does nothing on other platforms, or in a build without xcb; the filter
// lives as long as `owner`.
void WatchNativeKeys(QObject* owner, KeyState* keys);

}  // namespace wendul
