#!/bin/sh
# Checks the emulated suites' watchdog on real processes: stalls restart, failures and passes do not.
set -u
watchdog="$(dirname "$0")/emulated-suite.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect NAME STATUS RESTARTS ATTEMPTS IDLE BUDGET COMMAND: the watchdog's exit status and restarts.
expect() {
  name=$1 status=$2 restarts=$3
  shift 3
  sh "$watchdog" "$1" "$2" "$3" -- sh -c "$4" >"$work/out" 2>&1
  got=$?
  got_restarts=$(grep -c '^emulated-suite: restarting' "$work/out")
  if [ "$got" -ne "$status" ] || [ "$got_restarts" -ne "$restarts" ]; then
    echo "FAIL $name: status $got (want $status), $got_restarts restarts (want $restarts)"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# Each attempt writes its session's id, so the test can see that nothing of it outlives a stall.
record='echo $$ >>'"$work"'/sessions;'
expect "a passing suite runs once" 0 0 3 3 60 "$record exit 0"
expect "a failing suite is not retried" 3 0 3 3 60 "$record exit 3"
expect "an idle tree is restarted, then passes" 0 1 3 3 60 \
  "$record if [ -e $work/stalled ]; then exit 0; fi; touch $work/stalled; sleep 100 & sleep 100"
expect "a busy tree past its budget is given up" 1 1 2 60 3 "$record while :; do :; done"
expect "a suite that works without a pause is left alone" 0 0 3 3 60 \
  "$record end=\$((\$(date +%s) + 6)); while [ \$(date +%s) -lt \$end ]; do :; done"

sleep 1
for session in $(cat "$work/sessions"); do
  left=$(ps -e -o sess=,stat=,pid= | awk -v s="$session" '$1 == s && $2 !~ /^Z/ { print $3 }')
  if [ -n "$left" ]; then
    echo "FAIL session $session still has processes: $left"
    failures=$((failures + 1))
  fi
done
[ "$(wc -l <"$work/sessions")" -eq 7 ] || { echo "FAIL expected 7 attempts, saw $(wc -l <"$work/sessions")"; failures=$((failures + 1)); }
exit $((failures > 0))
