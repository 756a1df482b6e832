#!/usr/bin/env bash
# The words Wendul learned, offered by the input method, end to end:
#   mozc_dictionary.sh ibus|fcitx5 path/to/wendul
# A word Mozc does not know (蒼月堂, read あおいつきどう by MeCab) is stored in
# the editor's word table; the editor's own command (F11, its dialogs driven
# by keys) writes the Mozc user dictionary; Mozc's dictionary tool imports it
# ("Tools" -> "Import as new dictionary...") in the session's fresh profile;
# typing the reading through the input method then offers the word. Before
# the import the reading does not give it. Exit status: 0 passed, 1 failed,
# 77 the input method or Mozc's tool is not installed.
set -u
IM=$1
WENDUL_BIN=$2
source "$(dirname "$0")/session.sh"

WORD=蒼月堂
ROMAJI=aoitukidou
TOOL=/usr/lib/mozc/mozc_tool
[ -x "$TOOL" ] || { echo "mozc_tool (mozc-utils-gui) is not installed: skipped"; exit 77; }

ok=1
fail() { echo "    $*"; ok=0; }

visible_windows() { ime_run xdotool search --onlyvisible --pid "$1" 2>/dev/null | wc -l; }
windows_are() { [ "$(visible_windows "$1")" = "$2" ]; }

# Plain keys again (paths and names are typed as they are).
ime_off() {
  if [ "$IM" = ibus ]; then ime_run ibus engine xkb:us::eng >/dev/null 2>&1; else ime_run fcitx5-remote -c; fi
  settle
}

# The candidates Mozc offers for the romaji, as the editor's composition
# shows them while Space steps through them; the composition is dropped.
candidates() {
  type_text "$1"
  local i seen=""
  for i in 1 2 3 4 5 6; do
    key space
    seen+="$(state preedit) "
  done
  key Escape
  key Escape
  [ -n "$(state preedit)" ] && key Escape
  echo "$seen"
}

ime_session_start_or_exit "$IM"

editor_start || { echo "FAIL: the editor did not start"; exit 1; }
ime_on
before=$(candidates "$ROMAJI")
case " $before" in *" $WORD "*) fail "Mozc offers $WORD before the import: [$before]" ;; esac
ime_off

# The word as Wendul stores a learned one (code page 932, dates as day counts).
ime_run sqlite3 "$IME_DATA/TABLE/KWD.DB" \
  "INSERT INTO T(KEYWORD, UPDATEDATE, APPENDDATE) VALUES(X'91938c8e93b0', 45400, 45400), (X'938c8b9e8977', 45400, 45400);" ||
  fail "the word could not be stored"

# The editor's command: F11, the choice (Enter: every word), the file, the report.
dict=$IME_TMP/wendul-mozc.txt
ime_run xdotool key F11
ime_until 10 windows_are "$IME_EDITOR_PID" 2 || fail "F11 shows no choice"
ime_run xdotool key Return
ime_until 10 windows_are "$IME_EDITOR_PID" 1
ime_until 10 windows_are "$IME_EDITOR_PID" 2 || fail "no file dialog"
ime_run xdotool key ctrl+a
ime_run xdotool type --delay 20 "$dict"
ime_run xdotool key Return
ime_until 30 test -s "$dict" || fail "no dictionary written"
ime_until 10 windows_are "$IME_EDITOR_PID" 2 || fail "no report after the export"
ime_run xdotool key Return
ime_until 10 windows_are "$IME_EDITOR_PID" 1 || fail "the report stays"
grep -qx "あおいつきどう	$WORD	名詞	Wendul" "$dict" || fail "the dictionary lacks $WORD: [$(cat "$dict")]"

# Mozc's own tool imports it as a new dictionary of the session's profile.
ime_spawn "$TOOL" --mode=dictionary_tool >"$IME_TMP/tool.log" 2>&1
tool=$!
ime_until 15 ime_run xdotool search --onlyvisible --pid "$tool" || fail "the dictionary tool shows no window"
W=$(ime_run xdotool search --onlyvisible --pid "$tool" | head -n1)
ime_run xdotool windowfocus --sync "$W"
ime_run xdotool mousemove --window "$W" 38 16 click 1  # "Tools"
sleep 0.3
# New, Rename, Delete, Find, then "Import as new dictionary..."
ime_run xdotool key Down Down Down Down Down Return
ime_until 10 windows_are "$tool" 2 || fail "no import dialog"
ime_run xdotool type --delay 20 "$dict"
ime_run xdotool key Tab Tab
ime_run xdotool type --delay 20 Wendul
ime_run xdotool key Return
sleep 1
ime_until 10 windows_are "$tool" 2 || fail "no word on the import"
ime_run xdotool key Return  # "1 entries are imported to Wendul."
ime_until 10 windows_are "$tool" 1
# Leaving the tool saves the dictionary and has the server reload it.
ime_run xdotool windowfocus --sync "$W"
sleep 0.3
ime_run xdotool windowfocus --sync "$IME_WINDOW"
ime_until 10 test -s "$IME_HOME/.config/mozc/user_dictionary.db" || fail "the tool saved no user dictionary"
wait_state focus doc
ime_on

after=$(candidates "$ROMAJI")
case " $after" in *" $WORD "*) ;; *) fail "Mozc does not offer $WORD: [$after]" ;; esac
type_text "$ROMAJI"
key space
[ "$(state preedit)" = "$WORD" ] && key Return
echo "    before: $before"
echo "    after:  $after"
echo "    committed: $(state text)"

editor_stop
ime_session_stop
if [ $ok = 1 ]; then
  echo "$IM + Mozc: the exported word is offered"
  exit 0
fi
echo "$IM + Mozc: FAILED"
exit 1
