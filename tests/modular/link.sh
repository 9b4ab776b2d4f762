#!/bin/sh
# Links a runtime image afresh, as jlink refuses to write over an existing one.
# Usage: link.sh JLINK IMAGE JLINK-ARG...
set -eu
jlink=$1
image=$2
shift 2
rm -rf "$image"
exec "$jlink" --output "$image" "$@"
