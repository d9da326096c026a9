#!/usr/bin/env bash
# Korvale's installer, silently: it installs the program, which runs from there, and its
# uninstaller removes it again.
#   run_setup_silent.sh WINE_RUN PREFIX SETUP
set -euo pipefail
wine_run=$1 prefix=$2 setup=$3
run() { "$wine_run" "$prefix" "$@"; }
target=$prefix/drive_c/KorvaleSilent
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
rm -rf "$target"

run "$setup" /S '/D=C:\KorvaleSilent' || fail "setup: exit status $?"
for file in Korvale.exe KorvaleBatch.exe Korvalelib.dll Tavisk.dll; do
  [ -f "$target/$file" ] || fail "$file not installed"
done
# (All of the output is read: a reader that stops early makes the program fail to write.)
header=$(run 'C:\KorvaleSilent\Korvale.exe' HELP | tr -d '\r' | sed -n 1p)
[ "$header" == "Korvale [1.0.20120528]" ] || fail "installed program says: $header"

# _?= makes the uninstaller run in place instead of from a copy, so its end can be awaited.
run 'C:\KorvaleSilent\Uninstall.exe' /S '_?=C:\KorvaleSilent' || fail "uninstall: exit status $?"
for file in Korvale.exe KorvaleBatch.exe Korvalelib.dll Tavisk.dll; do
  [ ! -e "$target/$file" ] || fail "$file left after uninstall"
done

rm -rf "$target"
((failures == 0)) && echo "installed, ran and uninstalled"
exit $((failures > 0))
