#!/usr/bin/env bash
# Runs a command in a Wine prefix of its own: a copy of the run's prefix
# (WINEPREFIX, made by scripts/wine-prefix.sh), removed afterwards. Window
# tests with a prefix each can draw at the same time, each on its own X
# display; through one prefix they cannot.
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX is not set: run the Windows tests through scripts/test.sh}"
own=$(mktemp -d /tmp/extractor-wine-own.XXXXXX)
cleanup() {
  WINEPREFIX="$own/prefix" wineserver -k >/dev/null 2>&1 || true
  rm -rf "$own"
}
trap cleanup EXIT
cp -a "$WINEPREFIX" "$own/prefix"
export WINEPREFIX="$own/prefix"
"$@"
