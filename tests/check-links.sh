#!/bin/sh
# Fails when a relative link in the README, the changelog or docs/ names a file that does not exist.
# usage: check-links.sh SOURCE_DIR
set -u
cd "$1" || exit 2
status=0
for page in README.md CHANGELOG.md docs/*.md; do
  folder=$(dirname "$page")
  # Markdown links: ](target) or ](target#anchor); web addresses and bare anchors are not files.
  for target in $(grep -o '](\([^)]*\))' "$page" | sed 's/^](//; s/)$//; s/#.*//' | grep -v '^[a-z]*:' | grep -v '^$'); do
    if [ ! -e "$folder/$target" ]; then
      echo "$page: no such file: $target"
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "every link resolves"
exit $status
