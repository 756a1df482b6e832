#include "app/keystate.h"

namespace wendul {

namespace {

unsigned ShiftBit(int modifier) {
  switch (modifier) {
    case vk::Shift: return ssShift;
    case vk::Control: return ssCtrl;
    case vk::Menu: return ssAlt;
    default: return 0;
  }
}

KeyUpResult Act(KeyAction action, KeyPane arriveAt) {
  KeyUpResult r;
  r.action = action;
  r.arriveAt = arriveAt;
  return r;
}

}  // namespace

bool KeyState::IsModifierKey(int key, unsigned shift) {
  return (shift & (ssShift | ssAlt | ssCtrl)) != 0 || key == vk::Shift || key == vk::Control || key == vk::Menu;
}

bool KeyState::IsModifierAlone(int modifier, int key, unsigned shift) {
  const unsigned bit = ShiftBit(modifier);
  const unsigned others = (ssShift | ssAlt | ssCtrl) & ~bit;
  return bit != 0 && key == modifier && (shift & bit) != 0 && (shift & others) == 0;
}

void KeyState::HookKeyDown(int key) {
  if (key != vk::Control) CtrlAlone = false;
  if (key != vk::Shift) ShiftAlone = false;
  if (key != vk::Menu) AltAlone = false;
  if (key != press_.key) press_.alone = false;
}

void KeyState::KeyDownCount(int key, unsigned shift, bool docFocused, int64_t docCaret, KeyStamp stamp) {
  if (docFocused) SavedSelStart = docCaret;
  // A modifier held until it repeats arrives here again and again: the
  // count passes 1 and its release does nothing.
  if (IsModifierKey(key, shift)) ++KeyCount;
  if (stamp.repeat && press_.active && press_.key == key) {
    press_.alone = false;  // Tab held until it repeats
    return;
  }
  press_ = {key, stamp.code, stamp.time, true, !composing_, composing_};
}

void KeyState::NativeKey(bool press, KeyStamp stamp) {
  native_ = true;
  if (press) {
    // X11 repeats a held key as a release and a press at the same moment.
    const bool repeat = stamp.code == lastNativeRelease_.code && stamp.time == lastNativeRelease_.time;
    if (watch_.active) {
      watch_.alone = false;  // another key while the watched one is down
    } else {
      watch_ = {0, stamp.code, stamp.time, true, !composing_ && !repeat, composing_};
    }
    return;
  }
  lastNativeRelease_ = stamp;
  if (!watch_.active) return;
  if (watch_.code != stamp.code) {
    watch_.alone = false;
    return;
  }
  released_ = watch_;
  released_.alone = watch_.alone && stamp.time - watch_.time < RepeatDelay;
  watch_ = {};
}

void KeyState::InputMethodEvent(bool commits, bool preeditOpen) {
  // An event that neither commits nor has or had a pre-edit changes nothing.
  const bool touches = commits || preeditOpen || composing_;
  composing_ = preeditOpen;
  if (!touches) return;
  press_.alone = watch_.alone = released_.alone = false;
}

void KeyState::PointerUsed() { press_.alone = watch_.alone = false; }

bool KeyState::Composed(int key, KeyStamp stamp) const {
  return composing_ || (press_.active && press_.key == key && press_.composing) ||
         (released_.active && released_.code == stamp.code && released_.composing);
}

bool KeyState::TakeLone(int key, KeyStamp stamp) {
  const Press p = press_;
  const Press r = released_;
  press_ = released_ = {};
  if (!p.active || p.key != key || !p.alone || composing_) return false;
  // Without the window system's own events, the program's events and their times tell.
  if (!native_) return stamp.time - p.time < RepeatDelay;
  return r.active && r.alone && r.code == stamp.code;
}

void KeyState::KeyDownAlone(int key, unsigned shift) {
  CtrlAlone = IsModifierAlone(vk::Control, key, shift);
  AltAlone = IsModifierAlone(vk::Menu, key, shift);
  ShiftAlone = IsModifierAlone(vk::Shift, key, shift);
}

KeyUpResult KeyState::KeyUp(int key, unsigned shift, bool autoRepeat, KeyPane focus, int64_t docCaret,
                            const CheckedName& checked, KeyStamp stamp) {
  if (autoRepeat) return {};
  const bool composed = Composed(key, stamp);
  const bool lone = TakeLone(key, stamp);
  const int n = KeyCount;
  KeyCount = 0;
  // The input method's Alt: consumed as its Shift and Ctrl are, so the menu
  // bar does not take the keyboard in the middle of a composition.
  if (composed && key == vk::Menu) {
    KeyUpResult r;
    r.consume = true;
    return r;
  }
  if (n > 1) return {};
  if (focus == KeyPane::Doc && docCaret != SavedSelStart && key != vk::Tab) return {};
  switch (focus) {
    case KeyPane::Doc: return DocKeyUp(key, shift, lone, checked);
    case KeyPane::WordDate:
    case KeyPane::WordCode: return WordKeyUp(key, focus, lone, checked);
    default: return {};
  }
}

KeyUpResult KeyState::DocKeyUp(int key, unsigned shift, bool lone, const CheckedName& checked) const {
  if (!IsModifierKey(key, shift) && key != vk::Tab) return {};
  // The checked choice of the key's group; the seeks only for the modifiers.
  auto choice = [&checked](const std::string& keyName, bool seeks) {
    const std::string name = checked("gbox_mmDoc_KeyDown_" + keyName);
    const std::string button = "rb_mmDoc_KeyDown_" + keyName + "_";
    if (seeks && name == button + "SeekWord") return Act(KeyAction::SeekWord, KeyPane::WordDate);
    if (seeks && name == button + "FilterWord") return Act(KeyAction::FilterWord, KeyPane::WordCode);
    if (name == button + "Goto_WordDate") return Act(KeyAction::GotoWordDate, KeyPane::WordDate);
    if (name == button + "Goto_WordCode") return Act(KeyAction::GotoWordCode, KeyPane::WordCode);
    return KeyUpResult{};  // "_None", or a name no button has
  };
  KeyUpResult r;
  switch (key) {
    case vk::Menu:
      // Consumed only when it took the user into the pane: otherwise the
      // release stays the platform's and its menu bar activates as usual.
      if (!AltAlone || !lone) return {};
      r = choice("Alt", true);
      r.consumeIfArrived = r.action != KeyAction::None;
      return r;
    case vk::Control:
      if (CtrlAlone && lone) r = choice("Ctrl", true);
      break;
    case vk::Shift:
      if (ShiftAlone && lone) r = choice("Shift", true);
      break;
    case vk::Tab:
      if (lone) r = choice("Tab", false);
      break;
    default:
      return {};
  }
  r.consume = true;
  return r;
}

KeyUpResult KeyState::WordKeyUp(int key, KeyPane pane, bool lone, const CheckedName& checked) const {
  const std::string prefix = pane == KeyPane::WordDate ? "WordDate" : "WordCode";
  auto back = [&](const std::string& keyName) {
    return checked("gbox_" + prefix + "_KeyDown_" + keyName) == "rb_" + prefix + "_KeyDown_" + keyName + "_GotoDoc";
  };
  KeyUpResult r;
  switch (key) {
    case vk::Menu:
      if (AltAlone && lone && back("Alt")) {
        r = Act(KeyAction::GotoDoc, KeyPane::Doc);
        r.consumeIfArrived = true;
      }
      return r;
    case vk::Control:
      if (CtrlAlone && lone && back("Ctrl")) r = Act(KeyAction::GotoDoc, KeyPane::Doc);
      break;
    case vk::Shift:
      if (ShiftAlone && lone && back("Shift")) r = Act(KeyAction::GotoDoc, KeyPane::Doc);
      break;
    case vk::Escape:
      if (back("Esc")) r = Act(KeyAction::GotoDoc, KeyPane::Doc);
      break;
    case vk::Tab:
      if (lone && back("Tab")) r = Act(KeyAction::GotoDoc, KeyPane::Doc);
      break;
    default:
      return {};
  }
  r.consume = true;
  return r;
}

}  // namespace wendul
