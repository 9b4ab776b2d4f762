#!/bin/sh
# Runs a suite under qemu-user, restarting it when the emulator stalls; a suite that fails is not retried.
# Usage: emulated-suite.sh ATTEMPTS IDLE_SECONDS FORK_SECONDS BUDGET_SECONDS -- COMMAND [ARG...]
# Now and then qemu-user leaves a whole emulated JVM waiting on its own futexes for good, or a fork
# of it waiting before exec while the JVM waits in ProcessBuilder.start, where no watch of its own
# can act. A stall is a process tree that used no CPU for IDLE_SECONDS (an emulated JVM that works
# keeps a core busy), that holds a fork still running its parent's command line after FORK_SECONDS,
# or that ran past BUDGET_SECONDS.
set -u
if [ $# -lt 6 ] || [ "$5" != -- ]; then
  echo "usage: emulated-suite.sh ATTEMPTS IDLE_SECONDS FORK_SECONDS BUDGET_SECONDS -- COMMAND [ARG...]" >&2
  exit 2
fi
attempts=$1 idle_limit=$2 fork_limit=$3 budget=$4
shift 5
# How often to look, and how long a stalled JVM gets to print its thread dump.
poll=${EMULATED_SUITE_POLL_SECONDS:-2}
dump_wait=${EMULATED_SUITE_DUMP_SECONDS:-5}
clock_ticks=$(getconf CLK_TCK)

# Field N of a process's stat, counted after its command name, which may hold spaces and parentheses.
stat_field() {
  awk -v n="$2" '{ sub(/^.*\) /, ""); print $n }' "/proc/$1/stat" 2>/dev/null
}

# CPU ticks used so far by every process of the session, counting the reaped children of each.
# One cat for all: a process per file every poll would take the cores the emulated suites need.
session_ticks() {
  cat /proc/[0-9]*/stat 2>/dev/null | awk -v sid="$1" '{
      sub(/^.*\) /, "")
      if ($4 == sid) sum += $12 + $13 + $14 + $15
    } END { print sum + 0 }'
}

# The processes of a session, one "PID PARENT" line each.
session_members() {
  cat /proc/[0-9]*/stat 2>/dev/null | awk -v sid="$1" '{ pid = $1; sub(/^.*\) /, ""); if ($4 == sid) print pid, $2 }'
}

# The session's processes that run their parent's command line: forks that have not reached exec.
unexecuted_forks() {
  session_members "$1" | while read -r pid parent; do
    # /proc reports no size; a zombie's command line is empty.
    [ -n "$(head -c 1 "/proc/$pid/cmdline" 2>/dev/null)" ] && cmp -s "/proc/$pid/cmdline" "/proc/$parent/cmdline" && echo "$pid"
  done
}

# One line per process of the session: what each thread waits in, and the host's command line.
describe_session() {
  session_members "$1" | while read -r pid parent; do
    dir=/proc/$pid
    waits=$(for wchan in "$dir"/task/*/wchan; do cat "$wchan" 2>/dev/null; echo; done | sed 's/^0$/running/' | sort | uniq -c |
      awk '{ printf "%s%s x%s", sep, $2, $1; sep = ", " }')
    command=$(tr '\0' ' ' <"$dir/cmdline" 2>/dev/null | cut -c1-160)
    echo "  pid $pid: threads waiting in ${waits:-?}; $command"
  done
}

attempt=1
while :; do
  # A background job of a non-interactive shell leads no process group, so setsid execs in place:
  # the job's pid names the session that holds the whole tree.
  setsid "$@" &
  session=$!
  started=$(date +%s)
  last_ticks=-1
  idle_since=$started
  forks_seen=   # "PID@SECOND" for each unexecuted fork, since when it was first seen
  stalled=
  while kill -0 "$session" 2>/dev/null && [ "$(stat_field "$session" 1)" != Z ]; do
    sleep $poll
    now=$(date +%s)
    ticks=$(session_ticks "$session")
    # A tenth of a second per poll is what an idle JVM's own housekeeping may use.
    if [ $((ticks - last_ticks)) -gt $((clock_ticks / 10)) ]; then
      idle_since=$now
    fi
    last_ticks=$ticks
    still_seen=
    for pid in $(unexecuted_forks "$session"); do
      since=$(echo "$forks_seen" | tr ' ' '\n' | sed -n "s/^$pid@//p")
      still_seen="$still_seen $pid@${since:=$now}"
      [ $((now - since)) -ge "$fork_limit" ] && stalled="fork $pid still runs its parent's command line after $((now - since)) s"
    done
    forks_seen=$still_seen
    [ -n "$stalled" ] && break
    if [ $((now - idle_since)) -ge "$idle_limit" ]; then
      stalled="no CPU used for $((now - idle_since)) s"
      break
    fi
    if [ $((now - started)) -ge "$budget" ]; then
      stalled="still running after $((now - started)) s"
      break
    fi
  done
  if [ -z "$stalled" ]; then
    wait "$session"
    exit $?
  fi
  echo "emulated-suite: attempt $attempt of $attempts stalled: $stalled"
  describe_session "$session"
  # A JVM that still handles signals prints its threads' stacks: where the suite was.
  kill -QUIT "$session" 2>/dev/null
  sleep "$dump_wait"
  kill -KILL $(session_members "$session" | cut -d' ' -f1) 2>/dev/null
  wait "$session" 2>/dev/null
  if [ "$attempt" -ge "$attempts" ]; then
    echo "emulated-suite: giving up after $attempts stalled attempts"
    exit 1
  fi
  attempt=$((attempt + 1))
  echo "emulated-suite: restarting, attempt $attempt of $attempts"
done
