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

}  // namespace
}  // namespace wendul::test
