#!/usr/bin/env bash
# The lone-key gesture and typing through a real input method, end to end:
#   keys_through_ime.sh ibus|fcitx5 path/to/wendul [scenario...]
# Each scenario starts a fresh editor in one input-method session, types as
# a user would and checks what the editor did (its state and its word
# table). Exit status: 0 all passed, 1 a scenario failed or the input method
# could not be started, 77 the input method is not installed.
set -u
IM=$1
WENDUL_BIN=$2
shift 2
source "$(dirname "$0")/session.sh"

failed=()
ok=1
check() {  # what, actual, expected
  [ "$2" = "$3" ] && return 0
  echo "    $1: [$2], wanted [$3]"
  ok=0
}
# Nothing moved: the focus in the document, nothing selected, no composition left.
check_still() {
  check "$1: focus" "$(state focus)" doc
  check "$1: selection" "$(state sel)" ""
}
# Return commits the composition: it lands right after `prefix`, exactly as shown.
commit_after() {
  local pre
  pre=$(state preedit)
  check "a composition before Return" "$([ -n "$pre" ] && echo yes)" yes
  key Return
  check "committed text" "$(state text)" "$1$pre"
  check_still "after the commit"
}
# Types romaji, converts with Space and commits with Return.
write() {
  type_text "$1"
  key space
  key Return
}

# A sentence typed, converted and committed is exact, and only its finished
# words are learned.
scenario_sentence() {
  write toukyouekidekamerawokatta.
  check text "$(state text)" "東京駅でカメラを買った。"
  check words "$(words | tr '\n' ' ')" "カメラ 東京駅 "
}

# A capital letter inside a composition: the input method takes the letter,
# so the release of Shift must not seek.
scenario_capital_letter() {
  write kamerawokatta.
  type_text kameratoi
  type_text P
  check_still "Shift+P in a composition"
  type_text honewokatta.
  key space
  commit_after "カメラを買った。"
}

# Shift+Left shrinks Mozc's clause.
scenario_shift_left() {
  write kamera
  type_text wokatta
  key space
  chord shift Left
  check_still "Shift+Left in a conversion"
  commit_after "カメラ"
}

# Ctrl+I turns the composition into katakana.
scenario_ctrl_i() {
  write kamera
  type_text terebikamerawo
  chord ctrl i
  check_still "Ctrl+I in a composition"
  commit_after "カメラ"
}

# Ctrl+Space (Fcitx5's on/off key) is no lone Ctrl; a lone Ctrl still seeks
# (カメラ, finished by を, is learned).
scenario_ctrl_space() {
  write kamerawo
  chord ctrl space
  check_still "the first Ctrl+Space"
  chord ctrl space
  check_still "the second Ctrl+Space"
  check text "$(state text)" "カメラを"
  tap Control_L
  check "a lone Ctrl" "$(state focus)/$(state sel)" "date/カメラ"
  key Escape
  check_still "Esc back"
}

# Tab taken by Mozc inside a composition does not jump; outside one it does.
scenario_tab() {
  write kamerawo
  type_text kamera
  tap Tab
  check_still "Tab in a composition"
  commit_after "カメラを"
  tap Tab
  check "Tab alone" "$(state focus)" code
  tap Tab
  check "Tab back" "$(state focus)" doc
}

# Alt inside a composition is the input method's: the menu bar stays shut.
scenario_alt_in_composition() {
  write kamera
  type_text wo
  tap Alt_L
  check_still "Alt in a composition"
  commit_after "カメラ"
}

# A modifier held past the repeat delay, or with the wheel turned, is held.
scenario_held_modifier() {
  write kamerawo
  hold_key Shift_L 1.2
  check_still "Shift held"
  hold_key Control_L 1.2
  check_still "Ctrl held"
  hold_key Control_L 0.2 ime_run xdotool click 5 click 4
  check_still "Ctrl with the wheel"
  tap Shift_L
  check "a lone Shift" "$(state focus)" code
}

# A Shift seek that finds nothing leaves no selection and the caret where it was.
scenario_seek_finds_nothing() {
  write kamerawokatta
  type_text kame
  key Return
  check text "$(state text)" "カメラを買ったかめ"
  tap Shift_L
  check_still "a seek that found nothing"
  check caret "$(state caret)" 9
  # Fcitx5's Mozc also takes that Shift as its switch to Latin letters.
  type_text ne
  [ -n "$(state preedit)" ] && key Return
  case "$(state text)" in
    カメラを買ったかめね | カメラを買ったかめne) ;;
    *) check text "$(state text)" "カメラを買ったかめね" ;;
  esac
}

# The option "IME on at start" (on by default) opens Mozc in hiragana: the
# editor was started without ime_on (run_scenario).
scenario_ime_on_at_start() {
  type_text a
  check "a typed after start" "$(state preedit)$(state text)" "あ"
}

# A conversion that stays in hiragana is coloured as a conversion.
scenario_conversion_colours() {
  type_text sorehadouka
  check "typed" "$(state preeditkinds)" "iiiiii"
  key space
  check "converted" "$(state preeditkinds | tr -d 'o' | cut -c1)" c
  check "converted, nothing left as typed" "$(state preeditkinds | tr -d 'co')" ""
}

# A diary: the date window's fields take digits past the input method, so a
# day typed there with Mozc on loads on Enter, and the document's own
# composition still works afterwards.
scenario_diary_date() {
  key F4
  key ctrl+a
  type_text 7
  key Return
  check "the day typed" "$(state text | grep -o '2001\. 5\. 7')" "2001. 5. 7"
  key F5
  type_text a
  check "typing in the day" "$(state preedit)" "あ"
}

# Another program holds the word table while the user types, under a window
# manager: the notice that learning paused leaves every key in the document,
# the words typed meanwhile are not learned, and learning resumes by itself
# soon after the lock ends.
scenario_table_locked() {
  write kamerawokatta.
  local sql=$IME_TMP/lock.sql out=$IME_TMP/lock.out
  mkfifo "$sql"
  : >"$out"
  [ -n "${IME_UID:-}" ] && chown "$IME_UID:$IME_GID" "$sql" "$out"
  ime_spawn sh -c 'exec sqlite3 "$1" <"$2" >"$3"' sh "$IME_DATA/TABLE/KWD.DB" "$sql" "$out"
  exec 7<>"$sql"  # read and write: never waits for sqlite3 to open it
  echo "BEGIN EXCLUSIVE; SELECT 'locked';" >&7
  ime_until 10 grep -q locked "$out" || check "the table locked by sqlite3" no yes
  write terebiwomita.
  check "the notice" "$(state notice)" shown
  write rajiowokiita.
  check text "$(state text)" "カメラを買った。テレビを見た。ラジオを聞いた。"
  check_still "typing while the notice is up"
  echo "COMMIT;" >&7
  exec 7>&-
  wait_state notice "" 10 || check "learning resumed" no yes
  write shinbunwoyonda.
  check words "$(words | tr '\n' ' ')" "カメラ 新聞 "
}

run_scenario() {
  local name=$1
  ok=1
  if [ "$name" = diary_date ]; then
    # Log mode, with the date window's focus command on F4; the editor is
    # started on a day as `wendul -D2001/05/03`.
    local home=$IME_TMP/wendul.$((IME_EDITORS + 1))
    mkdir -p "$home"
    printf '[system]\r\nadmin=1\r\n[fmMain]\r\nFunc01_F04=CnSetFocusDate\r\n' >"$home/WENDUL.INI"
    [ -n "${IME_UID:-}" ] && chown -R "$IME_UID:$IME_GID" "$home"
    editor_start -D2001/05/03 || ok=0
    ime_on
  elif [ "$name" = ime_on_at_start ]; then
    # The user's layout is on before the editor starts.
    if [ "$IM" = ibus ]; then ime_run ibus engine xkb:us::eng >/dev/null 2>&1; fi
    editor_start || ok=0
    if [ "$IM" = ibus ]; then
      ime_until 5 ime_ibus_engine_now mozc-jp || check "IBus engine after start" "$(ime_run ibus engine)" mozc-jp
    else
      ime_until 5 ime_fcitx_active || check "Fcitx5 state after start" "$(ime_run fcitx5-remote)" 2
    fi
    sleep 0.5  # the engine's mode follows the engine
  elif [ "$name" = table_locked ]; then
    wm_start
    case $? in
      1) ok=0 ;;
      2) echo "    (openbox is not installed: without a window manager)" ;;
    esac
    editor_start || ok=0
    ime_on
  else
    editor_start || ok=0
    ime_on
  fi
  [ $ok = 1 ] && "scenario_$name"
  editor_stop
  wm_stop
  if [ $ok = 1 ]; then echo "  ok    $name"; else echo "  FAIL  $name"; failed+=("$name"); fi
}

ime_ibus_engine_now() { [ "$(ime_run ibus engine 2>/dev/null)" = "$1" ]; }
ime_fcitx_active() { [ "$(ime_run fcitx5-remote 2>/dev/null)" = 2 ]; }

ime_session_start_or_exit "$IM"
scenarios=("$@")
[ ${#scenarios[@]} -eq 0 ] && scenarios=(sentence capital_letter shift_left ctrl_i ctrl_space tab alt_in_composition
                                          held_modifier seek_finds_nothing ime_on_at_start conversion_colours
                                          diary_date table_locked)
for s in "${scenarios[@]}"; do run_scenario "$s"; done
ime_session_stop
if [ ${#failed[@]} -gt 0 ]; then
  echo "$IM + Mozc: ${#failed[@]} of ${#scenarios[@]} scenarios failed: ${failed[*]}"
  exit 1
fi
echo "$IM + Mozc: all ${#scenarios[@]} scenarios passed"
