#!/usr/bin/env bash
# Korvale's installer, silently: a folder it cannot install into (a drive root, a folder it
# cannot write) ends it with status 7 before it writes anything; it installs the program, which
# runs from there; given another folder it moves the installation there, leaving one copy; and
# the uninstaller removes it.
#   run_setup_silent.sh WINE_RUN PREFIX SETUP
set -euo pipefail
wine_run=$1 prefix=$2 setup=$3
run() { "$wine_run" "$prefix" "$@"; }
drive_c=$prefix/drive_c
target=$drive_c/KorvaleSilent
moved=$drive_c/KorvaleMoved
locked=$drive_c/KorvaleLocked
default_folder="$drive_c/Program Files/Korvale"
drive_k=$prefix/dosdevices/k:
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale'
installed_files=(Korvale.exe KorvaleBatch.exe KorvaleDesk.exe Korvalelib.dll Tavisk.dll Korvale.chm README.md
  Uninstall.exe)
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
registered() {  # the folder the registration names; empty when there is none
  { run reg query "$uninstall_key" /v InstallLocation 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^ *InstallLocation \{4\}REG_SZ \{4\}//p'
}
wrote_nothing() {  # wrote_nothing CASE: no registration, nothing in the default folder
  [ -z "$(registered)" ] || fail "$1: registered at $(registered)"
  [ ! -e "$default_folder" ] || fail "$1: installed into the default folder"
}
# Also what a run that failed half-way may have left.
clean() {
  [ ! -d "$locked" ] || chattr -i "$locked"
  [ ! -L "$drive_k" ] || rm -rf "$(readlink "$drive_k")" "$drive_k"
  rm -rf "$target" "$moved" "$locked" "$default_folder"
}
clean
trap clean EXIT
run reg delete "$uninstall_key" /f >/dev/null 2>&1 || true

# A drive root, which NSIS would quietly swap for the default folder.
ln -s "$(mktemp -d)" "$drive_k"
installs 7 /S '/D=K:\'
[ -z "$(ls -A "$drive_k/")" ] || fail "wrote to the drive root: $(ls -A "$drive_k/")"
wrote_nothing "a drive root"

# A folder that cannot be written (immutable: not even root writes into it).
mkdir "$locked"
chattr +i "$locked"
installs 7 /S '/D=C:\KorvaleLocked\Korvale'
[ -z "$(ls -A "$locked")" ] || fail "wrote into a folder it cannot write: $(ls -A "$locked")"
wrote_nothing "a folder it cannot write"

installs 0 /S '/D=C:\KorvaleSilent'
for file in "${installed_files[@]}"; do
  [ -f "$target/$file" ] || fail "$file not installed"
done
# (All of the output is read: a reader that stops early makes the program fail to write.)
header=$(run 'C:\KorvaleSilent\Korvale.exe' HELP | tr -d '\r' | sed -n 1p)
[ "$header" == "Korvale [1.0.20120528]" ] || fail "installed program says: $header"

# Given another folder, the installation moves there, registration and all; of the old folder
# only what the setup did not put there stays.
echo "my own notes" >"$target/notes.txt"
installs 0 /S '/D=C:\KorvaleMoved'
for file in "${installed_files[@]}"; do
  [ -f "$moved/$file" ] || fail "$file not installed in the new folder"
done
[ "$(ls -A "$target")" == notes.txt ] || fail "left in the old folder: $(ls -A "$target")"
[ "$(registered)" == 'C:\KorvaleMoved' ] || fail "registered at '$(registered)' after the move"

# _?= makes the uninstaller run in place instead of from a copy, so its end can be awaited.
run 'C:\KorvaleMoved\Uninstall.exe' /S '_?=C:\KorvaleMoved' || fail "uninstall: exit status $?"
for file in "${installed_files[@]}"; do
  [ "$file" == Uninstall.exe ] || [ ! -e "$moved/$file" ] || fail "$file left after uninstall"
done
[ -z "$(registered)" ] || fail "registration left after uninstall"

((failures == 0)) && echo "refused what it cannot install into; installed, ran, moved and uninstalled"
exit $((failures > 0))
