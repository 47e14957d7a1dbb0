#!/usr/bin/env bash
# recogniser.sh <wine-run>: which failures wine-run runs again. Only one
# that printed nothing and ended with the status of Wine's start-up race is
# run once more, and noted; one that printed first (a failing test ends
# with that status too) and one that ended otherwise (a crash of our own
# start-up prints nothing either) fail, and so does every silent failure
# where no such status is set.
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
# The race's status as the test bed knows it (scripts/wine-env).
unset VELRA_RACE_EXIT
race=$(. "${winerun%/*}/wine-env" && echo "$velra_race_exit")
[ -n "$race" ] || { echo "no status of the race is set"; status=1; }
case_ "the race" "$race" "" 0 2 1
grep -q 'stand-in.sh.*exit '"$race"' (Wine' "$VELRA_RETRY_LOG" || { echo "the race: not noted with its name"; status=1; }
case_ "a failing test" "$race" "[  FAILED  ] x" "$race" 1 0
case_ "silent, another status" 3 "" 3 1 0
grep -q 'stand-in.sh.*printed nothing, exit 3: failed' "$VELRA_RETRY_LOG" || { echo "a silent failure: not noted"; status=1; }
# Where no status is set, every silent failure fails.
export VELRA_RACE_EXIT=
case_ "silent, no status set" "$race" "" "$race" 1 0
exit $status
