# The real editor window driven through a real input method (IBus + Mozc or
# Fcitx5 + Mozc) under Xvfb. Source this file, then:
#
#   ime_session_start ibus|fcitx5  Xvfb, a private session bus and the input
#                                  method with Mozc, as an ordinary user in a
#                                  fresh home; status 2 when something is not
#                                  installed, 1 (saying what) when it is but
#                                  does not start
#   ime_session_start_or_exit ...  the same for a test script: it exits 77
#                                  (skipped) or 1 (failed) when there is none
#   editor_start [options]         the editor ($WENDUL_BIN) in that session,
#                                  focused, with a fresh word table
#   ime_on                         Mozc in hiragana
#   type_text, key, tap, hold_key  keys through the X server (xdotool)
#   settle, wait_state KEY VALUE   wait for the editor (no fixed sleeps)
#   state KEY                      focus, caret, sel, preedit, text or notice
#                                  (the learning notice shown) now
#   wm_start, wm_stop              a window manager (Openbox) in the session
#   words                          the word table, one word a line
#   editor_stop, ime_session_stop  end what was started (by process id)
#
# Mozc refuses to run as root: as root, the session runs as the user
# "wendulime" (made when missing; IME_USER_NAME names another); otherwise as
# the current user. Several sessions may run at once: each has its own
# display (the first free one, or the first free of IME_XVFB_DISPLAYS, a
# range such as 240-249), bus and home.

IME_USER_NAME=${IME_USER_NAME:-wendulime}
IME_EDITORS=0

ime_log() { printf '%s\n' "$*" >&2; }

# Runs a command as the session's user, in the session's environment only;
# ime_spawn runs it in the background, $! being the command's own process.
ime_run() { ime_as "" "$@"; }
ime_spawn() { (ime_as exec "$@") & }
ime_as() {
  local how=$1; shift
  local envs=(PATH=/usr/local/bin:/usr/bin:/bin HOME="$IME_HOME" XDG_CONFIG_HOME="$IME_HOME/.config"
              XDG_DATA_HOME="$IME_HOME/.local/share" XDG_CACHE_HOME="$IME_HOME/.cache"
              XDG_RUNTIME_DIR="$IME_HOME/run" LANG=C.UTF-8 NO_AT_BRIDGE=1 QT_ACCESSIBILITY=0
              IME_SESSION="$IME_TMP")
  [ -n "${IME_DISPLAY:-}" ] && envs+=(DISPLAY=":$IME_DISPLAY")
  [ -n "${IME_BUS:-}" ] && envs+=(DBUS_SESSION_BUS_ADDRESS="$IME_BUS")
  if [ -n "${IME_UID:-}" ]; then
    $how setpriv --reuid="$IME_UID" --regid="$IME_GID" --clear-groups env -i "${envs[@]}" "$@"
  else
    $how env -i "${envs[@]}" "$@"
  fi
}

# Waits up to $1 seconds for a command to succeed.
ime_until() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.05
  done
}

ime_file_filled() { [ -s "$1" ]; }

ime_session_start() {
  IME_KIND=$1
  local missing=()
  for tool in Xvfb xdotool dbus-daemon dbus-send setpriv sqlite3 iconv; do
    command -v "$tool" >/dev/null || missing+=("$tool")
  done
  [ -x /usr/lib/mozc/mozc_server ] || missing+=(mozc-server)
  case "$IME_KIND" in
    ibus) for tool in ibus-daemon ibus; do command -v "$tool" >/dev/null || missing+=("$tool"); done
          [ -e /usr/share/ibus/component/mozc.xml ] || missing+=(ibus-mozc) ;;
    fcitx5) for tool in fcitx5; do command -v "$tool" >/dev/null || missing+=("$tool"); done
          ls /usr/lib/*/fcitx5/fcitx5-mozc.so >/dev/null 2>&1 || missing+=(fcitx5-mozc)
          ls /usr/lib/*/qt6/plugins/platforminputcontexts/libfcitx5platforminputcontextplugin.so >/dev/null 2>&1 ||
            missing+=(fcitx5-frontend-qt6) ;;
    *) ime_log "ime_session_start: ibus or fcitx5, not '$IME_KIND'"; return 2 ;;
  esac
  if [ ${#missing[@]} -gt 0 ]; then
    ime_log "$IME_KIND: not installed: ${missing[*]}"
    return 2
  fi

  IME_TMP=$(mktemp -d /tmp/wendul-ime.XXXXXX)
  chmod 755 "$IME_TMP"
  IME_HOME=$IME_TMP/home
  mkdir -p "$IME_HOME/run" "$IME_HOME/.config" "$IME_TMP/bin"
  chmod 700 "$IME_HOME/run"
  if [ "$(id -u)" -eq 0 ]; then
    id "$IME_USER_NAME" >/dev/null 2>&1 ||
      useradd --system --no-create-home --shell /usr/sbin/nologin "$IME_USER_NAME" 2>/dev/null ||
      id "$IME_USER_NAME" >/dev/null 2>&1 || { ime_log "cannot make the user $IME_USER_NAME"; return 1; }
    IME_UID=$(id -u "$IME_USER_NAME")
    IME_GID=$(id -g "$IME_USER_NAME")
    mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
  else
    IME_UID= IME_GID=
  fi
  # The program runs from the session's folder: the checkout may be closed to other users.
  cp "$WENDUL_BIN" "$IME_TMP/bin/wendul"
  [ -n "$IME_UID" ] && chown -R "$IME_UID:$IME_GID" "$IME_TMP"

  if [ -n "${IME_XVFB_DISPLAYS:-}" ]; then
    ime_xvfb_in_range || { ime_log "$IME_KIND: Xvfb did not start on any of :$IME_XVFB_DISPLAYS"; return 1; }
  else
    ime_spawn Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$IME_TMP/display" >"$IME_TMP/xvfb.log" 2>&1
    ime_until 10 ime_file_filled "$IME_TMP/display" || { ime_log "$IME_KIND: Xvfb did not start"; return 1; }
    IME_DISPLAY=$(head -n1 "$IME_TMP/display")
  fi

  ime_spawn dbus-daemon --session --nofork --print-address=3 3>"$IME_TMP/bus" >/dev/null 2>&1
  ime_until 10 ime_file_filled "$IME_TMP/bus" || { ime_log "$IME_KIND: no session bus"; return 1; }
  IME_BUS=$(head -n1 "$IME_TMP/bus")

  if [ "$IME_KIND" = ibus ]; then
    ime_spawn ibus-daemon -rx --panel=disable >"$IME_TMP/im.log" 2>&1
    ime_until 15 ime_run ibus address || { ime_log "ibus: the daemon did not start"; return 1; }
    # "ibus engine" exits 1 without setxkbmap, but sets the engine.
    ime_until 15 ime_ibus_engine_is mozc-jp || { ime_log "ibus: the engine mozc-jp could not be set"; return 1; }
  else
    mkdir -p "$IME_HOME/.config/fcitx5"
    cat >"$IME_HOME/.config/fcitx5/profile" <<'EOF'
[Groups/0]
Name=Default
Default Layout=us
DefaultIM=mozc

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=mozc
Layout=

[GroupOrder]
0=Default
EOF
    [ -n "$IME_UID" ] && chown -R "$IME_UID:$IME_GID" "$IME_HOME/.config"
    ime_spawn fcitx5 --disable=wayland,waylandim >"$IME_TMP/im.log" 2>&1
    ime_until 15 ime_fcitx_has mozc || { ime_log "fcitx5: no input method mozc (see $IME_TMP/im.log)"; return 1; }
  fi
  trap ime_session_stop EXIT
}

# Xvfb on the first display of IME_XVFB_DISPLAYS that it can take.
ime_xvfb_in_range() {
  local n first=${IME_XVFB_DISPLAYS%-*} last=${IME_XVFB_DISPLAYS#*-} xvfb
  for ((n = first; n <= last; n++)); do
    [ -e "/tmp/.X$n-lock" ] && continue
    ime_spawn Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$IME_TMP/xvfb.log" 2>&1
    xvfb=$!
    # Up (the display's lock names this server), or gone because another
    # server took the display first.
    ime_until 10 ime_xvfb_settled "$n" "$xvfb"
    if ime_xvfb_owns "$n" "$xvfb"; then
      IME_DISPLAY=$n
      return 0
    fi
    kill "$xvfb" 2>/dev/null
  done
  return 1
}
ime_xvfb_owns() {
  [ -S "/tmp/.X11-unix/X$1" ] && [ "$(tr -d ' \n' <"/tmp/.X$1-lock" 2>/dev/null)" = "$2" ] && kill -0 "$2" 2>/dev/null
}
ime_xvfb_settled() { ime_xvfb_owns "$1" "$2" || ! kill -0 "$2" 2>/dev/null; }

ime_session_start_or_exit() {
  ime_session_start "$1"
  case $? in
    0) ;;
    2) echo "$1 + Mozc is not installed: skipped"; exit 77 ;;
    *) echo "FAIL: $1 + Mozc is installed but could not be started"; exit 1 ;;
  esac
  echo "$1 + Mozc on display :$IME_DISPLAY"
}

ime_ibus_engine_is() {
  ime_run ibus engine "$1" >/dev/null 2>&1
  [ "$(ime_run ibus engine 2>/dev/null)" = "$1" ]
}

ime_fcitx_has() {
  ime_run dbus-send --session --print-reply --dest=org.fcitx.Fcitx5 /controller \
    org.fcitx.Fcitx.Controller1.AvailableInputMethods 2>/dev/null | grep -q "\"$1\""
}

# Every process of the session, found by the variable it carries: the
# daemons the input method started (the engine, mozc_server) included.
ime_session_pids() {
  local p
  for p in /proc/[0-9]*; do
    { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qx "IME_SESSION=$IME_TMP" && echo "${p#/proc/}"
  done
}

ime_session_stop() {
  trap - EXIT
  [ -n "${IME_TMP:-}" ] || return 0
  local pids
  pids=$(ime_session_pids)
  [ -n "$pids" ] && kill $pids 2>/dev/null
  sleep 0.2
  pids=$(ime_session_pids)
  [ -n "$pids" ] && kill -9 $pids 2>/dev/null
  wait 2>/dev/null
  if [ -n "${IME_KEEP:-}" ]; then ime_log "kept: $IME_TMP"; else rm -rf "$IME_TMP"; fi
  IME_TMP=
}

# --- the editor ---------------------------------------------------------------

editor_start() {
  IME_STATE=$IME_TMP/state
  IME_DATA=$IME_TMP/wendul.$((++IME_EDITORS))
  rm -f "$IME_STATE"
  local module=ibus
  [ "$IME_KIND" = fcitx5 ] && module=fcitx
  ime_spawn env QT_QPA_PLATFORM=xcb QT_IM_MODULE=$module WENDUL_HOME="$IME_DATA" WENDUL_TEST_STATE="$IME_STATE" \
    "$IME_TMP/bin/wendul" "$@" >>"$IME_TMP/editor.log" 2>&1
  IME_EDITOR_PID=$!
  ime_until 20 ime_window_of "$IME_EDITOR_PID" || { ime_log "$IME_KIND: the editor shows no window"; return 1; }
  IME_WINDOW=$(ime_window_of "$IME_EDITOR_PID")
  # Without a window manager the window takes the keyboard only so.
  ime_run xdotool windowfocus --sync "$IME_WINDOW"
  ime_run xdotool mousemove --window "$IME_WINDOW" 300 300
  wait_state focus doc || return 1
}

# A window manager, as on a desktop: it places and activates windows, so a
# window the editor opens may take the keyboard. Status 2 when there is none.
wm_start() {
  command -v openbox >/dev/null || return 2
  ime_spawn sh -c 'exec openbox --sm-disable >/dev/null 2>&1'
  IME_WM_PID=$!
  # A manager that speaks EWMH has published its desktops.
  ime_until 10 ime_run xdotool get_num_desktops || { ime_log "openbox did not start"; return 1; }
}

wm_stop() {
  [ -n "${IME_WM_PID:-}" ] || return 0
  kill "$IME_WM_PID" 2>/dev/null
  wait "$IME_WM_PID" 2>/dev/null
  IME_WM_PID=
}

ime_window_of() { ime_run xdotool search --onlyvisible --pid "$1" 2>/dev/null | head -n1 | grep .; }

editor_stop() {
  [ -n "${IME_EDITOR_PID:-}" ] || return 0
  kill "$IME_EDITOR_PID" 2>/dev/null
  wait "$IME_EDITOR_PID" 2>/dev/null
  IME_EDITOR_PID=
}

# The value of one line of the editor's state.
state() { sed -n "s/^$1=//p" "$IME_STATE" 2>/dev/null; }

# Waits until the editor's state has not changed for a moment: the keys sent
# have gone through the input method and the editor.
settle() {
  local last="" now stable=0 end=$((SECONDS + ${1:-10}))
  while [ $SECONDS -lt $end ]; do
    now=$(cat "$IME_STATE" 2>/dev/null)
    if [ "$now" = "$last" ]; then
      stable=$((stable + 1))
      [ $stable -ge 6 ] && return 0
    else
      stable=0
      last=$now
    fi
    sleep 0.05
  done
  return 0
}

# Waits (10 s at most) for a value; false when it never came.
wait_state() {
  local end=$((SECONDS + ${3:-10}))
  until [ "$(state "$1")" = "$2" ]; do
    [ $SECONDS -ge $end ] && { ime_log "waited for $1=$2, have $1=$(state "$1")"; return 1; }
    sleep 0.05
  done
}

# Keys through the X server, as the user's keyboard would send them.
type_text() { ime_run xdotool type --delay 30 "$1"; settle; }
key() { ime_run xdotool key --delay 30 "$@"; settle; }
# A key pressed and released by itself, at a person's pace.
tap() {
  ime_run xdotool keydown "$1"; sleep 0.08; ime_run xdotool keyup "$1"
  settle
}
# A chord at a person's pace: $1 held while $2 is typed.
chord() {
  ime_run xdotool keydown "$1"; sleep 0.08; ime_run xdotool key "$2"; sleep 0.08; ime_run xdotool keyup "$1"
  settle
}
# A key held for $2 seconds, with an optional command run while it is down.
hold_key() {
  local k=$1 secs=$2; shift 2
  ime_run xdotool keydown "$k"
  "$@"
  sleep "$secs"
  ime_run xdotool keyup "$k"
  settle
}

# Mozc in hiragana: IBus's Mozc starts in direct input and takes the
# Hiragana_Katakana key; Fcitx5 is switched on by its controller.
ime_on() {
  if [ "$IME_KIND" = ibus ]; then
    ime_ibus_engine_is mozc-jp
    key Hiragana_Katakana
  else
    ime_run fcitx5-remote -o
    settle
  fi
}

# The word table of the editor started last, one word a line, sorted.
words() {
  sqlite3 -readonly "$IME_DATA/TABLE/KWD.DB" "select KEYWORD from T" 2>/dev/null | iconv -f CP932 -t UTF-8 | sort
}
