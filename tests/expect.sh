# The shell tests' one check, sourced by them: expect WHAT CONDITION... fails the case named by
# $case, showing its output ($work/out), when the condition does not hold, and sets failed to 1.
# shellcheck shell=sh disable=SC2034,SC2154  # the caller sets case and work, and reads failed
failed=0
expect() {
  what=$1
  shift
  if ! "$@"; then
    echo "FAIL $case: $what"
    sed 's/^/    /' "$work/out"
    failed=1
  fi
}
