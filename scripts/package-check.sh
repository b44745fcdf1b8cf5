#!/usr/bin/env bash
# Installs the Debian package on this machine, checks it as a user would meet it, and removes it
# again: scripts/package-check.sh [zorbek_<version>_<arch>.deb]  (default: build-package/'s)
#
# Checked: the package holds exactly the program's files; the desktop entry and the AppStream
# metadata validate; "man zorbek-cli" renders every command of "zorbek-cli --help"; zorbek-cli runs
# from PATH and reaches its RTF helper; the installed program, started offscreen in a fresh HOME, creates the empty database
# in ~/.local/share/Zorbek/ and writes nothing beside itself; a second start exits at once; a
# second user (as root: nobody) runs a copy of their own at the same time; removing the package
# removes every file it installed. Needs root (or sudo) for apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."

deb=${1:-}
if [ -z "$deb" ]; then
  debs=(build-package/zorbek_*.deb)
  [ -e "${debs[0]}" ] || { echo "package-check: no package; run scripts/package.sh" >&2; exit 1; }
  deb=${debs[0]}
fi
deb=$(realpath "$deb")

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "package-check: run as root" >&2; exit 1; }
  as_root=(sudo)
fi
apt_get() {
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 -y -qq "$@"
}

# One check at a time on a machine: the package is installed system-wide.
exec 9>"${TMPDIR:-/tmp}/zorbek-package-check.lock"
flock 9

if dpkg-query -W -f='${Status}' zorbek 2>/dev/null | grep -q "install ok installed"; then
  echo "package-check: zorbek is installed on this machine already; remove it first" \
       "(apt-get remove zorbek)" >&2
  exit 1
fi

work=$(mktemp -d)
pids=()
installed=0
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  if [ "$installed" = 1 ]; then apt_get remove zorbek >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

echo "== installing $(basename "$deb")"
apt_get install "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; exit 1; }
installed=1

# --- What the package holds -----------------------------------------------------------------
dpkg -L zorbek | sort >"$work/all"
while read -r f; do [ -d "$f" ] || echo "$f"; done <"$work/all" >"$work/files"
desktop=$(grep -E '^/usr/share/applications/[^/]+\.desktop$' "$work/files" || true)
id=$(basename "${desktop:-none}" .desktop)
{
  echo /usr/bin/Zorbek
  echo /usr/bin/zorbek-cli
  echo /usr/libexec/zorbek/zorbek-cli-rtf
  echo "/usr/share/applications/$id.desktop"
  for s in 16 22 24 32 48 64 128 256; do echo "/usr/share/icons/hicolor/${s}x${s}/apps/$id.png"; done
  echo "/usr/share/icons/hicolor/scalable/apps/$id.svg"
  echo /usr/share/man/man1/zorbek-cli.1.gz
  echo "/usr/share/metainfo/$id.metainfo.xml"
  echo /usr/share/zorbek/guide.html
} | sort >"$work/expected"
if diff -u "$work/expected" "$work/files" >"$work/files.diff"; then
  pass "the package holds exactly the program's $(wc -l <"$work/files") files"
else
  fail "the package's files differ from the expected list:"; cat "$work/files.diff" >&2
fi

# Each PNG is as large as its directory says (width and height from its IHDR chunk).
for s in 16 22 24 32 48 64 128 256; do
  f="/usr/share/icons/hicolor/${s}x${s}/apps/$id.png"
  [ -f "$f" ] || continue
  read -r w h < <(od -An -tu1 -j16 -N8 "$f" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" = "$s" ] && [ "$h" = "$s" ] || fail "icon $f is ${w}x${h}, not ${s}x${s}"
done
grep -q "^Icon=$id$" "$desktop" && grep -q '^StartupWMClass=Zorbek$' "$desktop" \
  && grep -q '^Exec=/usr/bin/Zorbek$' "$desktop" \
  && pass "the desktop entry starts /usr/bin/Zorbek with icon $id" \
  || fail "the desktop entry's Exec, Icon or StartupWMClass is wrong"

# --- Validators -------------------------------------------------------------------------------
if desktop-file-validate "$desktop" >"$work/dfv" 2>&1 && [ ! -s "$work/dfv" ]; then
  pass "desktop-file-validate $desktop"
else
  fail "desktop-file-validate:"; cat "$work/dfv" >&2
fi
if appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml" >"$work/as" 2>&1; then
  pass "appstreamcli validate --no-net"
else
  fail "appstreamcli validate:"; cat "$work/as" >&2
fi

# --- zorbek-cli and its manual page -----------------------------------------------------------
cli=$(command -v zorbek-cli || true)
if [ "$cli" = /usr/bin/zorbek-cli ] && zorbek-cli --help 2>"$work/help" && grep -q '^commands:' "$work/help"; then
  pass "zorbek-cli --help runs from PATH"
else
  fail "zorbek-cli --help from PATH (found: ${cli:-nothing})"
fi
# The commands that need the RTF engine run through the helper in /usr/libexec/zorbek.
printf '中文笔记\n' >"$work/note.txt"
if (cd "$work" && zorbek-cli convert note.txt note.esr && zorbek-cli text note.esr) >"$work/rtf.out" 2>&1 \
   && grep -q '中文笔记' "$work/rtf.out"; then
  pass "zorbek-cli reaches its RTF helper (convert, text)"
else
  fail "zorbek-cli's RTF commands:"; cat "$work/rtf.out" >&2
fi
if MANWIDTH=100 MANPAGER=cat man --warnings zorbek-cli >"$work/man" 2>"$work/man.err" \
   && [ ! -s "$work/man.err" ] && grep -q '^NAME' "$work/man"; then
  missing=()
  while read -r name; do
    grep -qE "^ {7}$name( |$)" "$work/man" || missing+=("$name")
  done < <(sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' "$work/help")
  if [ ${#missing[@]} -eq 0 ]; then
    pass "man zorbek-cli renders every command of --help"
  else
    fail "man zorbek-cli lacks commands: ${missing[*]}"
  fi
else
  fail "man zorbek-cli does not render:"; cat "$work/man.err" >&2
fi

# --- The installed program in a fresh HOME ----------------------------------------------------
# run_zorbek HOME [runner...]: runs /usr/bin/Zorbek offscreen as a user with that home; in a
# subshell (a background job) it replaces the subshell, so that $! is the program.
run_zorbek() {
  local home=$1; shift
  exec env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=offscreen \
    LANG=C.UTF-8 "$@" /usr/bin/Zorbek
}
wait_for_file() {  # path pid: true once path exists while pid runs (at most 60 s)
  for _ in $(seq 600); do
    [ -s "$1" ] && return 0
    kill -0 "$2" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}
# Files an installed program must not write beside itself (root could).
beside=()
for f in /usr/bin/Zorbek.ini /usr/bin/Zorbek.xml; do [ -e "$f" ] || beside+=("$f"); done

home1=$work/home1
mkdir -p "$home1/run" && chmod 700 "$home1/run"
run_zorbek "$home1" >"$work/first.log" 2>&1 &
first=$!; pids+=("$first")
data1=$home1/.local/share/Zorbek
if wait_for_file "$data1/Zorbek.xml" "$first"; then
  tree=$(zorbek-cli --db "$data1/Zorbek.xml" tree 2>&1) && [ -z "$tree" ] \
    && grep -q '<list>' "$data1/Zorbek.xml" && grep -q '<archive' "$data1/Zorbek.xml" \
    && grep -q '<hotkey' "$data1/Zorbek.xml" \
    && pass "the first start created ~/.local/share/Zorbek/Zorbek.xml holding the empty database" \
    || fail "~/.local/share/Zorbek/Zorbek.xml is not the empty database: $(cat "$data1/Zorbek.xml")"
else
  fail "the installed program did not create ~/.local/share/Zorbek/Zorbek.xml:"
  cat "$work/first.log" >&2
fi

# A second copy of the same user leaves at once and leaves the first running.
if (run_zorbek "$home1" timeout 30) >"$work/second.log" 2>&1; then
  kill -0 "$first" 2>/dev/null && pass "a second start exits at once; the first runs on" \
    || fail "the first copy ended when a second one started"
else
  fail "a second start did not exit at once (status $?)"
fi

# A second user runs a copy of their own beside the first, with files of their own.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null && id nobody >/dev/null 2>&1; then
  home2=$work/home2
  mkdir -p "$home2/run" && chmod 700 "$home2/run" && chmod 755 "$work"
  chown -R nobody: "$home2"
  run_zorbek "$home2" setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups \
    >"$work/other.log" 2>&1 &
  other=$!; pids+=("$other")
  if wait_for_file "$home2/.local/share/Zorbek/Zorbek.xml" "$other" && sleep 1 \
     && kill -0 "$other" 2>/dev/null; then
    pass "a second user's copy runs at the same time, on ~/.local/share/Zorbek/ of their own"
  else
    fail "a second user's copy did not run beside the first:"; cat "$work/other.log" >&2
  fi
  kill "$other" 2>/dev/null || true
  wait "$other" 2>/dev/null || true
else
  echo "skipped: a second user (needs root, setpriv and the user nobody)"
fi

# A termination request ends the first copy as closing its window does.
kill -TERM "$first"
if wait "$first"; then
  [ -s "$data1/Zorbek.xml" ] && zorbek-cli --db "$data1/Zorbek.xml" tree >/dev/null 2>&1 \
    && pass "the program ends on SIGTERM with its database readable" \
    || fail "the database is unreadable after the program ended"
else
  fail "the program ended with status $? on SIGTERM"; cat "$work/first.log" >&2
fi
pids=()

written=()
for f in "${beside[@]}"; do [ -e "$f" ] && written+=("$f"); done
if [ ${#written[@]} -eq 0 ]; then
  pass "nothing was written beside /usr/bin/Zorbek"
else
  fail "the program wrote its files beside itself: ${written[*]}"
  "${as_root[@]}" rm -f "${written[@]}"  # this check's own leftovers
fi

# --- Removal ----------------------------------------------------------------------------------
apt_get remove zorbek >"$work/remove.log" 2>&1 || { cat "$work/remove.log" >&2; exit 1; }
installed=0
left=()
while read -r f; do [ -e "$f" ] && left+=("$f"); done <"$work/files"
if [ ${#left[@]} -eq 0 ] && ! dpkg-query -W -f='${Status}' zorbek 2>/dev/null | grep -q "ok installed"; then
  pass "removing the package removed every file it installed"
else
  fail "files left after removal: ${left[*]}"
fi

if [ "$failures" -ne 0 ]; then
  echo "package-check: $failures check(s) failed" >&2
  exit 1
fi
echo "package-check: all checks passed"
