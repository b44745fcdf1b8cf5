#!/usr/bin/env bash
# Runs the program on headless Wayland compositors, natively (QT_QPA_PLATFORM=wayland) and
# through XWayland, each run in a fresh HOME, and checks what a user would see:
#   starts     the main window shows
#   edge0      a saved place 0,0,... (as native runs used to write) does not hide the window
#   place      a native run leaves the saved place as it found it (it cannot know its place)
#   popup      a reminder due at start shows its pop-up
#   typing     keys typed into a note reach its file (wtype; needs the virtual keyboard)
#   tray       one click on the tray icon (StatusNotifierItem Activate, what swaybar sends on a
#              left click) hides the window, a second one brings it back
#   second     a second start ends, and brings the first copy's hidden window back
#   notify     (information only) the notification server saw a notification
#
#   tests/wayland/run.sh PROGRAM [SHOT_DIR]
# ZORBEK_WL_COMPOSITORS (default "sway weston") and ZORBEK_WL_MODES (default "native xwayland")
# choose the runs; ZORBEK_WL_DEBUG=1 prints sway's window list at each step. SHOT_DIR receives
# screenshots of each run. Prints one RESULT line per check
# and a table at the end. Exit 0 when every check passed or could not apply, 1 on a failure,
# 77 when no compositor could be started (the reason is printed).
#
# Nothing is installed here: scripts/setup.sh installs sway, weston, qt6-wayland, xwayland, grim,
# wtype and mako-notifier. sway refuses to run as root: as root the whole run moves into a user
# namespace of its own in which it is an ordinary user.
set -uo pipefail

prog=$(readlink -f "${1:?usage: run.sh PROGRAM [SHOT_DIR]}")
shots=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
cli=${ZORBEK_CLI:-$(dirname "$prog")/zorbek-cli}
compositors=${ZORBEK_WL_COMPOSITORS:-sway weston}
modes=${ZORBEK_WL_MODES:-native xwayland}
frame_title='Zorbek(Zorbek)'
popup_title='提示'

if [ "$(id -u)" -eq 0 ] && [ -z "${ZORBEK_WL_INNER:-}" ]; then
  if ! unshare --user --map-user=1000 --map-group=1000 true 2>/dev/null; then
    echo "SKIP: running as root, and no user namespace is allowed here (sway does not run as root)"
    exit 77
  fi
  ZORBEK_WL_INNER=1 exec unshare --user --map-user=1000 --map-group=1000 bash "$0" "$@"
fi
[ -x "$prog" ] || { echo "run.sh: no program at $prog" >&2; exit 2; }
[ -x "$cli" ] || { echo "run.sh: no zorbek-cli beside the program ($cli)" >&2; exit 2; }
[ -n "$shots" ] && mkdir -p "$shots" && shots=$(cd "$shots" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/zorbek-wayland.XXXXXX")
chmod 700 "$work"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' TERM INT HUP

declare -A result
started_any=0
failed=0
record() {  # compositor mode check PASS|FAIL|n/a detail...
  local key="$1/$2/$3"
  result[$key]=$4
  [ "$4" = FAIL ] && failed=1
  echo "RESULT $1 $2 $3 $4 ${*:5}"
}

wait_for() {  # seconds command...: true once the command succeeds
  local until=$((SECONDS + $1))
  shift
  while ((SECONDS < until)); do
    "$@" && return 0
    sleep 0.25
  done
  "$@"
}

# ---- one compositor session ----------------------------------------------------------------
rt="" wl="" xd="" bus="" comp=""

start_bus() {
  dbus-daemon --session --address="unix:path=$rt/bus" --nofork --nopidfile >"$rt/bus.log" 2>&1 &
  pids+=($!)
  bus="unix:path=$rt/bus"
  wait_for 5 test -S "$rt/bus"
}

start_sway() {
  cat >"$rt/sway.conf" <<'EOF'
output * resolution 1280x800 position 0 0
bar {
  position bottom
  status_command while echo zorbek test; do sleep 60; done
  tray_output *
}
EOF
  env -i PATH="$PATH" HOME="$rt" XDG_RUNTIME_DIR="$rt" DBUS_SESSION_BUS_ADDRESS="$bus" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$rt/sway.conf" >"$rt/compositor.log" 2>&1 &
  pids+=($!)
  wait_for 10 compgen -G "$rt/sway-ipc.*.sock" >/dev/null || return 1
  export SWAYSOCK
  SWAYSOCK=$(compgen -G "$rt/sway-ipc.*.sock" | head -1)
  wl=$(cd "$rt" && ls wayland-* 2>/dev/null | grep -v lock | head -1)
  [ -n "$wl" ] || return 1
  # A notification server, where the compositor offers it the layer shell.
  env -i PATH="$PATH" HOME="$rt" XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$wl" \
    DBUS_SESSION_BUS_ADDRESS="$bus" mako >"$rt/mako.log" 2>&1 &
  pids+=($!)
  # XWayland starts with the first X client; sway's own environment names its display.
  swaymsg exec "echo \$DISPLAY > $rt/display" >/dev/null
  wait_for 5 test -s "$rt/display"
  xd=$(cat "$rt/display" 2>/dev/null)
  return 0
}

start_weston() {
  env -i PATH="$PATH" HOME="$rt" XDG_RUNTIME_DIR="$rt" DBUS_SESSION_BUS_ADDRESS="$bus" \
    weston --backend=headless-backend.so --width=1280 --height=800 --socket=wayland-w \
    --use-pixman --xwayland --debug --idle-time=0 >"$rt/compositor.log" 2>&1 &
  pids+=($!)
  wl=wayland-w
  wait_for 10 test -S "$rt/wayland-w" || return 1
  wait_for 10 grep -q "xserver listening on display" "$rt/compositor.log"
  xd=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$rt/compositor.log" | head -1)
  return 0
}

stop_session() {
  local p
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; done
  sleep 0.5
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
  wait 2>/dev/null
  pids=()
}

# ---- the program ---------------------------------------------------------------------------
launched=""
launch() {  # mode home log [VAR=value...]: starts the program; its pid goes to $launched, and
  # its exit status at the end to LOG.rc
  local mode=$1 home=$2 log=$3
  shift 3
  local envs=(PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$rt" DBUS_SESSION_BUS_ADDRESS="$bus"
              LANG=C.UTF-8 ASAN_OPTIONS=detect_leaks=0 "$@")
  if [ "$mode" = native ]; then
    envs+=(QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$wl" XDG_SESSION_TYPE=wayland)
  else
    envs+=(QT_QPA_PLATFORM=xcb DISPLAY="$xd" XDG_SESSION_TYPE=x11)
  fi
  rm -f "$log.rc" "$log.pid"
  (
    env -i "${envs[@]}" "$prog" >"$log" 2>&1 &
    echo $! >"$log.pid"
    wait $!
    echo $? >"$log.rc"
  ) &
  wait_for 5 test -s "$log.pid"
  launched=$(cat "$log.pid")
}

stop_program() {  # pid: ends it as the desktop does at logout; true when it ended by itself
  kill -TERM "$1" 2>/dev/null || return 0
  local i
  for ((i = 0; i < 60; i++)); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.25
  done
  kill -KILL "$1" 2>/dev/null
  return 1
}

windows() { swaymsg -t get_tree 2>/dev/null | python3 "$here/swaytree.py" 2>/dev/null; }
debug() { [ -n "${ZORBEK_WL_DEBUG:-}" ] && { echo "--- $*"; windows; }; return 0; }
# Whether a window whose title ends in $1 (a pattern, any case) is on screen. The tree is read
# whole first: a failed read counts as neither.
shown() { local w; w=$(windows); [ -n "$w" ] && grep -qi "^visible .* $1\$" <<<"$w"; }
not_shown() { local w; w=$(windows); [ -n "$w" ] && ! grep -qi "^visible .* $1\$" <<<"$w"; }

screenshot() {  # file
  if [ "$comp" = sway ]; then
    env -i PATH="$PATH" XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$wl" timeout 10 grim "$1" 2>/dev/null
  else
    (cd "$rt" && rm -f wayland-screenshot*.png &&
      env -i PATH="$PATH" XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$wl" timeout 10 weston-screenshooter \
        >/dev/null 2>&1 && mv "$(ls wayland-screenshot*.png | head -1)" "$1") 2>/dev/null
  fi
  [ -s "$1" ]
}

# Pixels of the note tree's white background: a shown main window has tens of thousands.
white_pixels() {
  convert "$1" -fill black +opaque white -fill white -opaque white -format '%[fx:int(mean*w*h)]' info: 2>/dev/null || echo 0
}

frame_on_screen() {  # true when the main window is shown
  if [ "$comp" = sway ]; then
    shown "$frame_title"
  else
    screenshot "$rt/probe.png" && (($(white_pixels "$rt/probe.png") > 20000))
  fi
}

keep_shot() {  # name: the screen now, into SHOT_DIR
  [ -n "$shots" ] || return 0
  screenshot "$shots/$1.png" || echo "note: no screenshot for $1"
}

ini_value() { sed -n 's/^LastPosition=//p' "$1" 2>/dev/null | tail -1; }

prepare_home() {  # home last-position: a fresh user with a note and a reminder due now
  local home=$1 data="$1/.local/share/Zorbek"
  mkdir -p "$data"
  printf '[WindowRect]\nLastPosition=%s\n' "$2" >"$data/Zorbek.ini"
  "$cli" --db "$data/Zorbek.xml" new-note / >/dev/null
  "$cli" --db "$data/Zorbek.xml" reminder-add --mode 0 --date "$(date +%F)" \
    --time "$(date +%H:%M:00)" 三点开会 >/dev/null
}

sni_items() {
  env -i DBUS_SESSION_BUS_ADDRESS="$bus" gdbus call --session -d org.kde.StatusNotifierWatcher \
    -o /StatusNotifierWatcher -m org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher \
    RegisteredStatusNotifierItems 2>/dev/null | grep -o "'[^']*'" | tr -d "'"
}

sni_click() {  # item ("service/path" or "service"): what a tray sends on a left click
  local service=${1%%/*} path=/StatusNotifierItem
  [[ $1 == */* ]] && path=/${1#*/}
  env -i DBUS_SESSION_BUS_ADDRESS="$bus" gdbus call --session -d "$service" -o "$path" \
    -m org.kde.StatusNotifierItem.Activate 0 0 >/dev/null 2>&1
}

run_checks() {  # mode
  local mode=$1 home log pid value typed=0
  # Run A: saved place from an X11 session, a note, a reminder due now.
  home="$work/$comp-$mode-a"
  prepare_home "$home" 100,120,340,680
  log="$home/program.log"
  launch "$mode" "$home" "$log"
  pid=$launched
  pids+=("$pid")
  if wait_for 40 frame_on_screen; then
    record "$comp" "$mode" starts PASS
  else
    record "$comp" "$mode" starts FAIL "$(tail -3 "$log" | tr '\n' ' ')"
  fi

  if [ "$comp" = sway ]; then
    # The first check of the reminders comes 10 s after the database opened.
    if wait_for 40 shown "$popup_title"; then
      record "$comp" "$mode" popup PASS
    else
      record "$comp" "$mode" popup FAIL "no window titled $popup_title"
    fi
  else
    record "$comp" "$mode" popup n/a "weston tells no window titles"
  fi
  keep_shot "$comp-$mode-start"

  # Typing into the note: open it from the tree with the keyboard, type, save.
  if [ "$comp" = sway ] && command -v wtype >/dev/null; then
    local wt=(env -i PATH="$PATH" LANG=C.UTF-8 XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$wl" wtype)
    swaymsg "[title=\"^Zorbek\\(Zorbek\\)\$\"] focus" >/dev/null 2>&1
    sleep 0.5
    debug before typing
    "${wt[@]}" -s 400 -k Shift_L -s 300 -k Home -k Right -k Down -k Return
    debug after Home Return
    if wait_for 20 shown ".*新建ESR文档.esr"; then
      swaymsg "[title=\"(?i)新建ESR文档\"] focus" >/dev/null 2>&1
      sleep 2  # the editor loads the note after it shows
      # A new virtual keyboard's first keys are lost while its keymap travels, and XWayland
      # takes a changed keymap (for 你好) a moment later: one keyboard, with pauses.
      "${wt[@]}" -s 400 -k Shift_L -s 300 "Wayland 你好" -s 600 -M ctrl -k s -m ctrl
      typed=1  # the file is read once the program has ended: it holds the database till then
      keep_shot "$comp-$mode-typing"
    else
      record "$comp" "$mode" typing FAIL "no editor window opened"
    fi
  else
    record "$comp" "$mode" typing n/a "no virtual keyboard on $comp"
  fi

  # The tray: one click hides, one click brings back.
  local item=""
  if [ "$comp" = sway ]; then
    wait_for 10 test -n "$(sni_items)"
    item=$(sni_items | head -1)
    if [ -z "$item" ]; then
      record "$comp" "$mode" tray FAIL "no icon in the tray"
    else
      swaymsg "[title=\"^Zorbek\\(Zorbek\\)\$\"] focus" >/dev/null 2>&1
      debug before tray click "$item"
      sni_click "$item"
      sleep 1
      debug after tray click
      if wait_for 4 not_shown "$frame_title"; then
        debug hidden after the click
        sni_click "$item"
        if wait_for 4 shown "$frame_title"; then
          record "$comp" "$mode" tray PASS
        else
          record "$comp" "$mode" tray FAIL "the second click did not bring the window back"
        fi
      else
        record "$comp" "$mode" tray FAIL "one click did nothing"
      fi
    fi
  else
    record "$comp" "$mode" tray n/a "weston has no tray"
  fi

  # A second start: ends, and brings the first copy forward.
  # The window is put away first: into the tray where one click does that, else (a program
  # that does not answer the click) into sway's scratchpad.
  if [ "$comp" = sway ]; then
    swaymsg "[title=\"^Zorbek\\(Zorbek\\)\$\"] focus" >/dev/null 2>&1
    [ -n "${item:-}" ] && sni_click "$item"
    if ! wait_for 3 not_shown "$frame_title"; then
      swaymsg "[title=\"^Zorbek\\(Zorbek\\)\$\"] move scratchpad" >/dev/null 2>&1
      wait_for 3 not_shown "$frame_title"
    fi
  fi
  local second rc
  launch "$mode" "$home" "$home/second.log"
  second=$launched
  if wait_for 20 test -s "$home/second.log.rc"; then
    rc=$(cat "$home/second.log.rc")
    if ! kill -0 "$pid" 2>/dev/null; then
      record "$comp" "$mode" second FAIL "the first copy ended too"
    elif [ "$comp" != sway ]; then
      record "$comp" "$mode" second PASS "ended with $rc; whether the first came forward cannot be seen here"
    elif wait_for 5 shown "$frame_title"; then
      record "$comp" "$mode" second PASS "ended with $rc"
    else
      record "$comp" "$mode" second FAIL "ended with $rc; the first copy's window stayed hidden"
    fi
  else
    kill -KILL "$second" 2>/dev/null
    record "$comp" "$mode" second FAIL "the second copy did not end"
  fi

  if [ "$comp" = sway ]; then
    local seen
    seen=$(env -i PATH="$PATH" DBUS_SESSION_BUS_ADDRESS="$bus" bash -c 'makoctl list; makoctl history' 2>/dev/null | grep -c 三点开会)
    record "$comp" "$mode" notify "$([ "${seen:-0}" -gt 0 ] && echo PASS || echo n/a)" "information only"
  fi

  stop_program "$pid" || echo "note: $comp $mode: the program did not end on SIGTERM"
  if [ "$typed" = 1 ]; then
    local text
    text=$("$cli" text "$home/.local/share/Zorbek/Zorbek/archive/新建ESR文档.esr" 2>&1)
    if grep -q 'Wayland 你好' <<<"$text"; then
      record "$comp" "$mode" typing PASS
    else
      record "$comp" "$mode" typing FAIL "the note holds: ${text:0:80}"
    fi
  fi
  value=$(ini_value "$home/.local/share/Zorbek/Zorbek.ini")
  if [ "$mode" = native ]; then
    if [[ $value == 100,120,* ]]; then
      record "$comp" "$mode" place PASS "LastPosition=$value"
    else
      record "$comp" "$mode" place FAIL "LastPosition=$value (made up by the platform)"
    fi
  else
    record "$comp" "$mode" place n/a "LastPosition=$value (X11 reports real places)"
  fi

  # Run B: the place native runs used to save. The window must stay in sight.
  home="$work/$comp-$mode-b"
  mkdir -p "$home/.local/share/Zorbek"
  printf '[WindowRect]\nLastPosition=0,0,400,746\n' >"$home/.local/share/Zorbek/Zorbek.ini"
  log="$home/program.log"
  launch "$mode" "$home" "$log"
  pid=$launched
  pids+=("$pid")
  if wait_for 40 frame_on_screen; then
    sleep 3  # the docking hides a window within 300 ms of the pointer being away
    if frame_on_screen; then
      record "$comp" "$mode" edge0 PASS
    else
      record "$comp" "$mode" edge0 FAIL "the window hid itself at the edge"
    fi
  else
    record "$comp" "$mode" edge0 FAIL "the window never showed"
  fi
  keep_shot "$comp-$mode-edge0"
  stop_program "$pid" >/dev/null
}

checks=(starts edge0 place popup typing tray second notify)
for comp in $compositors; do
  if ! command -v "$comp" >/dev/null; then
    echo "SKIP: $comp is not installed (scripts/setup.sh installs it)"
    continue
  fi
  rt="$work/$comp-session"
  mkdir -p "$rt"
  chmod 700 "$rt"
  start_bus
  if ! "start_$comp"; then
    echo "SKIP: $comp did not start: $(tail -3 "$rt/compositor.log" 2>/dev/null | tr '\n' ' ')"
    stop_session
    continue
  fi
  started_any=1
  for mode in $modes; do
    if [ "$mode" = xwayland ] && [ -z "$xd" ]; then
      echo "SKIP: $comp offers no XWayland display here"
      continue
    fi
    run_checks "$mode"
  done
  stop_session
done

if [ "$started_any" = 0 ]; then
  echo "SKIP: no compositor could be started"
  exit 77
fi
printf '\n%-16s' ""
for c in "${checks[@]}"; do printf '%-8s' "$c"; done
echo
for comp in $compositors; do
  for mode in $modes; do
    [ -n "${result[$comp/$mode/starts]:-}" ] || continue
    printf '%-16s' "$comp $mode"
    for c in "${checks[@]}"; do printf '%-8s' "${result[$comp/$mode/$c]:--}"; done
    echo
  done
done
exit "$failed"
