# Installs, as root on Debian 12, the packages named in "$@" that are missing; sourced by the
# top-level scripts. Packages ending in :i386 bring the i386 architecture with them.
install_missing() {
  missing=""
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
      missing="$missing $package"
    fi
  done
  [ -z "$missing" ] && return 0
  echo "installing:$missing"
  case "$missing" in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 ;;
  esac
  apt-get -o DPkg::Lock::Timeout=900 update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q $missing
}

BUILD_PACKAGES="cmake make g++ openjdk-17-jdk-headless"
TEST_PACKAGES="googletest junit5 g++-i686-linux-gnu openjdk-17-jdk-headless:i386
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386
  clang libclang-rt-14-dev valgrind
  maven libmaven-compiler-plugin-java libmaven-resources-plugin-java libmaven-jar-plugin-java
  libsurefire-java libmaven-install-plugin-java"

# The host's own JDK, whichever JDK the alternatives system puts on PATH.
JAVA_HOME=/usr/lib/jvm/java-17-openjdk-$(dpkg --print-architecture)
export JAVA_HOME
