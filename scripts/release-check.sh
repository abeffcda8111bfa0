#!/usr/bin/env bash
# `make release-check`: the release twice from empty build folders of the programs, on the same
# commit; every archive must come out with the same bytes. Leaves the second run in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
first=$(mktemp -d)
trap 'rm -rf "$first"' EXIT
for run in 1 2; do
  rm -rf build-win32 build-win64 build-web
  make --no-print-directory release
  [ $run = 1 ] && cp dist/SHA256SUMS "$first/SHA256SUMS"
done
if ! diff -u "$first/SHA256SUMS" dist/SHA256SUMS; then
  echo "release-check: FAIL: two builds of the same commit differ" >&2
  exit 1
fi
echo "release-check: two builds from empty folders give the same archives:"
cat dist/SHA256SUMS
