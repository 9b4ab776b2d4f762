#!/bin/sh
# Runs a sanitized program with the sanitizer's reports in files, not on standard error: the
# suites compare their standard error byte for byte, and ASan warns there about the allocator's
# deliberate failures. The reports are printed when the program fails.
# usage: sanitized.sh PROGRAM [ARGS...]
set -u
reports=$(mktemp -d)
ASAN_OPTIONS="${ASAN_OPTIONS:-}:log_path=$reports/report"
export ASAN_OPTIONS
"$@"
status=$?
if [ $status -ne 0 ]; then
  cat "$reports"/report* 2>/dev/null
fi
rm -rf "$reports"
exit $status
