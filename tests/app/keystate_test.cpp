// The key rules without windows: events in the order the platform delivers
// them, with the options dialog's defaults unless a test changes one.
#include <gtest/gtest.h>

#include <map>

#include "app/keystate.h"

namespace wendul::test {
namespace {

class KeyStateTest : public ::testing::Test {
 protected:
  std::map<std::string, std::string> options = {
      {"gbox_mmDoc_KeyDown_Shift", "rb_mmDoc_KeyDown_Shift_FilterWord"},
      {"gbox_mmDoc_KeyDown_Alt", "rb_mmDoc_KeyDown_Alt_Goto_WordDate"},
      {"gbox_mmDoc_KeyDown_Ctrl", "rb_mmDoc_KeyDown_Ctrl_SeekWord"},
      {"gbox_mmDoc_KeyDown_Tab", "rb_mmDoc_KeyDown_Tab_Goto_WordCode"},
      {"gbox_WordCode_KeyDown_Esc", "rb_WordCode_KeyDown_Esc_GotoDoc"},
      {"gbox_WordCode_KeyDown_Shift", "rb_WordCode_KeyDown_Shift_GotoDoc"},
      {"gbox_WordCode_KeyDown_Alt", "rb_WordCode_KeyDown_Alt_None"},
      {"gbox_WordCode_KeyDown_Ctrl", "rb_WordCode_KeyDown_Ctrl_None"},
      {"gbox_WordCode_KeyDown_Tab", "rb_WordCode_KeyDown_Tab_GotoDoc"},
      {"gbox_WordDate_KeyDown_Esc", "rb_WordDate_KeyDown_Esc_GotoDoc"},
      {"gbox_WordDate_KeyDown_Shift", "rb_WordDate_KeyDown_Shift_None"},
      {"gbox_WordDate_KeyDown_Alt", "rb_WordDate_KeyDown_Alt_GotoDoc"},
      {"gbox_WordDate_KeyDown_Ctrl", "rb_WordDate_KeyDown_Ctrl_GotoDoc"},
      {"gbox_WordDate_KeyDown_Tab", "rb_WordDate_KeyDown_Tab_None"}};
  KeyState s;
  KeyPane pane = KeyPane::Doc;
  int64_t caret = 10;

  static unsigned Bit(int key) {
    return key == vk::Shift ? ssShift : key == vk::Control ? ssCtrl : key == vk::Menu ? ssAlt : 0u;
  }
  // A key-down as the hook and then the main window see it; `held` are the
  // modifiers already down (a modifier's own press adds itself).
  void Down(int key, unsigned held = 0, bool repeat = false) {
    (void)repeat;  // a repeat is one more key-down
    s.HookKeyDown(key);
    s.KeyDownCount(key, held | Bit(key), pane == KeyPane::Doc, caret);
    s.KeyDownAlone(key, held | Bit(key));
  }
  // A key the platform turns into a menu shortcut: only the hook sees it.
  void Shortcut(int key) { s.HookKeyDown(key); }
  KeyUpResult Up(int key, unsigned held = 0, bool repeat = false) {
    return s.KeyUp(key, held, repeat, pane, caret, [this](const std::string& g) { return options[g]; });
  }
  KeyUpResult Alone(int key) {
    Down(key);
    return Up(key);
  }
};

TEST_F(KeyStateTest, AModifierActsOnlyWhenPressedAndReleasedByItself) {
  // Shift alone in the document extracts similar words; the release is consumed.
  KeyUpResult r = Alone(vk::Shift);
  EXPECT_EQ(r.action, KeyAction::FilterWord);
  EXPECT_TRUE(r.Consumed(KeyPane::Doc));
  EXPECT_EQ(Alone(vk::Control).action, KeyAction::SeekWord);

  // Shift+A: the letter cancels Shift and moves the caret; nothing acts.
  Down(vk::Shift);
  Down('A', ssShift);
  ++caret;
  Up('A', ssShift);
  r = Up(vk::Shift);
  EXPECT_EQ(r.action, KeyAction::None);
  // xdotool's order: Shift up before the letter's up.
  Down(vk::Shift);
  Down('B', ssShift);
  EXPECT_EQ(Up(vk::Shift).action, KeyAction::None);
  Up('B');

  // Ctrl, then Shift, both released: neither was alone.
  Down(vk::Control);
  Down(vk::Shift, ssCtrl);
  EXPECT_EQ(Up(vk::Control, ssShift).action, KeyAction::None);
  r = Up(vk::Shift);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_TRUE(r.consume);  // Shift's release is the window's even when it does nothing

  // Ctrl+C: the C became a menu shortcut, only the hook saw it.
  Down(vk::Control);
  Shortcut('C');
  Up('C', ssCtrl);
  EXPECT_FALSE(s.CtrlAlone);
  EXPECT_EQ(Up(vk::Control).action, KeyAction::None);

  // Held until it repeats, with repeats as further key-downs ...
  Down(vk::Control);
  Down(vk::Control, 0, true);
  Down(vk::Control, 0, true);
  EXPECT_EQ(Up(vk::Control).action, KeyAction::None);
  // ... or as X11 release/press pairs, both halves marked as repeats.
  Down(vk::Shift);
  EXPECT_EQ(Up(vk::Shift, 0, true).action, KeyAction::None);
  Down(vk::Shift, 0, true);
  EXPECT_EQ(Up(vk::Shift, 0, true).action, KeyAction::None);
  Down(vk::Shift, 0, true);
  EXPECT_EQ(Up(vk::Shift).action, KeyAction::None);
  EXPECT_EQ(s.KeyCount, 0);

  // The caret moved between press and release (a click): nothing. Tab acts anyway.
  Down(vk::Shift);
  ++caret;
  EXPECT_EQ(Up(vk::Shift).action, KeyAction::None);
  Down(vk::Tab);
  ++caret;
  r = Up(vk::Tab);
  EXPECT_EQ(r.action, KeyAction::GotoWordCode);
  EXPECT_TRUE(r.consume);

  // After all that a lone modifier acts again.
  EXPECT_EQ(Alone(vk::Shift).action, KeyAction::FilterWord);
}

TEST_F(KeyStateTest, EachPaneFollowsItsOptionsAndConsumesAsTheyDecide) {
  // Alt is consumed only once it took the user where it goes.
  KeyUpResult r = Alone(vk::Menu);
  EXPECT_EQ(r.action, KeyAction::GotoWordDate);
  EXPECT_TRUE(r.Consumed(KeyPane::WordDate));
  EXPECT_FALSE(r.Consumed(KeyPane::Doc));
  options["gbox_mmDoc_KeyDown_Alt"] = "rb_mmDoc_KeyDown_Alt_None";
  r = Alone(vk::Menu);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_FALSE(r.Consumed(KeyPane::Doc));  // the menu bar's, as usual
  // Alt with a letter: not alone, and not consumed either.
  options["gbox_mmDoc_KeyDown_Alt"] = "rb_mmDoc_KeyDown_Alt_SeekWord";
  Down(vk::Menu);
  Down('F', ssAlt);
  Up('F', ssAlt);
  EXPECT_FALSE(Up(vk::Menu).Consumed(KeyPane::WordDate));
  // Every choice of a modifier; a name no button has does nothing.
  const std::pair<const char*, KeyAction> choices[] = {{"SeekWord", KeyAction::SeekWord},
                                                       {"FilterWord", KeyAction::FilterWord},
                                                       {"Goto_WordDate", KeyAction::GotoWordDate},
                                                       {"Goto_WordCode", KeyAction::GotoWordCode},
                                                       {"None", KeyAction::None},
                                                       {"Bogus", KeyAction::None}};
  for (const auto& [suffix, action] : choices) {
    options["gbox_mmDoc_KeyDown_Ctrl"] = std::string("rb_mmDoc_KeyDown_Ctrl_") + suffix;
    EXPECT_EQ(Alone(vk::Control).action, action) << suffix;
  }
  options["gbox_mmDoc_KeyDown_Tab"] = "rb_mmDoc_KeyDown_Tab_None";
  r = Alone(vk::Tab);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_TRUE(r.consume);

  // The similar words (defaults): Shift, Tab and Esc go back; Ctrl and Alt stay.
  pane = KeyPane::WordCode;
  EXPECT_EQ(Alone(vk::Shift).action, KeyAction::GotoDoc);
  EXPECT_EQ(Alone(vk::Tab).action, KeyAction::GotoDoc);
  EXPECT_EQ(Alone(vk::Escape).action, KeyAction::GotoDoc);
  r = Alone(vk::Control);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_TRUE(r.consume);
  r = Alone(vk::Menu);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_FALSE(r.Consumed(KeyPane::WordCode));
  EXPECT_EQ(Alone(vk::Return).action, KeyAction::None);
  // The latest words: Esc, Alt and Ctrl go back; Shift and Tab stay.
  pane = KeyPane::WordDate;
  EXPECT_EQ(Alone(vk::Escape).action, KeyAction::GotoDoc);
  r = Alone(vk::Menu);
  EXPECT_EQ(r.action, KeyAction::GotoDoc);
  EXPECT_TRUE(r.Consumed(KeyPane::Doc));
  EXPECT_EQ(Alone(vk::Control).action, KeyAction::GotoDoc);
  EXPECT_EQ(Alone(vk::Shift).action, KeyAction::None);
  EXPECT_EQ(Alone(vk::Tab).action, KeyAction::None);
  // The caret test belongs to the document only.
  Down(vk::Control);
  ++caret;
  EXPECT_EQ(Up(vk::Control).action, KeyAction::GotoDoc);

  // Another window's key-up (the date window): it only resets the count.
  pane = KeyPane::Other;
  Down(vk::Shift);
  r = Up(vk::Shift);
  EXPECT_EQ(r.action, KeyAction::None);
  EXPECT_FALSE(r.consume);
  EXPECT_EQ(s.KeyCount, 0);
}

}  // namespace
}  // namespace wendul::test
