#!/bin/sh
# Fails unless a built library exports exactly the two natives and the three allocators, under the
# names its host's JVM and native callers look up.
# For an ELF library it also fails on a glibc symbol version newer than 2.17, or without the soname
# and no-unload flag by which later copies find and use the first; for a DLL, on any import but the
# two DLLs a JVM process already has.
# usage: check-exports.sh elf LIB | pe-x86 OBJDUMP DLL | pe-x86_64 OBJDUMP DLL
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
            "$(nm -D --defined-only "$2" | awk '{print $3}')" export || exit 1
    newest=$(objdump -T "$2" | grep -o 'GLIBC_[0-9][0-9.]*' | sed 's/GLIBC_//' | sort -t. -k1,1n -k2,2n -k3,3n | tail -n 1)
    echo "newest glibc version: $newest"
    case "$newest" in
      2.[0-9]|2.[0-9].*|2.1[0-7]|2.1[0-7].*) ;;
      *) echo "needs glibc $newest; 2.17 must do"; exit 1 ;;
    esac
    dynamic=$(readelf -d "$2")
    printf '%s\n' "$dynamic" | grep -q 'Library soname: \[libzknative7.so\]' || { echo "no soname libzknative7.so"; exit 1; }
    printf '%s\n' "$dynamic" | grep -q 'Flags:.*NODELETE' || { echo "can be unloaded"; exit 1; }
    ;;
  pe-x86|pe-x86_64)
    # 32-bit HotSpot looks natives up as _name@12; 64-bit Windows uses the plain name.
    if [ "$kind" = pe-x86 ]; then
      natives="_Java_quorvalen_zelka_NativeTools_getenv0@12 _Java_quorvalen_zelka_NativeTools_putenv0@12"
    else
      natives="Java_quorvalen_zelka_NativeTools_getenv0 Java_quorvalen_zelka_NativeTools_putenv0"
    fi
    tables=$("$2" -p "$3")
    exported=$(printf '%s\n' "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
    imported=$(printf '%s\n' "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p')
    compare "$natives $allocators" "$exported" export && compare "KERNEL32.dll msvcrt.dll" "$imported" import
    ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
