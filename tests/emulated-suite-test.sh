#!/bin/sh
# Checks the emulated suites' watchdog on real processes: stalls restart, failures and passes do not.
set -u
watchdog="$(dirname "$0")/emulated-suite.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
# Stalls here are sh processes, which print no thread dump.
EMULATED_SUITE_POLL_SECONDS=1 EMULATED_SUITE_DUMP_SECONDS=1
export EMULATED_SUITE_POLL_SECONDS EMULATED_SUITE_DUMP_SECONDS

# expect NAME STATUS RESTARTS WHY ATTEMPTS IDLE FORK BUDGET COMMAND: the watchdog's exit status,
# its restarts, and the words that must name why it stalled ("" when it must not).
expect() {
  name=$1 status=$2 restarts=$3 why=$4
  shift 4
  sh "$watchdog" "$1" "$2" "$3" "$4" -- sh -c "$5" >"$work/out" 2>&1
  got=$?
  got_restarts=$(grep -c '^emulated-suite: restarting' "$work/out")
  got_why=$(sed -n 's/^emulated-suite: attempt 1 of [0-9]* stalled: //p' "$work/out")
  if [ "$got" -ne "$status" ] || [ "$got_restarts" -ne "$restarts" ] ||
      { [ -n "$why" ] && ! echo "$got_why" | grep -q "$why"; }; then
    echo "FAIL $name: status $got (want $status), $got_restarts restarts (want $restarts), stalled: $got_why (want $why)"
    sed 's/^/    /' "$work/out"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# Each attempt writes its session's id, so the test can see that nothing of it outlives a stall.
record='echo $$ >>'"$work"'/sessions;'
expect "a passing suite runs once" 0 0 "" 3 3 3 60 "$record exit 0"
expect "a failing suite is not retried" 3 0 "" 3 3 3 60 "$record exit 3"
expect "an idle tree is restarted, then passes" 0 1 "no CPU" 3 3 60 60 \
  "$record if [ -e $work/stalled ]; then exit 0; fi; touch $work/stalled; sleep 100 & sleep 100"
expect "a busy tree past its budget is given up" 1 1 "still running" 2 60 60 3 "$record while :; do :; done"
# A subshell with more than one command is a fork of sh that does not exec, while its parent works.
expect "a busy tree with a fork that never execs is restarted" 0 1 "parent's command line" 3 60 3 20 \
  "$record if [ -e $work/forked ]; then exit 0; fi; touch $work/forked; (sleep 100; :) & while :; do :; done"
# Its idle limit spans several polls, so a loaded machine's slow poll cannot count as a rest.
expect "a suite that works without a pause is left alone" 0 0 "" 3 5 3 60 \
  "$record timeout 8 sh -c 'while :; do :; done'; exit 0"

sleep 1
for session in $(cat "$work/sessions"); do
  left=$(ps -e -o sess=,stat=,pid= | awk -v s="$session" '$1 == s && $2 !~ /^Z/ { print $3 }')
  if [ -n "$left" ]; then
    echo "FAIL session $session still has processes: $left"
    failures=$((failures + 1))
  fi
done
[ "$(wc -l <"$work/sessions")" -eq 9 ] || { echo "FAIL expected 9 attempts, saw $(wc -l <"$work/sessions")"; failures=$((failures + 1)); }
exit $((failures > 0))
