#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix that scripts/test.sh made
# for this test run (WINEPREFIX), quietly.
set -e
: "${WINEPREFIX:?WINEPREFIX is not set: run the Windows tests through scripts/test.sh}"
export WINEDEBUG=-all
# Wine turns Windows file names into Linux ones through the locale's
# character set: without UTF-8 (LANG=C, or a locale that is not installed)
# no name beyond ASCII can be created. This locale also makes the ANSI code
# page 1252, which the tests of ANSI names expect, whatever LANG says.
export LC_ALL=C.UTF-8
exec wine "$@"
