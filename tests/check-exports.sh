#!/bin/sh
# Fails unless a built library exports exactly the SYMBOLs (the build's list, cmake/exports.txt, as
# its host's JVM and native callers look them up) and nothing else.
# For an ELF library it also fails on a needed library but libc and libdl, a symbol version but
# glibc's up to 2.17, a reference to libgcc_s's unwinder, a symbol that MUSL_LIBC (musl's libc.so
# for the same architecture) does not define, or a missing soname or no-unload flag (by which later
# copies find and use the first); for a DLL, on any import but the two DLLs a JVM process already has.
# usage: check-exports.sh elf LIB MUSL_LIBC SYMBOL... | pe-x86 OBJDUMP DLL SYMBOL... | pe-x86_64 OBJDUMP DLL SYMBOL...
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

if [ $# -lt 4 ]; then
  echo "usage: check-exports.sh elf LIB MUSL_LIBC SYMBOL... | pe-x86|pe-x86_64 OBJDUMP DLL SYMBOL..." >&2
  exit 2
fi
kind=$1
case $kind in
  elf)
    library=$2 musl=$3
    shift 3
    # readelf and nm read ELF files of any architecture.
    compare "$*" "$(nm -D --defined-only "$library" | awk '{print $3}')" export || exit 1
    dynamic=$(readelf -d "$library")
    # libc, and libdl, which glibc before 2.34 needs for dlopen: nothing a JVM's system may lack.
    compare "libc.so.6 libdl.so.2" \
            "$(printf '%s\n' "$dynamic" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')" "needed soname" || exit 1
    # Every version it asks for, as FILE:VERSION: only glibc's, and none newer than 2.17.
    versions=$(readelf -V "$library" | awk '/^Version needs section/ {on = 1; next} /^Version/ {on = 0}
      on && /File:/ {file = $5} on && /Name:/ {print file ":" $3}')
    echo "versions needed: $(echo $versions)"
    status=0
    for version in $versions; do
      case "$version" in
        libc.so.6:GLIBC_2.[0-9]|libc.so.6:GLIBC_2.[0-9].*|libc.so.6:GLIBC_2.1[0-7]|libc.so.6:GLIBC_2.1[0-7].*) ;;
        libdl.so.2:GLIBC_2.[0-9]|libdl.so.2:GLIBC_2.[0-9].*|libdl.so.2:GLIBC_2.1[0-7]|libdl.so.2:GLIBC_2.1[0-7].*) ;;
        *) echo "needs $version; glibc 2.17 and nothing else must do"; status=1 ;;
      esac
    done
    [ $status -eq 0 ] || exit 1
    # A symbol bound without a version comes from no library above: say libgcc_s's unwinder.
    symbols=$(readelf --dyn-syms -W "$library")
    unversioned=$(printf '%s\n' "$symbols" | awk '/ UND / && !/ WEAK / && !/@/ && $NF != "UND" {print $NF}')
    [ -z "$unversioned" ] || { echo "needs unversioned symbols: $(echo $unversioned)"; exit 1; }
    unwinder=$(printf '%s\n' "$symbols" | grep -oE '(_Unwind_|__gcc_personality|__gxx_personality|__aeabi_unwind)[A-Za-z0-9_]*' || true)
    [ -z "$unwinder" ] || { echo "refers to libgcc_s's unwinder: $(echo $unwinder)"; exit 1; }
    # musl maps libc.so.6 and libdl.so.2 onto itself and ignores versions: every strong import must
    # be a name it defines, or the library fails to load (or dies in a constructor) on Alpine.
    missing=$({ nm -D --defined-only "$musl" | awk '{print "defined", $3}'
                nm -D --undefined-only "$library" | awk '$1 == "U" {sub(/@.*/, "", $2); print "imported", $2}'; } |
              awk '$1 == "defined" {defined[$2] = 1; next} !($2 in defined) {print $2}' | sort -u)
    [ -z "$missing" ] || { echo "imports what musl ($musl) lacks: $(echo $missing)"; exit 1; }
    echo "every import is in $musl"
    # Later copies find the first by its soname, which is the name it ships under.
    soname=$(basename "$library")
    printf '%s\n' "$dynamic" | grep -qF "Library soname: [$soname]" || { echo "no soname $soname"; exit 1; }
    printf '%s\n' "$dynamic" | grep -q 'Flags:.*NODELETE' || { echo "can be unloaded"; exit 1; }
    ;;
  pe-x86|pe-x86_64)
    tables=$("$2" -p "$3")
    shift 3
    exported=$(printf '%s\n' "$tables" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
    imported=$(printf '%s\n' "$tables" | sed -n 's/^[[:space:]]*DLL Name: //p')
    compare "$*" "$exported" export && compare "KERNEL32.dll msvcrt.dll" "$imported" import
    ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
