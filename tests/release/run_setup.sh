#!/usr/bin/env bash
# Korvale's amd64 installer under wine64 (on a display, for the one interactive copy):
# a silent install, a second copy refused while a first one runs, a CD-ROM target refused,
# and the uninstaller.
#   run_setup.sh WINE_RUN PREFIX SETUP LOCK_PROBE
set -euo pipefail
wine_run=$1 prefix=$2 setup=$3 probe=$4
run() { "$wine_run" "$prefix" "$@"; }
drive_c=$prefix/drive_c
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
installs() {  # installs STATUS ARGS...: the installer's exit status is STATUS
  local status=0
  run "$setup" "${@:2}" || status=$?
  [ "$status" == "$1" ] || fail "setup ${*:2}: exit status $status, expected $1"
}
lock_count() { run "$probe" Korvale.Setup | tr -d '\r'; }
rm -rf "$drive_c/KorvaleTest1" "$drive_c/KorvaleTest2"

# A silent install puts the five files in place, and the programs run from there.
installs 0 /S '/D=C:\KorvaleTest1'
for file in Korvale.exe KorvaleBatch.exe Korvalelib.dll Tavisk.dll; do
  [ -f "$drive_c/KorvaleTest1/$file" ] || fail "$file not installed"
done
[ -f "$drive_c/KorvaleTest1/README.md" ] || fail "README.md not installed"
header=$(run 'C:\KorvaleTest1\Korvale.exe' HELP | head -n 1 | tr -d '\r')
[ "$header" == "Korvale [1.0.20120528]" ] || fail "installed program says: $header"
version=$(run 'C:\KorvaleTest1\KorvaleBatch.exe' --version | tr -d '\r')
[ "$version" == "KorvaleBatch (Korvale) 1.0.20120528" ] || fail "installed batch program says: $version"
[ "$(lock_count)" == 0 ] || fail "the lock outlived the installer"

# While one copy waits on its directory page, a second one is refused and installs nothing.
run "$setup" &
first=$!
for _ in $(seq 300); do
  [ "$(lock_count)" == 1 ] && break
  sleep 0.1
done
[ "$(lock_count)" == 1 ] || fail "the interactive installer did not take the lock"
installs 2 /S '/D=C:\KorvaleTest2'
[ ! -e "$drive_c/KorvaleTest2" ] || fail "the refused copy installed something"
run taskkill /f /im "$(basename "$setup")" >/dev/null 2>&1 || fail "could not end the first copy"
wait "$first" || true
installs 0 /S '/D=C:\KorvaleTest2'
[ -f "$drive_c/KorvaleTest2/Korvale.exe" ] || fail "no install once the first copy ended"

# A target on a CD-ROM drive is refused.
cdrom=$(mktemp -d)
ln -sfn "$cdrom" "$prefix/dosdevices/r:"
run reg add 'HKLM\Software\Wine\Drives' /v r: /d cdrom /f >/dev/null
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w  # the drive types are read when Wine starts
installs 3 /S '/D=R:\Korvale'
[ -z "$(ls -A "$cdrom")" ] || fail "something was written to the CD-ROM drive"
run reg delete 'HKLM\Software\Wine\Drives' /v r: /f >/dev/null
rm -f "$prefix/dosdevices/r:"
rm -rf "$cdrom"

# The uninstaller removes what was installed (_?= makes it run in place, so we can wait).
run 'C:\KorvaleTest2\Uninstall.exe' /S '_?=C:\KorvaleTest2' || fail "uninstaller failed"
for file in Korvale.exe KorvaleBatch.exe Korvalelib.dll Tavisk.dll README.md; do
  [ ! -e "$drive_c/KorvaleTest2/$file" ] || fail "$file left after uninstall"
done

rm -rf "$drive_c/KorvaleTest1" "$drive_c/KorvaleTest2"
((failures == 0)) && echo "all setup checks passed"
exit $((failures > 0))
