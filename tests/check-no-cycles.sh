#!/bin/sh
# Fails when classes of the jar depend on each other, directly or through others, so that each
# (with its nested classes) can be read, changed and tested without those that use it.
# usage: check-no-cycles.sh JDEPS JAR
set -u
if [ $# -ne 2 ]; then
  echo "usage: check-no-cycles.sh JDEPS JAR" >&2
  exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$1" --multi-release 9 -verbose:class -filter:none "$2" >"$work/jdeps" || exit 1
awk '$2 == "->" && $1 ~ /^quorvalen\.zelka\./ && $3 ~ /^quorvalen\.zelka\./ {
  from = $1; to = $3; sub(/\$.*/, "", from); sub(/\$.*/, "", to); if (from != to) print from, to }' "$work/jdeps" |
  sort -u >"$work/edges"
if [ ! -s "$work/edges" ]; then
  echo "jdeps found no class of $2 using another"
  exit 1
fi
if ! tsort "$work/edges" >/dev/null 2>"$work/loops"; then
  echo "classes of $2 that depend on each other:"
  grep -v 'input contains a loop' "$work/loops" | sed 's/^tsort: /  /'
  exit 1
fi
echo "no class of $2 depends on itself through others"
