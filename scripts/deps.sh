# Installs, as root on Debian 12, the packages named in "$@" that are missing; sourced by the
# top-level scripts. A package of another architecture (NAME:ARCH) brings that architecture with it.
# A mirror in mid-sync serves some indexes short for a while: a failed update is retried, then the
# install goes on without those indexes, falling back to the release's own index when the versions
# the missing ones would have supplied are what it lacks.
install_missing() {
  missing=""
  for package in "$@"; do
    is_installed "$package" || missing="$missing $package"
  done
  [ -z "$missing" ] && return 0
  echo "installing:$missing"
  for package in $missing; do
    case "$package" in
      *:*)
        arch=${package##*:}
        dpkg --print-foreign-architectures | grep -qx "$arch" || dpkg --add-architecture "$arch" ;;
    esac
  done
  apt_log=$(mktemp)
  # shellcheck disable=SC2086
  if update_indexes && apt_run install -y -q $missing; then
    rm -f "$apt_log"
    return 0
  fi
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  if [ -n "$indexes_missed" ]; then
    echo "deps: $indexes_missed could not be fetched; installing from $release's own index instead"
    # shellcheck disable=SC2086
    if apt_run install -y -q -t "$release" $missing; then
      rm -f "$apt_log"
      return 0
    fi
  fi
  # shellcheck disable=SC2086
  explain_failure "${indexes_missed:+-t $release}" $missing
  rm -f "$apt_log"
  exit 1
}

# Whether a package is installed: NAME:ARCH for that architecture, a plain NAME for this machine's
# own (or for all), not merely for some foreign architecture that dpkg-query also matches.
is_installed() {
  case "$1" in
    *:*) dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q "ok installed" ;;
    *) dpkg-query -W -f='${Status} ${Architecture}\n' "$1" 2>/dev/null |
         grep -qE "ok installed ($(dpkg --print-architecture)|all)\$" ;;
  esac
}

# apt-get with its output shown and kept in $apt_log; its exit status.
apt_run() {
  { DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 "$@" 2>&1; echo $? >"$apt_log.status"; } |
    tee "$apt_log"
  status=$(cat "$apt_log.status")
  rm -f "$apt_log.status"
  return "$status"
}

# Updates the package indexes, trying up to three times. Sets indexes_missed to the indexes that
# still failed to download (empty when none did); fails only when the update failed otherwise.
update_indexes() {
  indexes_missed=""
  for attempt in 1 2 3; do
    apt_run update -q && ! grep -q '^E: Failed to fetch' "$apt_log" && return 0
    [ "$attempt" -lt 3 ] && sleep "${DEPS_RETRY_SECONDS:-10}"
  done
  indexes_missed=$(sed -n 's|^E: Failed to fetch \([^ ]*\).*|\1|p' "$apt_log" |
    sed 's|.*/dists/\([^/]*\)/[^/]*/binary-\([^/]*\)/.*|\1 (\2)|' | sort -u | tr '\n' ',' | sed 's/,$//; s/,/, /g')
  if [ -z "$indexes_missed" ]; then
    echo "deps: cannot update the package indexes: $(grep -m1 '^E:' "$apt_log" || echo "apt-get update failed")"
    return 1
  fi
  echo "deps: after 3 attempts these indexes are still missing: $indexes_missed; going on without them"
}

# One line for the first package that cannot be had, and why, as apt explains it; $1 holds the
# options of the last install tried.
explain_failure() {
  options=$1
  shift
  for package in "$@"; do
    # shellcheck disable=SC2086
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -s -q $options "$package" >"$apt_log" 2>&1; then
      name=${package%%:*}
      arch=${package#"$name"}
      arch=${arch#:}
      why=$(grep -m1 -E '^ +[^ ]+ : (Depends|PreDepends|Conflicts|Breaks):' "$apt_log" | sed 's/^ *//')
      [ -n "$why" ] || why=$(grep -m1 '^E:' "$apt_log" | sed 's/^E: //')
      echo "deps: cannot install $name for ${arch:-$(dpkg --print-architecture)}: ${why:-apt-get refused it}"
      return 0
    fi
  done
  echo "deps: the packages install one by one but not together:$*; $(grep -m1 '^E:' "$apt_log" || true)"
}

# The build makes every artifact, zknative7-junit and zknative7-junit4 among them.
BUILD_PACKAGES="cmake make g++ openjdk-17-jdk-headless junit5 junit4 libhamcrest-java"
# Each platform's own (cross compilers, Wine, qemu-user, JDKs) are in the packages column of its
# row, found by its name in the table's header (the first line that is not a comment).
platform_packages=$(awk '
  /^[ \t]*#/ || NF == 0 { next }
  !header { header = 1; for (i = 1; i <= NF; i++) if ($i == "packages" && !column) column = i; next }
  column && $column != "-" { gsub(",", " ", $column); print $column }
  END { if (!column) { print "deps: cmake/platforms.txt: the header names no column \047packages\047" >"/dev/stderr"; exit 1 } }
' cmake/platforms.txt) || exit 1
TEST_PACKAGES="googletest unzip clang libclang-rt-14-dev valgrind
  maven libmaven-compiler-plugin-java libmaven-resources-plugin-java libmaven-jar-plugin-java
  libsurefire-java libmaven-install-plugin-java libjna-java
  $platform_packages"

# The host's own JDK 17, which the build and its tests are made for.
JAVA_HOME=/usr/lib/jvm/java-17-openjdk-$(dpkg --print-architecture)
export JAVA_HOME
