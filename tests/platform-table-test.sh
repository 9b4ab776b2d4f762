#!/bin/sh
# The readers of cmake/platforms.txt outside Java, cmake/Platforms.cmake and scripts/deps.sh, find
# each column by its name in the header: the real table with its columns reversed reads the same,
# and a table without a column one of them reads is refused, naming the column (deps.sh in one
# line). Each runs on copies beside a table of the test's own; nothing is built or installed.
# usage: platform-table-test.sh SOURCE_DIR CMAKE
set -u
source_dir=$(cd "$1" && pwd) || exit 2
cmake=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/cmake" "$work/scripts"
cp "$source_dir/cmake/Platforms.cmake" "$source_dir/cmake/Tables.cmake" "$work/cmake/"
cp "$source_dir/scripts/deps.sh" "$work/scripts/"
table=$work/cmake/platforms.txt

# Every variable Platforms.cmake sets, one platform a line (-P runs it in the working folder).
cat >"$work/show.cmake" <<'EOF'
include(${CMAKE_CURRENT_SOURCE_DIR}/cmake/Platforms.cmake)
foreach(p IN LISTS ZKNATIVE7_PLATFORMS)
  message("${p} ${ZKNATIVE7_${p}_OS} ${ZKNATIVE7_${p}_ARCH} ${ZKNATIVE7_${p}_ENDIAN} ${ZKNATIVE7_${p}_TOOLCHAIN} ${ZKNATIVE7_${p}_LIBRARY} "
    "${ZKNATIVE7_${p}_RUNNER} ${ZKNATIVE7_${p}_JDK} ${ZKNATIVE7_${p}_MUSL} ${ZKNATIVE7_${p}_PACKAGES}")
endforeach()
EOF
# Runs a reader in the folder $1 holding cmake/platforms.txt; its output in $work/out, its status in $status.
read_by_cmake() {
  (cd "$1" && "$cmake" -P "$work/show.cmake") >"$work/out" 2>&1
  status=$?
}
read_by_deps() {
  (cd "$1" && sh -c '. scripts/deps.sh && printf "%s\n" $platform_packages') >"$work/out" 2>&1
  status=$?
}
# The table on stdin with its columns in reverse order, or without the column named $1.
reversed() {
  awk '/^[ \t]*#/ || NF == 0 { print; next } { line = $NF; for (i = NF - 1; i > 0; i--) line = line "  " $i; print line }'
}
without() {
  awk -v name="$1" '/^[ \t]*#/ || NF == 0 { print; next }
    !header { header = 1; for (i = 1; i <= NF; i++) if ($i == name) drop = i }
    { line = ""; for (i = 1; i <= NF; i++) if (i != drop) line = line "  " $i; print line }'
}

# shellcheck source-path=SCRIPTDIR source=expect.sh
. "$(dirname "$0")/expect.sh"
# CMake wraps its errors' lines.
says() { tr -s ' \n' '  ' <"$work/out" | grep -qF -- "$1"; }
# The lines that are neither comments nor blank: the header and a row a platform.
rows=$(grep -cv -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$source_dir/cmake/platforms.txt")

for reader in cmake deps; do
  case="$reader: the columns reversed read as the real table does"
  "read_by_$reader" "$source_dir"
  cp "$work/out" "$work/expected.$reader"
  expect "the real table read" [ "$status" -eq 0 ]
  reversed <"$source_dir/cmake/platforms.txt" >"$table"
  "read_by_$reader" "$work"
  expect "exit 0" [ "$status" -eq 0 ]
  expect "the same" cmp -s "$work/expected.$reader" "$work/out"
done
case="cmake: the real table"
expect "a platform a row" [ "$(wc -l <"$work/expected.cmake")" -eq $((rows - 1)) ]
expect "packages to install" [ -s "$work/expected.deps" ]

for column in platform os arch endian toolchain library runner jdk musl packages; do
  case="cmake: no $column column"
  reversed <"$source_dir/cmake/platforms.txt" | without "$column" >"$table"
  read_by_cmake "$work"
  expect "refused" [ "$status" -ne 0 ]
  expect "the column named" says "the header names no column '$column'"
done

case="cmake: a row that does not fit the header"
printf '# platforms\nplatform os arch endian toolchain library runner jdk musl packages\np linux a little - lib.so native - -\n' >"$table"
read_by_cmake "$work"
expect "refused" [ "$status" -ne 0 ]
expect "the row named" says "10 columns expected, as the header names, not 9: p linux a little - lib.so native - -"

case="cmake: no header"
printf '# platform os arch toolchain library runner jdk musl packages\n' >"$table"
read_by_cmake "$work"
expect "refused" [ "$status" -ne 0 ]
expect "said" says "no header line names the columns"

case="deps: no packages column, in one line"
reversed <"$source_dir/cmake/platforms.txt" | without packages >"$table"
read_by_deps "$work"
expect "exit 1" [ "$status" -eq 1 ]
expect "one line" [ "$(cat "$work/out")" = "deps: cmake/platforms.txt: the header names no column 'packages'" ]

[ $failed -eq 0 ] && echo "every reader finds the columns by name"
exit $failed
