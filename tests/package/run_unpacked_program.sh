#!/bin/bash
# Runs inside xvfb-run, as the user the program is tested as (see package_test.sh):
#   run_unpacked_program.sh <program> <ruffle folder> <expected data folder> <sandbox check: 1|0>
# Starts the program and checks its window, its Ruffle files, its sandbox and its data;
# then chooses the first lesson of the menu, which the demo site serves, and checks that
# it is downloaded whole into the data folder and then played from there.
set -u
program=$1 ruffle=$2 data=$3 sandbox_check=${4:-1}
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Polls a condition until it holds or the deadline passes (a loaded machine is slow).
wait_for() {
  local seconds=$1
  shift
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}

scratch=$(mktemp -d)
inotifywait -m -e open --format '%f' "$ruffle" >"$scratch/opened" 2>"$scratch/inotify.err" &
watcher=$!
wait_for 30 grep -q 'Watches established' "$scratch/inotify.err" || fail "inotifywait did not start"

"$program" >"$scratch/program.log" 2>&1 &
pid=$!
alive() { kill -0 "$pid" 2>/dev/null; }

window_shown() {
  alive && xwininfo -root -tree 2>/dev/null | grep -qF '"Pebblewick2.0"'
}
if ! wait_for 120 window_shown; then
  alive || echo "the program ended early"
  fail "no window named Pebblewick2.0"
fi

# The player page asks for ruffle.js; it must come from the unpacked tree, not the build.
wait_for 120 grep -qx 'ruffle.js' "$scratch/opened" || fail "ruffle.js was not read from $ruffle"

# True when process $1 is the program or was started by it (other programs on the
# machine may run web engines of their own).
from_program() {
  local p=$1
  while [ -n "$p" ] && [ "$p" -gt 1 ]; do
    [ "$p" = "$pid" ] && return 0
    p=$(awk '/^PPid:/ { print $2 }' "/proc/$p/status" 2>/dev/null)
  done
  return 1
}

# The web engine runs with its sandbox: no process of it is told --no-sandbox, and its
# render processes (forked from its zygote, so named like it) run under a seccomp filter
# (mode 2) in a PID namespace of their own.
if [ "$sandbox_check" = 1 ]; then
  sandboxed=0
  for proc in /proc/[0-9]*; do
    from_program "${proc#/proc/}" || continue
    cmdline=$(tr '\0' ' ' <"$proc/cmdline" 2>/dev/null) || continue
    case $cmdline in *QtWebEngineProcess*) ;; *) continue ;; esac
    case $cmdline in *--no-sandbox*) fail "a web engine process runs without its sandbox: $cmdline" ;; esac
    if grep -qx $'Seccomp:\t2' "$proc/status" && [ "$(awk '/^NSpid:/ { print NF }' "$proc/status")" -gt 2 ]; then
      sandboxed=$((sandboxed + 1))
    fi
  done
  [ $sandboxed -gt 0 ] || fail "no sandboxed render process of the web engine"
else
  echo "sandbox check skipped"
fi

# The first lesson of the menu (its first category is open at start) and its cache file.
lesson_cache=actdlh.ylq
menu_first_lesson_x=44 menu_first_lesson_y=111

# An uncompressed SWF is whole when its header's length is its size.
whole_swf() {
  [ "$(head -c 3 "$1")" = FWS ] && [ "$(od -An -j4 -N4 -tu4 "$1" | tr -d ' ')" = "$(stat -c %s "$1")" ]
}

idle_movie_written() { [ -s "$data/3.swf" ]; }
wait_for 60 idle_movie_written || fail "no 3.swf in $data"
[ "$(stat -c %a "$data" 2>/dev/null)" = 700 ] || fail "$data is not private to the user"

if [ -d "$data" ]; then
  inotifywait -m -e moved_to,close_write,open --format '%e %f' "$data" >"$scratch/data_events" \
    2>"$scratch/data_inotify.err" &
  data_watcher=$!
  wait_for 30 grep -q 'Watches established' "$scratch/data_inotify.err" || fail "inotifywait did not start"
  window=$(xdotool search --name '^Pebblewick2[.]0$' | head -n 1)
  xdotool mousemove --window "$window" $menu_first_lesson_x $menu_first_lesson_y click 1
  lesson_whole() { [ -s "$data/$lesson_cache" ] && [ ! -e "$data/$lesson_cache.part" ]; }
  wait_for 120 lesson_whole || fail "the lesson was not downloaded into $data/$lesson_cache"
  whole_swf "$data/$lesson_cache" || fail "$data/$lesson_cache is not a whole movie"
  # Played: the player reads the cache file once it is written (or renamed into place).
  played() {
    sed -En "/^(MOVED_TO|CLOSE_WRITE,CLOSE) $lesson_cache\$/,\$p" "$scratch/data_events" |
      grep -qx "OPEN $lesson_cache"
  }
  wait_for 60 played || fail "the downloaded lesson was not played from $data"
  kill "$data_watcher" 2>/dev/null
  wait "$data_watcher" 2>/dev/null
fi

alive || fail "the program ended by itself"
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
kill "$watcher" 2>/dev/null
wait "$watcher" 2>/dev/null
if [ $failures -ne 0 ]; then
  echo "--- program output"
  tail -n 40 "$scratch/program.log"
fi
rm -rf "$scratch"
exit $((failures > 0))
