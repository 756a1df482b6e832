// The key rules without windows: events in the order the platform delivers
// them, with the options dialog's defaults unless a test changes one.
#include <gtest/gtest.h>

#include <map>

#include "app/keystate.h"

namespace wendul::test {
namespace {

struct Keys {
  std::map<std::string, std::string> options;
  KeyState s;
  KeyPane pane = KeyPane::Doc;
  int64_t caret = 10;
  static unsigned Bit(int k) { return k == vk::Shift ? ssShift : k == vk::Control ? ssCtrl : k == vk::Menu ? ssAlt : 0u; }
  // `held`: the modifiers already down; a modifier's own press adds itself.
  void Down(int key, unsigned held = 0) {
    s.HookKeyDown(key);
    s.KeyDownCount(key, held | Bit(key), pane == KeyPane::Doc, caret);
    s.KeyDownAlone(key, held | Bit(key));
  }
  KeyUpResult Up(int key, bool repeat = false) {
    return s.KeyUp(key, 0, repeat, pane, caret, [this](const std::string& g) { return options[g]; });
  }
  // With what the window system tells: its key code and the time.
  void Down(int key, KeyStamp st) {
    s.HookKeyDown(key);
    s.KeyDownCount(key, Bit(key), pane == KeyPane::Doc, caret, st);
    s.KeyDownAlone(key, Bit(key));
  }
  KeyUpResult Release(int key, KeyStamp st) {
    return s.KeyUp(key, 0, false, pane, caret, [this](const std::string& g) { return options[g]; }, st);
  }
  KeyAction Up(int key, KeyStamp st) { return Release(key, st).action; }
  // The X server's press and release of a key code at times in ms.
  void Native(uint32_t code, uint32_t down, uint32_t up) {
    s.NativeKey(true, {code, down});
    s.NativeKey(false, {code, up});
  }
  KeyAction Alone(int key) {
    Down(key);
    return Up(key).action;
  }
};

TEST(KeyStateTest, AModifierActsOnlyWhenPressedAndReleasedByItself) {
  Keys k;
  k.options["gbox_mmDoc_KeyDown_Ctrl"] = "rb_mmDoc_KeyDown_Ctrl_SeekWord";
  k.options["gbox_mmDoc_KeyDown_Tab"] = "rb_mmDoc_KeyDown_Tab_Goto_WordCode";
  EXPECT_EQ(k.Alone(vk::Control), KeyAction::SeekWord);
  // With another key, a menu shortcut only the hook saw included.
  k.Down(vk::Control);
  k.s.HookKeyDown('C');
  EXPECT_EQ(k.Up(vk::Control).action, KeyAction::None);
  // Held until it repeats: repeated presses, or X11 pairs with both halves marked.
  k.Down(vk::Control);
  k.Down(vk::Control, ssCtrl);
  EXPECT_EQ(k.Up(vk::Control).action, KeyAction::None);
  k.Down(vk::Control);
  EXPECT_EQ(k.Up(vk::Control, true).action, KeyAction::None);
  k.Down(vk::Control, ssCtrl);
  EXPECT_EQ(k.Up(vk::Control).action, KeyAction::None);
  // The caret moved meanwhile: nothing, except for Tab.
  k.Down(vk::Control);
  ++k.caret;
  KeyUpResult r = k.Up(vk::Control);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_FALSE(r.consume);
  k.Down(vk::Tab);
  ++k.caret;
  EXPECT_EQ(k.Up(vk::Tab).action, KeyAction::GotoWordCode);
  EXPECT_EQ(k.Alone(vk::Control), KeyAction::SeekWord);

  // Every choice; a name no button has does nothing.
  const std::pair<const char*, KeyAction> choices[] = {
      {"SeekWord", KeyAction::SeekWord},           {"FilterWord", KeyAction::FilterWord},
      {"Goto_WordDate", KeyAction::GotoWordDate},  {"Goto_WordCode", KeyAction::GotoWordCode},
      {"None", KeyAction::None},                   {"Bogus", KeyAction::None}};
  for (const auto& [suffix, action] : choices) {
    k.options["gbox_mmDoc_KeyDown_Alt"] = std::string("rb_mmDoc_KeyDown_Alt_") + suffix;
    k.Down(vk::Menu);
    r = k.Up(vk::Menu);
    EXPECT_EQ(r.action, action) << suffix;
    // Alt is consumed only once it took the user where it goes: else the menu bar's.
    EXPECT_EQ(r.Consumed(r.arriveAt), action != KeyAction::None) << suffix;
    EXPECT_FALSE(r.Consumed(KeyPane::Doc)) << suffix;
  }
  // Ctrl and Shift together: neither was alone.
  k.Down(vk::Shift);
  k.Down(vk::Control, ssShift);
  k.Up(vk::Control);
  r = k.Up(vk::Shift);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_TRUE(r.consume);

  // A word pane's own options, without the caret test; another window's
  // key-up (the date window's) only resets the count.
  k.pane = KeyPane::WordCode;
  k.options["gbox_WordCode_KeyDown_Shift"] = "rb_WordCode_KeyDown_Shift_GotoDoc";
  k.Down(vk::Shift);
  ++k.caret;
  EXPECT_EQ(k.Up(vk::Shift).action, KeyAction::GotoDoc);
  k.pane = KeyPane::Other;
  k.Down(vk::Shift);
  r = k.Up(vk::Shift);
  EXPECT_FALSE(r.consume || r.action != KeyAction::None);
  EXPECT_EQ(k.s.KeyCount, 0);
}

// Keys an input method takes never reach the program as key events: the
// X server's own events, the input method's events, the mouse and the time
// tell that a modifier or Tab was not alone.
TEST(KeyStateTest, KeysTheInputMethodTookOrHeldSpoilTheLoneKey) {
  constexpr uint32_t kShift = 50, kCtrl = 37, kAlt = 64, kTab = 23, kSpace = 65, kP = 33;
  Keys k;
  k.options["gbox_mmDoc_KeyDown_Alt"] = "rb_mmDoc_KeyDown_Alt_SeekWord";
  k.options["gbox_mmDoc_KeyDown_Shift"] = "rb_mmDoc_KeyDown_Shift_FilterWord";
  k.options["gbox_mmDoc_KeyDown_Ctrl"] = "rb_mmDoc_KeyDown_Ctrl_SeekWord";
  k.options["gbox_mmDoc_KeyDown_Tab"] = "rb_mmDoc_KeyDown_Tab_Goto_WordCode";
  // Without the X server's events (Wayland): a key-down of the program that
  // came out of the input method, an open composition or a long hold.
  k.Down(vk::Shift, {0, 1000});
  k.s.InputMethodEvent(false, true);  // a letter the input method took: its pre-edit changed
  k.s.InputMethodEvent(true, false);  // ... and was committed
  EXPECT_EQ(k.Up(vk::Shift, {0, 1100}), KeyAction::None);
  k.s.InputMethodEvent(false, true);
  k.Down(vk::Shift, {0, 2000});
  EXPECT_EQ(k.Up(vk::Shift, {0, 2100}), KeyAction::None);  // a composition open throughout
  // Alt's release is consumed too, so the menu bar stays out of the composition,
  // also when the composition was committed before it.
  for (bool commitFirst : {false, true}) {
    k.Down(vk::Menu, {0, 2200});
    if (commitFirst) k.s.InputMethodEvent(true, false);
    const KeyUpResult alt = k.Release(vk::Menu, {0, 2300});
    EXPECT_EQ(alt.action, KeyAction::None) << commitFirst;
    EXPECT_TRUE(alt.consume) << commitFirst;
  }
  k.s.InputMethodEvent(false, false);
  k.s.InputMethodEvent(false, false);  // nothing was or is composed: no change
  k.Down(vk::Shift, {0, 3000});
  EXPECT_EQ(k.Up(vk::Shift, {0, 3000 + kDefaultRepeatDelay}), KeyAction::None);
  k.Down(vk::Control, {0, 4000});
  k.s.PointerUsed();  // the wheel turned while Ctrl is down
  EXPECT_EQ(k.Up(vk::Control, {0, 4100}), KeyAction::None);
  k.Down(vk::Tab, {0, 5000});
  k.Down(vk::Tab, {0, 5600, true});  // held until it repeats
  EXPECT_EQ(k.Up(vk::Tab, {0, 5700}), KeyAction::None);
  k.Down(vk::Shift, {0, 6000});
  EXPECT_EQ(k.Up(vk::Shift, {0, 6100}), KeyAction::FilterWord);

  // With them (X11), every key pressed counts, also those that never arrived.
  k.s.RepeatDelay = 660;
  k.Native(kShift, 7000, 7100);  // Shift alone, its events late through the input method
  k.Down(vk::Shift, {kShift, 7000});
  EXPECT_EQ(k.Up(vk::Shift, {kShift, 7100}), KeyAction::FilterWord);
  k.s.NativeKey(true, {kShift, 8000});  // Shift+P, P taken by the input method
  k.Down(vk::Shift, {kShift, 8000});
  k.Native(kP, 8050, 8080);
  k.s.NativeKey(false, {kShift, 8100});
  EXPECT_EQ(k.Up(vk::Shift, {kShift, 8100}), KeyAction::None);
  k.s.NativeKey(true, {kCtrl, 9000});  // Ctrl+Space, the input method's on/off key
  k.Down(vk::Control, {kCtrl, 9000});
  k.Native(kSpace, 9050, 9080);
  k.s.NativeKey(false, {kCtrl, 9100});
  EXPECT_EQ(k.Up(vk::Control, {kCtrl, 9100}), KeyAction::None);
  k.Native(kCtrl, 10000, 10700);  // held past the server's repeat delay
  k.Down(vk::Control, {kCtrl, 10000});
  EXPECT_EQ(k.Up(vk::Control, {kCtrl, 10700}), KeyAction::None);
  k.Native(kTab, 11000, 11050);  // Tab the input method took: only its release arrives
  EXPECT_EQ(k.Up(vk::Tab, {kTab, 11050}), KeyAction::None);
  k.s.NativeKey(true, {kTab, 12000});  // Tab held: X11 repeats it as release/press pairs
  k.Down(vk::Tab, {kTab, 12000});
  k.s.NativeKey(false, {kTab, 12660});
  k.s.NativeKey(true, {kTab, 12660});
  k.s.NativeKey(false, {kTab, 12700});
  EXPECT_EQ(k.Up(vk::Tab, {kTab, 12700}), KeyAction::None);
  k.Native(kTab, 13000, 13050);
  k.Down(vk::Tab, {kTab, 13000});
  k.s.InputMethodEvent(true, false);  // a commit arriving between press and release
  EXPECT_EQ(k.Up(vk::Tab, {kTab, 13050}), KeyAction::None);
  k.Native(kTab, 14000, 14050);
  k.Down(vk::Tab, {kTab, 14000});
  EXPECT_EQ(k.Up(vk::Tab, {kTab, 14050}), KeyAction::GotoWordCode);
  // Alt pressed in a composition, taken by the input method, released after its commit.
  k.s.InputMethodEvent(false, true);
  k.s.NativeKey(true, {kAlt, 15000});
  k.s.InputMethodEvent(true, false);
  k.s.NativeKey(false, {kAlt, 15050});
  EXPECT_TRUE(k.Release(vk::Menu, {kAlt, 15050}).consume);
  k.Native(kAlt, 16000, 16050);
  k.Down(vk::Menu, {kAlt, 16000});
  EXPECT_EQ(k.Up(vk::Menu, {kAlt, 16050}), KeyAction::SeekWord);
}

}  // namespace
}  // namespace wendul::test
