#!/bin/sh
# Fails unless a built library exports exactly the two natives and the three allocators, under the
# names its host's JVM and native callers look up.
# usage: check-exports.sh elf LIB
set -eu

# Every name in $1 must be in $2 and the other way round; $3 says what the names are.
compare() {
  status=0
  for name in $1; do
    case " $(echo $2) " in *" $name "*) ;; *) echo "missing $3: $name"; status=1 ;; esac
  done
  for name in $2; do
    case " $(echo $1) " in *" $name "*) ;; *) echo "unexpected $3: $name"; status=1 ;; esac
  done
  [ $status -eq 0 ] && echo "$3s: $(echo $2)"
  return $status
}

kind=$1
allocators="sMalloc sFree sStrdup"
case $kind in
  elf)
    compare "Java_quorvalen_zelka_NativeTools_getenv0 Java_quorvalen_zelka_NativeTools_putenv0 $allocators" \
            "$(nm -D --defined-only "$2" | awk '{print $3}')" export
    ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
