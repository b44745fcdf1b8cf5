#!/usr/bin/env bash
# Kills changing zorbek-cli commands at random moments and checks, after each kill, that the
# next open leaves the note store and the database in agreement with no temporary files left.
#   tests/crash/kill_commands.sh ZORBEK_CLI [KILLS] [SECONDS] [NOTES]
# Stops after KILLS kills or SECONDS seconds, whichever comes first; exits 1 on any disagreement
# or leftover. SEED fixes the choice of commands and moments (the timing still varies); VERBOSE=1
# prints every command.
#
# The commands: new note and folder, rename of a note and a folder, paste, delete of a note and
# a folder, moves among siblings and into another folder (drag), sort, import of .rtf and .txt
# files, drop of .esr files, reminder changes, the conversion of a legacy data set into a
# database of its own (afresh, or replacing the notes of the last one), and the recycle bin:
# deleting everything, restoring the newest entry of the bin. After a delete or a restore every
# note text is still there, in the tree or in the bin.
set -uo pipefail
cli=${1:?usage: kill_commands.sh ZORBEK_CLI [KILLS] [SECONDS] [NOTES]}
kills=${2:-300}
limit=${3:-120}
notes=${4:-400}
work=$(mktemp -d "${TMPDIR:-/tmp}/zorbek crash.XXXXXX")
trap 'rm -rf "$work"' EXIT
db="$work/笔记/Zorbek.xml"
store="$work/笔记/Zorbek/archive"
trash="$work/笔记/Zorbek/trash"
converted="$work/转换/Zorbek.xml"
outside="$work/外部"
legacy="$work/旧数据"
# The import's own scratch copies go here, to be counted too.
export TMPDIR="$work/tmp"
mkdir -p "$TMPDIR" "$outside"
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

# Files to bring in.
printf '{\\rtf1\\ansi 外来的文章}' >"$outside/文章.rtf"
printf '第一项\n第二项\n' >"$outside/清单.txt"
printf '{\\rtf1\\ansi 随笔}' >"$outside/随笔.esr"

# A legacy data set (code page 936, CR LF): TreeStru.dat names by depth, TreeFiles.dat the
# text file of each line, doc/STEM.txt the texts.
mkdir -p "$legacy/doc"
{
  for ((f = 0; f < 4; f++)); do
    printf '旧目录%d\r\n' "$f"
    for ((n = 0; n < 8; n++)); do printf '\t旧笔记%d\r\n' "$n"; done
  done
} | iconv -f UTF-8 -t CP936 >"$legacy/TreeStru.dat"
{
  for ((f = 0; f < 4; f++)); do
    printf 'd%d\r\n' "$f"
    for ((n = 0; n < 8; n++)); do printf 'n%d_%d\r\n' "$f" "$n"; done
  done
} >"$legacy/TreeFiles.dat"
for ((f = 0; f < 4; f++)); do
  printf '旧目录%d的说明\r\n' "$f" | iconv -f UTF-8 -t CP936 >"$legacy/doc/d$f.txt"
  for ((n = 0; n < 8; n++)); do
    printf '旧笔记%d-%d的正文\r\n第二行\r\n' "$f" "$n" | iconv -f UTF-8 -t CP936 >"$legacy/doc/n${f}_$n.txt"
  done
done

# Item paths of the tree, kind and path, read once per round.
items=""
read_items() {
  items=$("$cli" --db "$db" tree | awk '
    { match($0, /^ */); depth = RLENGTH / 2; line = substr($0, RLENGTH + 1)
      split(line, parts, " \\["); name = parts[1]; kind = substr(parts[2], 1, 3)
      path[depth] = name; p = path[0]; for (i = 1; i <= depth; i++) p = p "/" path[i]
      print kind "\t" p }')
}

pick() {  # pick KIND (dir, esr or any)
  local list
  if [ "$1" = any ]; then list=$(printf '%s\n' "$items" | cut -f2)
  else list=$(printf '%s\n' "$items" | awk -F'\t' -v k="$1" '$1 == k { print $2 }'); fi
  [ -z "$list" ] && { echo /; return; }
  local count; count=$(printf '%s\n' "$list" | wc -l)
  printf '%s\n' "$list" | sed -n "$((RANDOM % count + 1))p"
}

# Prints the kind of command on the first line, then its arguments, one a line. The commands
# that need the RTF engine start more slowly; their kill comes within a longer window.
command_line() {
  local where
  case $((RANDOM % 19)) in
    0) echo new-note; echo new-note; pick any ;;
    1) echo new-folder; echo new-folder; pick dir ;;
    2) echo rename-note; echo rename; pick esr; echo "改名$RANDOM" ;;
    3) echo rename-folder; echo rename; pick dir; echo "改目录$RANDOM" ;;
    4) echo paste; echo paste; pick esr; pick dir ;;
    5) echo delete-note; echo delete; pick esr ;;
    6) echo delete-folder; echo delete; pick dir ;;
    7) where=(up down top bottom); echo move; echo move; pick any; echo "${where[RANDOM % 4]}" ;;
    8) echo drag; echo drag; pick any; pick dir ;;
    9) echo sort; echo sort; pick dir; where=(folders files mixed); echo "${where[RANDOM % 3]}" ;;
    10) echo import; echo import; pick any; echo "$outside/文章.rtf"; echo "$outside/清单.txt" ;;
    11) echo drop; echo drop; pick any; echo "$outside/随笔.esr" ;;
    12) echo reminder; echo reminder-add; echo --mode; echo 1; echo --time; echo 08:00:00; echo "提醒$RANDOM" ;;
    13|14) echo restore; echo restore
       "$cli" --db "$db" trash | head -1 | cut -f1 | grep . || echo / ;;
    15) echo delete-all; echo delete; echo / ;;
    *) echo convert; echo convert-ramulo; echo "$legacy"; echo "$(dirname "$converted")"
       [ -e "$converted" ] && [ $((RANDOM % 2)) = 0 ] && echo --replace ;;
  esac
}

# Checks one database after a kill: the next open settles it, then the store must agree and no
# temporary file of ours may be left beside the database or in its store. found: how many
# disagreements this kill brought (one that stays is counted when it first appears).
check_database() {  # check_database DB LABEL
  local dbfile=$1 label=$2 dir; dir=$(dirname "$dbfile")
  local prev="$work/agreement.$(basename "$dir")"
  touch "$prev"
  found=0
  # A conversion killed before its database was written: the next open makes an empty one,
  # and no note of the conversion may be left beside it.
  if ! "$cli" --db "$dbfile" recover >/dev/null 2>"$work/recover.err"; then
    echo "$label: recover failed: $(cat "$work/recover.err")"
    found=$((found + 1))
  fi
  "$cli" --db "$dbfile" check 2>&1 | LC_ALL=C sort >"$work/check.out"
  local fresh; fresh=$(LC_ALL=C comm -13 "$prev" "$work/check.out")
  if [ -n "$fresh" ]; then
    echo "$label:"; printf '%s\n' "$fresh" | sed 's/^/  /' | head -10
    found=$((found + $(printf '%s\n' "$fresh" | wc -l)))
  fi
  mv "$work/check.out" "$prev"
  local temps
  temps=$(find "$dir" \( -name '.*.tmp-??????' -o -name '.Zorbek.xml.journal' \) 2>/dev/null)
  if [ -n "$temps" ]; then
    echo "$label: temporary files left after the next open:"; printf '%s\n' "$temps" | sed 's/^/  /'
    leftovers=$((leftovers + $(printf '%s\n' "$temps" | wc -l)))
    find "$dir" \( -name '.*.tmp-??????' -o -name '.Zorbek.xml.journal' \) -delete 2>/dev/null
  fi
}

# Every note text in the store and in the recycle bin, one a line, sorted.
note_texts() {
  find "$store" "$trash" -name '*.esr' -type f -exec sh -c 'for f; do cat "$f"; echo; done' _ {} + \
    2>/dev/null | LC_ALL=C sort
}

declare -A tried killed bad windows
kinds=(new-note new-folder rename-note rename-folder paste delete-note delete-folder delete-all
       restore move drag sort import drop reminder convert)
for k in "${kinds[@]}"; do tried[$k]=0; killed[$k]=0; bad[$k]=0; windows[$k]=80; done
windows[import]=200  # the commands that load the RTF engine start more slowly
windows[convert]=300
start=$SECONDS
done_kills=0
disagreements=0
leftovers=0
while [ "$done_kills" -lt "$kills" ] && [ $((SECONDS - start)) -lt "$limit" ]; do
  read_items
  mapfile -t line < <(command_line)
  kind=${line[0]}
  args=("${line[@]:1}")
  target=$db
  if [ "$kind" = convert ]; then
    target=$converted
    if [ "${args[-1]}" != --replace ]; then
      rm -rf "$(dirname "$converted")"
      : >"$work/agreement.$(basename "$(dirname "$converted")")"
    fi
  fi
  [ "${VERBOSE:-0}" = 1 ] && echo "$((done_kills + 1)): ${args[*]}"
  case $kind in delete-*|restore) note_texts >"$work/texts.before" ;; esac
  if [ "$kind" = convert ]; then
    "$cli" "${args[@]}" </dev/null >/dev/null 2>&1 &
  else
    "$cli" --db "$db" "${args[@]}" </dev/null >/dev/null 2>&1 &
  fi
  pid=$!
  # A moment within the command's run: a window per kind of command that shrinks when the
  # command was done before its kill and grows when it was not, so that about two kills in
  # three land inside the run, anywhere in it.
  window=${windows[$kind]}
  delay=$((RANDOM * 32768 + RANDOM))
  delay=$((delay % window))
  sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  status=$?
  if [ "$status" -eq 137 ]; then window=$((window * 21 / 20 + 1)); else window=$((window * 9 / 10)); fi
  [ "$window" -lt 10 ] && window=10
  windows[$kind]=$window
  done_kills=$((done_kills + 1))
  tried[$kind]=$((tried[$kind] + 1))
  [ "$status" -eq 137 ] && killed[$kind]=$((killed[$kind] + 1))
  check_database "$target" "kill $done_kills (${args[*]})"
  case $kind in
    delete-*|restore)
      note_texts >"$work/texts.after"
      if ! cmp -s "$work/texts.before" "$work/texts.after"; then
        echo "kill $done_kills (${args[*]}): note texts lost or doubled between tree and bin:"
        diff "$work/texts.before" "$work/texts.after" | head -6 | sed 's/^/  /'
        found=$((found + 1))
      fi ;;
  esac
  bad[$kind]=$((bad[$kind] + found))
  disagreements=$((disagreements + found))
done
# The import's scratch copies of a killed command stay in the temporary directory (the system
# clears it); counted, not failed.
scratch=$(find "$TMPDIR" -mindepth 1 -maxdepth 1 -name 'zorbek-import-*' | wc -l)

echo
printf '%-14s %6s %8s %14s\n' command runs killed disagreements
for k in "${kinds[@]}"; do
  printf '%-14s %6d %8d %14d\n' "$k" "${tried[$k]}" "${killed[$k]}" "${bad[$k]}"
done
total_killed=0
for k in "${kinds[@]}"; do total_killed=$((total_killed + killed[$k])); done
echo "kills: $done_kills ($total_killed inside a command's run) in $((SECONDS - start)) s; disagreements: $disagreements;" \
     "temporary files left: $leftovers; import scratch directories left in TMPDIR: $scratch"
[ "$disagreements" -eq 0 ] && [ "$leftovers" -eq 0 ]
