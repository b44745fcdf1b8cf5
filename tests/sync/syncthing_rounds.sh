#!/usr/bin/env bash
# Two machines, one notebook, carried by a real Syncthing: starts two Syncthing instances on the
# loopback interface (private homes; discovery, relays, NAT, upgrades and usage reporting off),
# shares one notebook folder between "machine A" and "machine B", and runs rounds of changes:
#   a    changes on A only,
#   b    changes on B only,
#   both changes on both sides while the machines do not see each other (the same note edited on
#        both, a note edited on one and deleted on the other, a folder renamed on one and a note
#        added into it on the other, reminders added on both), then the link is restored;
#   program  the program itself runs on A (headless, a user driving it from inside: the
#        end-to-end driver) with a note open in its editor while B changes that note, first with
#        no edits in the editor (it shows B's text), then with unsaved edits (it keeps them, puts
#        B's version beside the note as a conflict note, and the user saves); then both sides
#        change the database while they do not see each other (a folder made in the program, a
#        note and a reminder added on B) and the program merges the conflict copy Syncthing
#        makes. Needs ZORBEK_APP (the program) and ZORBEK_E2E_DRIVER (the driver library).
# After each round has converged (both folders hold the same files and Syncthing has nothing
# left to do), the side named by MERGE_ON merges what the round left in conflict
# (`zorbek-cli merge-conflicts`, when the zorbek-cli has it), the result converges again, and:
# every change made on either side is found on both (as the note, or as a conflict note), both
# databases agree with their stores (`zorbek-cli check`), and nothing was lost.
#
#   tests/sync/syncthing_rounds.sh ZORBEK_CLI [ROUNDS] [SECONDS] [KINDS]
# ROUNDS rounds (default 3) or SECONDS seconds (default 170), whichever comes first; KINDS is a
# comma-separated cycle of round kinds (default "a,b,both"). Prints one line of figures at the
# end; exits 1 on any loss or disagreement, 77 (skipped) when syncthing is not installed.
set -uo pipefail
cli=${1:?usage: syncthing_rounds.sh ZORBEK_CLI [ROUNDS] [SECONDS] [KINDS]}
rounds=${2:-3}
limit=${3:-170}
IFS=, read -r -a kinds <<<"${4:-a,b,both}"
command -v syncthing >/dev/null || { echo "syncthing is not installed: skipped"; exit 77; }
command -v curl >/dev/null || { echo "curl is not installed: skipped"; exit 77; }
cli=$(realpath "$cli")
[ -n "${ZORBEK_APP:-}" ] && ZORBEK_APP=$(realpath "$ZORBEK_APP")
[ -n "${ZORBEK_E2E_DRIVER:-}" ] && ZORBEK_E2E_DRIVER=$(realpath "$ZORBEK_E2E_DRIVER")
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0} QT_QPA_PLATFORM=offscreen
# Each machine's own files follow its HOME.
unset XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME

work=$(mktemp -d "${TMPDIR:-/tmp}/zorbek sync.XXXXXX")
mkdir -m 0700 "$work/run"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work/run}
pids=()
stop_all() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  [ -n "${KEEP:-}" ] && echo "kept: $work" || rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 2' INT TERM
start_time=$SECONDS
deadline=$((SECONDS + limit))

# Each Syncthing is stopped by the trap; a hard bound besides, in case this script is killed.
bound=$((limit + 60))
export STNOUPGRADE=1 STNODEFAULTFOLDER=1 STNORESTART=1 STGUIASSETS=

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

declare -A home gui key dev port folder
for m in A B; do
  home[$m]="$work/$m/syncthing"
  folder[$m]="$work/$m/笔记本"
  mkdir -p "${home[$m]}" "${folder[$m]}"
  gui[$m]=$(free_port)
  port[$m]=$(free_port)
  key[$m]="zorbek-test-$m-$RANDOM$RANDOM"
  syncthing generate --home="${home[$m]}" --no-default-folder >"$work/$m/generate.log" 2>&1 ||
    { cat "$work/$m/generate.log"; exit 1; }
  dev[$m]=$(syncthing serve --home="${home[$m]}" --device-id 2>/dev/null)
  # What is each machine's own stays out of the shared folder (syncthing_ignores, kept in one
  # place with the README's list).
  cp "$(dirname "$0")/stignore" "${folder[$m]}/.stignore"
  HOME="$work/$m" timeout "$bound" syncthing serve --home="${home[$m]}" --no-browser \
    --gui-address="http://127.0.0.1:${gui[$m]}" --gui-apikey="${key[$m]}" \
    --logfile="$work/$m/syncthing.log" >/dev/null 2>&1 &
  pids+=($!)
done

api() {  # api MACHINE METHOD PATH [JSON]
  local m=$1 method=$2 path=$3
  curl -fsS -m 30 -X "$method" -H "X-API-Key: ${key[$m]}" ${4:+-H 'Content-Type: application/json' -d "$4"} \
    "http://127.0.0.1:${gui[$m]}$path"
}

for m in A B; do
  for ((i = 0; i < 100; i++)); do api $m GET /rest/system/ping >/dev/null 2>&1 && break; sleep 0.2; done
  api $m GET /rest/system/ping >/dev/null || { echo "syncthing $m did not start"; cat "$work/$m/syncthing.log"; exit 1; }
  api $m PATCH /rest/config/options "{\"globalAnnounceEnabled\":false,\"localAnnounceEnabled\":false,
    \"relaysEnabled\":false,\"natEnabled\":false,\"urAccepted\":-1,\"autoUpgradeIntervalH\":0,
    \"crashReportingEnabled\":false,\"startBrowser\":false,
    \"listenAddresses\":[\"tcp://127.0.0.1:${port[$m]}\"]}" >/dev/null || exit 1
done
for pair in A:B B:A; do
  m=${pair%:*} o=${pair#*:}
  api $m PUT "/rest/config/devices/${dev[$o]}" "{\"deviceID\":\"${dev[$o]}\",\"name\":\"$o\",
    \"addresses\":[\"tcp://127.0.0.1:${port[$o]}\"],\"autoAcceptFolders\":false}" >/dev/null || exit 1
  api $m PUT /rest/config/folders/zorbek "{\"id\":\"zorbek\",\"label\":\"Zorbek\",
    \"path\":\"${folder[$m]}\",\"type\":\"sendreceive\",\"rescanIntervalS\":3600,
    \"fsWatcherEnabled\":true,\"fsWatcherDelayS\":1,
    \"devices\":[{\"deviceID\":\"${dev[$m]}\"},{\"deviceID\":\"${dev[$o]}\"}]}" >/dev/null || exit 1
done

json() { python3 -c "import json,sys; d=json.load(sys.stdin); print($1)"; }

# What a folder holds, ignoring what Syncthing ignores and its own marker and temporary files.
listing() {
  (cd "${folder[$1]}" && find . -mindepth 1 \( -name .stfolder -o -name '.syncthing.*' \
      -o -name '.stignore' -o -name '.*.lock' -o -name '.*.journal' -o -name '.*.tmp-*' \
      -o -name '.deleted-*' -o -name '.import-*' -o -name '.stversions' \) -prune -o -print0 |
    sort -z | while IFS= read -r -d '' f; do
      if [ -d "$f" ]; then printf 'D %s\n' "$f"; else printf 'F %s %s\n' "$f" "$(sha1sum <"$f" | cut -c1-40)"; fi
    done)
}

# Waits until both folders hold the same files and neither Syncthing has anything left to do.
converge() {
  local stable=0 t0=$SECONDS
  api A POST "/rest/db/scan?folder=zorbek" >/dev/null 2>&1
  api B POST "/rest/db/scan?folder=zorbek" >/dev/null 2>&1
  while ((SECONDS - t0 < 90)); do
    local ok=1
    for pair in A:B B:A; do
      local m=${pair%:*} o=${pair#*:}
      local st comp
      st=$(api $m GET "/rest/db/status?folder=zorbek" 2>/dev/null | json 'd["state"]+" "+str(d["needTotalItems"])' 2>/dev/null) || ok=0
      comp=$(api $m GET "/rest/db/completion?folder=zorbek&device=${dev[$o]}" 2>/dev/null | json 'd["completion"]' 2>/dev/null) || ok=0
      [ "$st" = "idle 0" ] && [ "${comp%.*}" = 100 ] || ok=0
    done
    if ((ok)) && [ "$(listing A)" = "$(listing B)" ]; then
      ((++stable >= 2)) && return 0
    else
      stable=0
    fi
    sleep 1
  done
  echo "round $round: the two folders did not converge in 90 s"
  diff <(listing A) <(listing B) | head -20
  return 1
}

set_link() {  # set_link paused|running: whether A and B see each other
  local p=false
  [ "$1" = paused ] && p=true
  api A PATCH "/rest/config/devices/${dev[B]}" "{\"paused\":$p}" >/dev/null
  api B PATCH "/rest/config/devices/${dev[A]}" "{\"paused\":$p}" >/dev/null
  if [ "$1" = running ]; then
    for ((i = 0; i < 150; i++)); do
      [ "$(api A GET /rest/system/connections 2>/dev/null |
            json "d['connections']['${dev[B]}']['connected']" 2>/dev/null)" = True ] && return 0
      sleep 0.2
    done
    echo "the machines did not connect again"
    return 1
  fi
}

on() {  # on MACHINE zorbek-cli ARGS...: a command on one machine's notebook
  local m=$1
  shift
  (cd "$work/$m" && HOME="$work/$m" "$cli" --db "${folder[$m]}/Zorbek.xml" "$@")
}

# A note's new text as the editor saves it (the RTF engine's own writer, through zorbek-cli
# convert), put in place by a rename as every save does.
write_note() {  # write_note MACHINE RELATIVE_PATH TEXT
  local f="${folder[$1]}/Zorbek/archive/$2" txt="$work/$1/note.txt" tmp
  tmp="$(dirname "$f")/.$(basename "$f").tmp-$RANDOM"
  printf '%s\n' "$3" >"$txt"
  "$cli" convert "$txt" "$tmp.esr" >/dev/null && mv -f "$tmp.esr" "$f"
}

# Whether TEXT holds WORDS. Not `command | grep -q`: grep ends at the first hit, the command may
# then die of a broken pipe, and pipefail would take that for no hit.
has() { [[ $2 == *"$1"* ]]; }

failures=0 changes=0 conflicts=0 lost=0 done_rounds=0 merge_waits=()
fail() { echo "round $round ($kind): $*"; ((++failures)); }
expect_text() {  # expect_text MACHINE TEXT: some note or conflict note of the machine holds TEXT
  local hit
  hit=$(on "$1" search "$2" 2>/dev/null | wc -l)
  ((hit > 0)) || { fail "machine $1 lost the text \"$2\""; ((++lost)); }
}
expect_item() {  # expect_item MACHINE NAME: a folder or note of that name is in the tree
  has "$2" "$(on "$1" tree 2>/dev/null)" || { fail "machine $1 lost the item $2"; ((++lost)); }
}
expect_reminder() {  # expect_reminder MACHINE TEXT
  has "$2" "$(on "$1" reminders 2>/dev/null)" || { fail "machine $1 lost the reminder \"$2\""; ((++lost)); }
}

# The notebook starts on A with two folders of notes and is carried to B.
make() {  # make MACHINE new-note|new-folder PARENT NAME: a note or folder of that name
  local name
  name=$(on "$1" "$2" "$3") && on "$1" rename "${3%/}/$name" "$4" >/dev/null
}
make A new-folder / 工作 && make A new-folder / 生活 || { echo "cannot make the notebook"; exit 1; }
for n in 周报 日记 清单; do
  make A new-note /工作 "$n" || exit 1
  write_note A "工作/$n.esr" "原文$n"
done
make A new-note /生活 菜谱 || exit 1
write_note A "生活/菜谱.esr" "原文菜谱"
converge || exit 1
has_merge=0
has merge-conflicts "$(on A --help 2>&1)" && has_merge=1

# One side's share of a round. Every text and name carries the round number, so that what each
# round added can be found afterwards.
side_changes() {  # side_changes MACHINE KIND ROUND
  local m=$1 kind=$2 r=$3
  case $kind in
    solo)
      make $m new-note /工作 "新笔记${m}_$r" &&
        write_note $m "工作/新笔记${m}_$r.esr" "正文${m}第${r}轮" || return 1
      write_note $m "工作/周报.esr" "周报${m}第${r}轮" || return 1
      on $m reminder-add --mode 0 --date 2027-01-0$((r % 9 + 1)) --time 08:00:00 "提醒${m}第${r}轮" >/dev/null || return 1
      make $m new-folder /生活 "目录${m}_$r" || return 1
      changes=$((changes + 4))
      ;;
    both)
      # The same note edited on both sides.
      write_note $m "工作/周报.esr" "周报${m}第${r}轮" || return 1
      # Reminders added on both.
      on $m reminder-add --mode 1 --time 09:0$((r % 10)):00 "提醒${m}第${r}轮" >/dev/null || return 1
      changes=$((changes + 2))
      if [ $m = A ]; then
        # A note deleted here and edited there; a folder renamed here, a note added into it there.
        on A delete "/工作/计划$r" >/dev/null || return 1
        on A rename "/旧目录$r" "新目录$r" >/dev/null || return 1
        changes=$((changes + 2))
      else
        write_note B "工作/计划$r.esr" "计划B第${r}轮" || return 1
        make B new-note "/旧目录$r" "新笔记B_$r" &&
          write_note B "旧目录$r/新笔记B_$r.esr" "正文B第${r}轮" || return 1
        changes=$((changes + 2))
      fi
      ;;
  esac
}

# Before a round of edits on both sides: the note one side deletes and the other edits, and the
# folder one side renames while the other adds a note into it.
prepare_both() {  # prepare_both ROUND
  local r=$1
  make A new-note /工作 "计划$r" && write_note A "工作/计划$r.esr" "原文计划$r" || return 1
  make A new-folder / "旧目录$r" || return 1
  make A new-note "/旧目录$r" "旧笔记$r" && write_note A "旧目录$r/旧笔记$r.esr" "原文旧笔记$r" || return 1
  converge
}

check_both() {
  for m in A B; do
    out=$(on $m check 2>&1) || fail "machine $m: database and store disagree: $(echo "$out" | head -5)"
  done
}

# The program on A. What its user saw goes to the report, one line each; the script tells the
# user what came by files in the control directory (tests/e2e/user_driver.cpp, "sync").
wait_report() {  # wait_report LINE_PREFIX: until the program's user reports it (60 s at most)
  local t0=$SECONDS
  while ((SECONDS - t0 < 60)); do
    grep -q -- "^$1" "$work/report" 2>/dev/null && return 0
    grep -q '^timeout=' "$work/report" 2>/dev/null && break
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.3
  done
  fail "the program's user did not see \"$1\": $(tr '\n' ' ' 2>/dev/null <"$work/report" | tail -c 600)"
  return 1
}
program_round() {  # program_round ROUND: the program is ended when the round fails
  program_steps "$1" && return 0
  # What the program was doing: alive or not, and its last words (its log stays with KEEP=1).
  if kill -0 "$app_pid" 2>/dev/null; then
    echo "round $1: the program was still running; its log ends:"
    kill -ABRT "$app_pid" 2>/dev/null && sleep 3  # under ASan (handle_abort) it prints where it was
  else
    echo "round $1: the program had ended; its log ends:"
  fi
  tail -15 "$work/A/program-$1.log" | cut -c1-300
  kill "$app_pid" 2>/dev/null
  wait "$app_pid" 2>/dev/null
  return 1
}
program_steps() {  # program_steps ROUND
  local r=$1 control="$work/control" data="$work/A/.local/share/Zorbek"
  rm -rf "$control" "$work/report" && mkdir -p "$control" "$data"
  printf '[Project]\nWorkPath=%s\n' "${folder[A]}/Zorbek.xml" >"$data/Zorbek.ini"
  (cd "$work/A" && exec env HOME="$work/A" XDG_RUNTIME_DIR="$work/run" LD_PRELOAD="$ZORBEK_E2E_DRIVER" \
    ZORBEK_E2E_SCENARIO=sync ZORBEK_E2E_REPORT="$work/report" ZORBEK_E2E_CONTROL="$control" \
    ASAN_OPTIONS="verify_asan_link_order=0:handle_abort=1:$ASAN_OPTIONS" \
    timeout "$bound" "$ZORBEK_APP" >"$work/A/program-$r.log" 2>&1) &
  app_pid=$!
  pids+=("$app_pid")
  wait_report opened= || return 1
  # B changes the open note; the editor, with nothing of its own, shows B's text.
  write_note B "工作/周报.esr" "周报B程序轮$r" && converge || return 1
  echo "程序A未保存的文字$r" >"$control/type"
  echo "周报B程序轮$r" >"$control/reload"
  wait_report reloaded= && wait_report typed= || return 1
  # B changes it again while the user's edits are unsaved: both texts stay.
  write_note B "工作/周报.esr" "周报B又改$r" && converge || return 1
  touch "$control/conflict"
  wait_report kept= && wait_report saved= || return 1
  grep -q '^kept=1' "$work/report" || fail "the editor did not keep its unsaved text"
  converge || return 1
  # Both sides change the database while they do not see each other.
  set_link paused
  echo "程序目录$r" >"$control/folder"
  wait_report folder= || return 1
  sleep 1.1  # B's database is the newer one
  make B new-note /工作 "B笔记程序轮$r" && write_note B "工作/B笔记程序轮$r.esr" "正文B程序轮$r" &&
    on B reminder-add --mode 1 --time 10:0$((r % 10)):00 "提醒B程序轮$r" >/dev/null || fail "a change on B failed"
  changes=$((changes + 6))
  set_link running || return 1
  touch "$control/meet"
  converge || return 1
  # The copy Syncthing made is on A by now; the program takes it in at the watcher's next event.
  local met=$SECONDS
  wait_report merged= || return 1
  merge_waits+=($((SECONDS - met)))
  converge || return 1
  touch "$control/quit"
  local t0=$SECONDS
  while kill -0 "$app_pid" 2>/dev/null && ((SECONDS - t0 < 60)); do sleep 0.3; done
  wait "$app_pid"
  local rc=$?
  ((rc == 0)) || fail "the program ended with status $rc: $(tail -5 "$work/A/program-$r.log")"
  converge || return 1
  for s in A B; do
    expect_text $s "周报B程序轮$r"
    expect_text $s "周报B又改$r"
    expect_text $s "程序A未保存的文字$r"
    expect_text $s "正文B程序轮$r"
    expect_item $s "程序目录$r"
    expect_item $s "B笔记程序轮$r"
    expect_reminder $s "提醒B程序轮$r"
  done
  # The open note holds the user's text, and B's second version is a conflict note beside it.
  has "周报" "$(on A search "程序A未保存的文字$r" 2>/dev/null)" ||
    fail "the saved note does not hold the user's text"
  has "周报_冲突_" "$(on A tree 2>/dev/null)" || fail "no conflict note beside the note"
  # The conflicts the program met: the note changed under its editor, the database copies merged.
  conflicts=$((conflicts + $(grep -c -e '^message=这篇笔记在别处被修改过' -e '^message=已合并' "$work/report")))
  sed -n 's/^message=/  the program said: /p' "$work/report" | cut -c1-200
}

round=0
while ((round < rounds && SECONDS < deadline)); do
  ((++round))
  kind=${kinds[$(((round - 1) % ${#kinds[@]}))]}
  case $kind in
    a|b)
      m=${kind^^}
      side_changes "$m" solo "$round" || fail "a change on $m failed"
      converge || { ((++failures)); break; }
      for s in A B; do
        expect_item $s "新笔记${m}_$round"
        expect_item $s "目录${m}_$round"
        expect_text $s "正文${m}第${round}轮"
        expect_text $s "周报${m}第${round}轮"
        expect_reminder $s "提醒${m}第${round}轮"
      done
      ;;
    both)
      if ((!has_merge)); then echo "round $round: this zorbek-cli cannot merge conflicts: skipped"; continue; fi
      prepare_both "$round" || { fail "cannot prepare"; break; }
      set_link paused
      side_changes A both "$round" || fail "a change on A failed"
      side_changes B both "$round" || fail "a change on B failed"
      set_link running || { ((++failures)); break; }
      converge || { ((++failures)); break; }
      before=$(find "${folder[A]}" -name '*.sync-conflict-*' ! -name '*.merged-*' | wc -l)
      conflicts=$((conflicts + before))
      merger=${MERGE_ON:-A}
      on "$merger" merge-conflicts >"$work/merge.out" 2>&1 || fail "merge-conflicts failed: $(cat "$work/merge.out")"
      converge || { ((++failures)); break; }
      for s in A B; do
        expect_text $s "周报A第${round}轮"
        expect_text $s "周报B第${round}轮"
        expect_text $s "计划B第${round}轮"
        expect_text $s "正文B第${round}轮"
        expect_reminder $s "提醒A第${round}轮"
        expect_reminder $s "提醒B第${round}轮"
        expect_item $s "新笔记B_$round"
        expect_item $s "新目录$round"
        expect_text $s "原文旧笔记$round"
      done
      ;;
    program)
      if [ -z "${ZORBEK_APP:-}" ] || [ -z "${ZORBEK_E2E_DRIVER:-}" ]; then
        echo "round $round: no program to run: skipped"; continue
      fi
      program_round "$round" || ((++failures))
      ;;
  esac
  check_both
  ((++done_rounds))
done

((${#merge_waits[@]})) &&
  echo "the program took in the database's conflict copy within (s, after convergence): ${merge_waits[*]}"
echo "rounds: $done_rounds, changes: $changes, conflicts: $conflicts, lost: $lost," \
  "failures: $failures, seconds: $((SECONDS - start_time))"
((failures == 0 && done_rounds > 0))
