#!/usr/bin/env bash
# Kills changing zorbek-cli commands at random moments and checks, after each kill, that the
# next open leaves the note store and the database in agreement with no temporary files left.
#   tests/crash/kill_commands.sh ZORBEK_CLI [KILLS] [SECONDS] [NOTES]
# Stops after KILLS kills or SECONDS seconds, whichever comes first; exits 1 on any disagreement.
set -uo pipefail
cli=${1:?usage: kill_commands.sh ZORBEK_CLI [KILLS] [SECONDS] [NOTES]}
kills=${2:-300}
limit=${3:-120}
notes=${4:-400}
work=$(mktemp -d "${TMPDIR:-/tmp}/zorbek crash.XXXXXX")
trap 'rm -rf "$work"' EXIT
db="$work/笔记/Zorbek.xml"
store="$work/笔记/Zorbek/archive"
RANDOM=${SEED:-$$}

# A store of folders with notes, written directly.
mkdir -p "$store"
{
  printf '<list><hotkey/><filetree><archive>'
  folders=$((notes / 10))
  for ((f = 0; f < folders; f++)); do
    mkdir -p "$store/目录$f"
    printf '<目录%d type="dir" state="expanded">' "$f"
    for ((n = 0; n < 10; n++)); do
      printf '{\\rtf1\\ansi 笔记 %d-%d}' "$f" "$n" >"$store/目录$f/笔记$n.esr"
      printf '<笔记%d type="esr"/>' "$n"
    done
    printf '</目录%d>' "$f"
  done
  printf '</archive></filetree></list>'
} >"$db"

# Item paths of the tree, folders and notes.
items() {
  "$cli" --db "$db" tree | awk '
    { match($0, /^ */); depth = RLENGTH / 2; line = substr($0, RLENGTH + 1)
      split(line, parts, " \\["); name = parts[1]; kind = substr(parts[2], 1, 3)
      path[depth] = name; p = path[0]; for (i = 1; i <= depth; i++) p = p "/" path[i]
      print kind "\t" p }'
}

pick() {  # pick KIND (dir, esr or any)
  local list
  if [ "$1" = any ]; then list=$(items | cut -f2); else list=$(items | awk -F'\t' -v k="$1" '$1 == k { print $2 }'); fi
  [ -z "$list" ] && { echo /; return; }
  local count; count=$(printf '%s\n' "$list" | wc -l)
  printf '%s\n' "$list" | sed -n "$((RANDOM % count + 1))p"
}

command_line() {
  case $((RANDOM % 9)) in
    0) echo new-note; pick any ;;
    1) echo new-folder; pick dir ;;
    2) echo rename; pick esr; echo "改名$RANDOM" ;;
    3) echo rename; pick dir; echo "改目录$RANDOM" ;;
    4) echo paste; pick esr; pick dir ;;
    5) echo delete; pick esr ;;
    6) echo delete; pick dir ;;
    7) echo move; pick any; echo $([ $((RANDOM % 2)) = 0 ] && echo up || echo down) ;;
    8) echo sort; pick dir; echo mixed ;;
  esac
}

start=$SECONDS
done_kills=0
bad=0
while [ "$done_kills" -lt "$kills" ] && [ $((SECONDS - start)) -lt "$limit" ]; do
  mapfile -t args < <(command_line)
  "$cli" --db "$db" "${args[@]}" </dev/null >/dev/null 2>&1 &
  pid=$!
  # A moment within the command's run (under the sanitizers a command takes 50-200 ms).
  sleep "0.$(printf '%03d' $((RANDOM % 200)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  done_kills=$((done_kills + 1))
  if ! "$cli" --db "$db" recover >/dev/null 2>"$work/recover.err"; then
    echo "kill $done_kills (${args[*]}): recover failed: $(cat "$work/recover.err")"
    bad=$((bad + 1))
  fi
  if ! "$cli" --db "$db" check >"$work/check.out" 2>&1; then
    echo "kill $done_kills (${args[*]}):"
    sed 's/^/  /' "$work/check.out"
    bad=$((bad + $(wc -l <"$work/check.out")))
  fi
done
leftovers=$(find "$work" -name '.*.tmp-??????' | wc -l)
echo "kills: $done_kills in $((SECONDS - start)) s; disagreements: $bad; temporary files left: $leftovers"
[ "$bad" -eq 0 ] && [ "$leftovers" -eq 0 ]
