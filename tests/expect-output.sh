#!/bin/sh
# Runs a command; passes only if it exits 0, prints exactly the given lines and nothing on stderr.
# Usage: expect-output.sh LINE... -- COMMAND [ARG...]
set -u
expected=$(mktemp) out=$(mktemp) err=$(mktemp)
trap 'rm -f "$expected" "$out" "$err"' EXIT
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  printf '%s\n' "$1" >>"$expected"
  shift
done
if [ $# -lt 2 ]; then
  echo "usage: expect-output.sh LINE... -- COMMAND [ARG...]" >&2
  exit 2
fi
shift
"$@" >"$out" 2>"$err"
status=$?
failed=0
if [ "$status" -ne 0 ]; then
  echo "exit status $status"
  failed=1
fi
if [ -s "$err" ]; then
  echo "standard error was not empty:"
  cat "$err"
  failed=1
fi
if ! cmp -s "$expected" "$out"; then
  echo "standard output differs; expected:"
  cat "$expected"
  echo "got:"
  cat "$out"
  failed=1
fi
exit "$failed"
