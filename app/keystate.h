// The main window's keyboard state and rules, without widgets: which key
// releases act and how, given the key events in the order they arrive.
//
// A modifier (Shift, Ctrl, Alt) acts on its release only when it was pressed
// and released by itself: not with another key, not with another modifier,
// not held until it repeats and, in the document pane, not when the caret
// moved meanwhile. Tab acts on its release, whatever was typed before.
//
// An input method takes some keys before the program sees them (a capital
// letter, Left or Ctrl+I inside a composition, its own on/off key), so
// "by itself" is judged on everything known, not only the keys that arrive:
// the window system's own key events where it reports them first (X11),
// every input-method event, the mouse, and how long the key stayed down.
// While a composition is open at the press or at the release, the key is the
// input method's: no lone-key action at all, and its release is consumed (a
// release of Alt does not activate the menu bar either). Tab acts only when
// its press reached the program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace wendul {

// Key codes of the rules (the desktop's virtual-key numbers).
namespace vk {
constexpr int Tab = 9, Return = 13, Shift = 16, Control = 17, Menu = 18, Pause = 19, Escape = 27;
constexpr int Left = 37, Up = 38, Right = 39, Down = 40, Delete = 46;
constexpr int Digit0 = 48, Digit9 = 57, Numpad0 = 96, Numpad1 = 97, Numpad9 = 105;
constexpr int F1 = 112, F12 = 123, Scroll = 145;
}  // namespace vk

// Modifiers held at a key event.
enum KeyShift : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4 };

// The control that has the focus, as the rules see it.
enum class KeyPane { Doc, WordCode, WordDate, Other };

// What a release does.
enum class KeyAction {
  None,
  SeekWord,      // seek the word at the caret in the latest words
  FilterWord,    // extract the words similar to the word at the caret
  GotoWordDate,  // focus to the latest words
  GotoWordCode,  // focus to the similar words
  GotoDoc,       // focus to the document
};

// What is known of a key event beside its key: the window system's key code
// (X11: the keycode; 0 when unknown), its time in milliseconds, and whether
// it is an automatic repeat.
struct KeyStamp {
  uint32_t code = 0;
  uint32_t time = 0;
  bool repeat = false;
};

// The key-repeat delay assumed where the desktop does not tell it.
constexpr uint32_t kDefaultRepeatDelay = 500;

struct KeyUpResult {
  KeyAction action = KeyAction::None;
  // The release is consumed: always, or only when the focus is in `arriveAt`
  // once the action ran (a lone Alt that did not take the user anywhere stays
  // the platform's: its menu bar).
  bool consume = false;
  bool consumeIfArrived = false;
  KeyPane arriveAt = KeyPane::Other;
  bool Consumed(KeyPane focusAfter) const { return consume || (consumeIfArrived && focusAfter == arriveAt); }
};

class KeyState {
 public:
  // The checked button's name of an options group ("" when there is none).
  using CheckedName = std::function<std::string(const std::string& group)>;

  int KeyCount = 0;          // modifier key-downs since the last key-up
  bool CtrlAlone = false;    // the latest key-down was Ctrl by itself
  bool AltAlone = false;     // the latest key-down was Alt by itself
  bool ShiftAlone = false;   // the latest key-down was Shift by itself
  int64_t SavedSelStart = 0; // the document's caret at its latest key-down
  // A key down for this long (ms) or more is held, not pressed: the
  // desktop's key-repeat delay. Modifiers never repeat on X11, so the time
  // tells it.
  uint32_t RepeatDelay = kDefaultRepeatDelay;

  static bool IsModifierKey(int key, unsigned shift);
  static bool IsModifierAlone(int modifier, int key, unsigned shift);

  // Every key-down of every window, menu shortcuts included, first: a key
  // other than a modifier cancels that modifier's lone press.
  void HookKeyDown(int key);
  // A key-down reaching the main window, in two halves: the function keys
  // run between them. `docCaret` is the document's caret when it has the focus.
  void KeyDownCount(int key, unsigned shift, bool docFocused, int64_t docCaret, KeyStamp stamp = {});
  void KeyDownAlone(int key, unsigned shift);
  // A key-up reaching the main window: what it does in the focused pane.
  // An auto-repeat release (X11 reports a held key as release/press pairs,
  // both halves marked as repeats) is no release: it neither counts nor acts.
  KeyUpResult KeyUp(int key, unsigned shift, bool autoRepeat, KeyPane focus, int64_t docCaret,
                    const CheckedName& checked, KeyStamp stamp = {});

  // Every key press and release of the program's windows as the window
  // system reports it, before an input method takes any (X11). Once this
  // feed has spoken, a lone key must also have been alone here: pressed
  // while no other key was watched, nothing pressed or released until its
  // own release, and released before the repeat delay.
  void NativeKey(bool press, KeyStamp stamp);
  // Every input-method event: whether it commits text and whether a
  // pre-edit is open after it. One that commits or touches a pre-edit
  // cancels the lone key in progress.
  void InputMethodEvent(bool commits, bool preeditOpen);
  bool Composing() const { return composing_; }
  // A mouse button or the wheel was used: the key held down is not alone.
  void PointerUsed();

 private:
  // One press being followed to its release.
  struct Press {
    int key = 0;        // the rules' key code (presses reaching the program)
    uint32_t code = 0;  // the window system's key code
    uint32_t time = 0;
    bool active = false;
    bool alone = false;
    bool composing = false;  // a composition was open at the press
  };
  // Whether a composition was open at the press of the key released now or
  // is open at its release.
  bool Composed(int key, KeyStamp stamp) const;
  // Whether the key released now was pressed and released by itself, as far
  // as anything tells; forgets the press.
  bool TakeLone(int key, KeyStamp stamp);
  KeyUpResult DocKeyUp(int key, unsigned shift, bool lone, const CheckedName& checked) const;
  KeyUpResult WordKeyUp(int key, KeyPane pane, bool lone, const CheckedName& checked) const;

  Press press_;     // the latest key-down that reached the program
  Press watch_;     // native: the key watched from its press
  Press released_;  // native: the watched key once released, until the program's release comes
  KeyStamp lastNativeRelease_;
  bool native_ = false;
  bool composing_ = false;
};

}  // namespace wendul
