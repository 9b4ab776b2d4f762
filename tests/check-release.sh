#!/bin/sh
# Checks what a build ships for what would keep a rebuild of its commit from giving the same bytes:
# each jar's entries in the fixed order (META-INF/ and its MANIFEST.MF first, then by name) with
# the commit's time, and every library in the main jar without debug sections or a path of the
# source or build folder.
# Usage: check-release.sh SOURCE-DIR BUILD-DIR EPOCH MAIN-JAR [JAR...]
set -u
if [ $# -lt 4 ]; then
  echo "usage: check-release.sh SOURCE-DIR BUILD-DIR EPOCH MAIN-JAR [JAR...]" >&2
  exit 2
fi
source_dir=$1
build_dir=$2
time=$(date -u -d "@$3" +%Y%m%d.%H%M%S)
main_jar=$4
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "$*"
  failed=1
}

for jar in "$@"; do
  zipinfo -T "$jar" | awk 'NF == 8 && $1 ~ /^[-dl]/ { print $7, $8 }' >"$work/entries"
  awk '{ print $2 }' "$work/entries" >"$work/names"
  { grep -x 'META-INF/' "$work/names"; grep -x 'META-INF/MANIFEST.MF' "$work/names"
    grep -vx -e 'META-INF/' -e 'META-INF/MANIFEST.MF' "$work/names" | LC_ALL=C sort; } >"$work/order"
  cmp -s "$work/names" "$work/order" || fail "$jar: entries not in the fixed order: $(diff "$work/order" "$work/names" | head -3)"
  awk -v time="$time" '$1 != time { print $2 " at " $1 }' "$work/entries" >"$work/times"
  [ ! -s "$work/times" ] || fail "$jar: entries not at $time: $(head -3 "$work/times")"
done

mkdir "$work/main"
(cd "$work/main" && unzip -q "$main_jar" 'META-INF/native/*/*') || fail "cannot unpack $main_jar"
libraries=0
for library in "$work"/main/META-INF/native/*/*; do
  case $library in *.txt) continue ;; esac
  libraries=$((libraries + 1))
  name=${library#"$work/main/"}
  ! grep -aq '\.debug_' "$library" || fail "$name has debug sections"
  for folder in "$source_dir" "$build_dir"; do
    ! grep -aqF "$folder" "$library" || fail "$name names $folder"
  done
done
[ "$libraries" -gt 0 ] || fail "$main_jar carries no library"
exit "$failed"
