#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix that scripts/test.sh made
# for this test run (WINEPREFIX), quietly.
set -e
: "${WINEPREFIX:?WINEPREFIX is not set: run the Windows tests through scripts/test.sh}"
export WINEDEBUG=-all
exec wine "$@"
