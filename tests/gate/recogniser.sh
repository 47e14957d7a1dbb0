#!/usr/bin/env bash
# recogniser.sh <wine-run>: which failures wine-run runs again. Only one
# that printed nothing and ended with the status of Wine's start-up race is
# run once more, and noted; one that printed first, one that ended otherwise
# (a crash of our own start-up prints nothing either) and a failing test
# fail, and so does every silent failure while no such status is known.
set -u
winerun=$1
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export VELRA_RETRY_LOG="$tmp/retries.log"
status=0
# case NAME EXIT TEXT WANT_EXIT WANT_RUNS WANT_NOTES
case_() {
  : >"$VELRA_RETRY_LOG"
  rm -f "$tmp/count"
  "$winerun" --unix sh "$here/stand-in.sh" "$tmp/count" "$2" "$3" >"$tmp/out"
  rc=$?
  runs=$(cat "$tmp/count")
  notes=$(grep -c 'run once more' "$VELRA_RETRY_LOG")
  if [ "$rc" != "$4" ] || [ "$runs" != "$5" ] || [ "$notes" != "$6" ]; then
    echo "$1: exit $rc, $runs runs, $notes noted; wanted $4, $5, $6"; status=1
  fi
}
# No status known (as now): a silent failure is noted, and fails.
unset VELRA_RACE_EXIT
case_ "silent, no race status known" 77 "" 77 1 0
grep -q 'stand-in.sh.*printed nothing, exit 77: failed' "$VELRA_RETRY_LOG" || { echo "a silent failure: not noted"; status=1; }
# The race's status, as a test bed that has seen it sets it.
export VELRA_RACE_EXIT=77
velra_race_exit=77
case_ "the race" "$velra_race_exit" "" 0 2 1
grep -q 'stand-in.sh.*exit '"$velra_race_exit" "$VELRA_RETRY_LOG" || { echo "the race: not noted with its name"; status=1; }
case_ "printed, then the race's status" "$velra_race_exit" "[ RUN      ] x" "$velra_race_exit" 1 0
case_ "silent, another status" 3 "" 3 1 0
case_ "a failing test" 1 "[  FAILED  ] x" 1 1 0
exit $status
