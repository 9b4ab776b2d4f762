#!/bin/sh
# Checks a built Maven artifact: the jar's manifest, its module descriptor (Java 9, versioned
# only), Java 8 bytecode everywhere else, the pom inside it, and the sources and Javadoc jars, which
# must hold SOURCE and the Javadoc PAGE (MODULE/PACKAGE/CLASS.html).
# Usage: check-jar.sh JAR-TOOL ARTIFACT VERSION SOURCE PAGE [MANIFEST-LINE...]
#   (ARTIFACT is the path without .jar, ending in ARTIFACT-ID-VERSION)
set -u
if [ $# -lt 5 ]; then
  echo "usage: check-jar.sh JAR-TOOL ARTIFACT VERSION SOURCE PAGE [MANIFEST-LINE...]" >&2
  exit 2
fi
jar_tool=$1
artifact=$(realpath -m "$2")
version=$3
source_file=$4
page=$5
shift 5
artifact_id=$(basename "$artifact" "-$version")
for part in "" -sources -javadoc; do
  if [ ! -f "$artifact$part.jar" ]; then
    echo "no $artifact$part.jar"
    exit 1
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() {
  echo "$*"
  failed=1
}

for part in "" -sources -javadoc; do
  mkdir "$work/jar$part"
  (cd "$work/jar$part" && "$jar_tool" xf "$artifact$part.jar") || fail "cannot unpack $artifact$part.jar"
done
jar=$work/jar

# Manifests are CRLF or LF; compare the attribute lines alone.
tr -d '\r' <"$jar/META-INF/MANIFEST.MF" >"$work/manifest"
for line in "$@" "Multi-Release: true" "Implementation-Title: $artifact_id" "Implementation-Version: $version"; do
  grep -qxF "$line" "$work/manifest" || fail "manifest lacks '$line'"
done
! grep -q '^Automatic-Module-Name:' "$work/manifest" || fail "manifest names an automatic module"

# The class file's major version: 52 is Java 8, 53 is Java 9.
major() {
  od -An -j6 -N2 -tu1 "$1" | awk '{ print $1 * 256 + $2 }'
}
[ ! -e "$jar/module-info.class" ] || fail "module-info.class at the root would hide the jar from Java 8 tools"
if [ -f "$jar/META-INF/versions/9/module-info.class" ]; then
  [ "$(major "$jar/META-INF/versions/9/module-info.class")" = 53 ] || fail "module-info.class is not Java 9 bytecode"
else
  fail "no META-INF/versions/9/module-info.class"
fi
classes=0
for class in $(cd "$jar" && find quorvalen -name '*.class'); do
  classes=$((classes + 1))
  [ "$(major "$jar/$class")" = 52 ] || fail "$class is not Java 8 bytecode"
done
[ "$classes" -gt 0 ] || fail "no classes under quorvalen/"

maven=$jar/META-INF/maven/quorvalen.zelka/$artifact_id
cmp -s "$maven/pom.xml" "$artifact.pom" || fail "the jar's pom.xml is not the artifact's pom"
grep -qx "version=$version" "$maven/pom.properties" || fail "pom.properties lacks version=$version"
grep -q '<name>Apache-2.0</name>' "$artifact.pom" || fail "the pom names no licence"

for file in module-info.java "$source_file"; do
  [ -f "$work/jar-sources/$file" ] || fail "the sources jar lacks $file"
done
for file in index.html "${page%%/*}/module-summary.html" "$page"; do
  [ -f "$work/jar-javadoc/$file" ] || fail "the Javadoc jar lacks $file"
done
exit "$failed"
