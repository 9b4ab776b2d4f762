#!/bin/sh
# Runs one fuzz target over the repository's seeds, keeping what it learns and finds in WORKDIR.
# usage: run.sh TARGET SEEDS WORKDIR [libFuzzer options...]
# A finding fails the run and stays in WORKDIR/findings/ as a file to replay with TARGET FILE.
set -eu
target=$1 seeds=$2 work=$3
shift 3
mkdir -p "$work/corpus" "$work/findings"
exec "$target" -artifact_prefix="$work/findings/" -print_final_stats=1 "$@" "$work/corpus" "$seeds"
