#!/bin/sh
# scripts/deps.sh against stand-in apt-get, dpkg and dpkg-query that fail as a mirror in mid-sync
# did: the foreign architectures' security indexes come short, and the foreign packages then only
# resolve from the release's own index. Nothing real is installed or fetched.
# usage: deps-test.sh SOURCE_DIR
set -u
source_dir=$(cd "$1" && pwd) || exit 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
release=$(. /etc/os-release && echo "$VERSION_CODENAME")

# The stand-ins log every call to $work/calls. MIRROR says how the mirror behaves: healthy, flaky
# (the update fails twice, then works), sync (some indexes stay short) or gone (the foreign JDK
# cannot be had at all).
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "apt-get $*" >>"$STANDIN_DIR/calls"
verb=
skip=no
for arg; do
  if [ $skip = yes ]; then skip=no; elif [ "$arg" = -o ]; then skip=yes; elif [ -z "$verb" ]; then verb=$arg; fi
done
case "$verb" in
  update)
    count=$(($(cat "$STANDIN_DIR/updates" 2>/dev/null || echo 0) + 1))
    echo $count >"$STANDIN_DIR/updates"
    if [ "$MIRROR" = healthy ] || { [ "$MIRROR" = flaky ] && [ $count -ge 3 ]; }; then
      echo "Reading package lists..."
      exit 0
    fi
    for arch in i386 armhf; do
      echo "Err:12 http://deb.debian.org/debian-security bookworm-security/main $arch Packages"
    done
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]"
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-armhf/Packages.xz  "
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
  install)
    case " $* " in *" -t "*) targeted=yes ;; *) targeted=no ;; esac
    if [ "$MIRROR" = healthy ] || [ "$MIRROR" = flaky ] || { [ "$MIRROR" = sync ] && [ $targeted = yes ]; }; then
      exit 0
    fi
    case " $* " in
      *" -s "*" openjdk-17-jre-headless:armhf "*|*" -s "*" openjdk-17-jre-headless:armhf") ;;
      *" -s "*) exit 0 ;;
    esac
    echo "The following packages have unmet dependencies:"
    echo " openjdk-17-jre-headless:armhf : Depends: libcups2:armhf but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
esac
exit 0
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/bin/sh
echo "dpkg $*" >>"$STANDIN_DIR/calls"
case "$1" in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$STANDIN_DIR/architectures" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$STANDIN_DIR/architectures" ;;
esac
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/bin/sh
# The last argument is the package; INSTALLED lists what is there as NAME:ARCH. As the real one, a
# plain NAME matches every architecture it is installed for, and the format's fields are filled in.
for package; do :; done
for format; do case "$format" in -f*) format=${format#-f} ; break ;; esac; done
found=1
for have in $INSTALLED; do
  case "$package" in *:*) [ "$have" = "$package" ] || continue ;; *) [ "${have%%:*}" = "$package" ] || continue ;; esac
  printf "$(echo "$format" | sed "s/\${Status}/install ok installed/; s/\${Architecture}/${have#*:}/")"
  found=0
done
exit $found
EOF
chmod +x "$work/bin/"*

# Runs install_missing on PACKAGES... under MIRROR=$1 with INSTALLED=$2; leaves its output in
# $work/out, its status in $status.
run() {
  mirror=$1 installed=$2
  shift 2
  rm -f "$work/calls" "$work/updates" "$work/architectures"
  (cd "$source_dir" && PATH="$work/bin:$PATH" STANDIN_DIR=$work MIRROR=$mirror INSTALLED=$installed \
    DEPS_RETRY_SECONDS=0 sh -c '. scripts/deps.sh && install_missing "$@"' deps "$@") >"$work/out" 2>&1
  status=$?
}

# shellcheck source-path=SCRIPTDIR source=expect.sh
. "$(dirname "$0")/expect.sh"
has_line() { grep -qF -- "$1" "$work/out"; }
called() { grep -qxF -- "$1" "$work/calls"; }
calls_of() { cat "$work/calls" 2>/dev/null | grep -c -- "$1" || true; }
deps_lines() { grep -c '^deps: ' "$work/out" || true; }

case="nothing missing: no apt-get at all"
run gone "cmake:amd64 make:amd64 junit5:all musl-dev:armhf" cmake make junit5 musl-dev:armhf
expect "exit 0" [ $status -eq 0 ]
expect "no apt-get" [ "$(calls_of '^apt-get')" = 0 ]

case="healthy mirror: one update, one install of the missing ones, their architecture added"
run healthy "cmake:amd64" cmake musl-dev:armhf
expect "exit 0" [ $status -eq 0 ]
expect "one update" [ "$(calls_of 'apt-get .*update')" = 1 ]
expect "install of the missing" called "apt-get -o DPkg::Lock::Timeout=900 install -y -q musl-dev:armhf"
expect "armhf added" called "dpkg --add-architecture armhf"
expect "nothing said" [ "$(deps_lines)" = 0 ]

case="a package installed only for a foreign architecture is still missing for this one"
run healthy "musl-dev:armhf musl-dev:i386" musl-dev musl-dev:armhf
expect "exit 0" [ $status -eq 0 ]
expect "the host's own installed" called "apt-get -o DPkg::Lock::Timeout=900 install -y -q musl-dev"

case="flaky mirror: the third update works, no fallback"
run flaky "" musl-dev:armhf
expect "exit 0" [ $status -eq 0 ]
expect "three updates" [ "$(calls_of 'apt-get .*update')" = 3 ]
expect "no -t" [ "$(calls_of ' -t ')" = 0 ]
expect "nothing said" [ "$(deps_lines)" = 0 ]

case="mirror in mid-sync: three updates, then the release's own index, said in one line"
run sync "" g++ openjdk-17-jre-headless:armhf
expect "exit 0" [ $status -eq 0 ]
expect "three updates" [ "$(calls_of 'apt-get .*update')" = 3 ]
expect "plain install first" called "apt-get -o DPkg::Lock::Timeout=900 install -y -q g++ openjdk-17-jre-headless:armhf"
expect "then from $release" called "apt-get -o DPkg::Lock::Timeout=900 install -y -q -t $release g++ openjdk-17-jre-headless:armhf"
expect "the missing indexes named" has_line "bookworm-security (armhf), bookworm-security (i386)"
expect "the fallback said" has_line "deps: bookworm-security (armhf), bookworm-security (i386) could not be fetched; installing from $release's own index instead"

case="nothing works: one line names the package, its architecture and why"
run gone "" g++ openjdk-17-jre-headless:armhf
expect "exit 1" [ $status -eq 1 ]
expect "the fallback tried" called "apt-get -o DPkg::Lock::Timeout=900 install -y -q -t $release g++ openjdk-17-jre-headless:armhf"
expect "the reason" has_line "deps: cannot install openjdk-17-jre-headless for armhf: openjdk-17-jre-headless:armhf : Depends: libcups2:armhf but it is not going to be installed"
expect "g++ not blamed" [ "$(grep -c 'cannot install g++' "$work/out")" = 0 ]

[ $failed -eq 0 ] && echo "every mirror case behaves"
exit $failed
