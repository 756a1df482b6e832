// The main window's keyboard state and rules, without widgets: which key
// releases act and how, given the key events in the order they arrive.
//
// A modifier (Shift, Ctrl, Alt) acts on its release only when it was pressed
// and released by itself: not with another key, not with another modifier,
// not held until it repeats and, in the document pane, not when the caret
// moved meanwhile. Tab acts on its release, whatever was typed before.
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

  static bool IsModifierKey(int key, unsigned shift);
  static bool IsModifierAlone(int modifier, int key, unsigned shift);

  // Every key-down of every window, menu shortcuts included, first: a key
  // other than a modifier cancels that modifier's lone press.
  void HookKeyDown(int key);
  // A key-down reaching the main window, in two halves: the function keys
  // run between them. `docCaret` is the document's caret when it has the focus.
  void KeyDownCount(int key, unsigned shift, bool docFocused, int64_t docCaret);
  void KeyDownAlone(int key, unsigned shift);
  // A key-up reaching the main window: what it does in the focused pane.
  // An auto-repeat release (X11 reports a held key as release/press pairs,
  // both halves marked as repeats) is no release: it neither counts nor acts.
  KeyUpResult KeyUp(int key, unsigned shift, bool autoRepeat, KeyPane focus, int64_t docCaret,
                    const CheckedName& checked);

 private:
  KeyUpResult DocKeyUp(int key, unsigned shift, const CheckedName& checked) const;
  KeyUpResult WordKeyUp(int key, KeyPane pane, const CheckedName& checked) const;
};

}  // namespace wendul
