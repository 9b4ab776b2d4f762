# Installs, as root on Debian 12, the packages named in "$@" that are missing; sourced by the
# top-level scripts. A package of another architecture (NAME:ARCH) brings that architecture with it.
install_missing() {
  missing=""
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
      missing="$missing $package"
    fi
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
  apt-get -o DPkg::Lock::Timeout=900 update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y -q $missing
}

BUILD_PACKAGES="cmake make g++ openjdk-17-jdk-headless"
# Each platform's own (cross compilers, Wine, qemu-user, JDKs) are in the last column of its row.
TEST_PACKAGES="googletest junit5 clang libclang-rt-14-dev valgrind
  maven libmaven-compiler-plugin-java libmaven-resources-plugin-java libmaven-jar-plugin-java
  libsurefire-java libmaven-install-plugin-java libjna-java
  $(awk '!/^#/ && NF == 9 && $9 != "-" {gsub(",", " ", $9); print $9}' cmake/platforms.txt)"

# The host's own JDK, whichever JDK the alternatives system puts on PATH.
JAVA_HOME=/usr/lib/jvm/java-17-openjdk-$(dpkg --print-architecture)
export JAVA_HOME
