#!/usr/bin/env bash
# Korvale's installer, silently: a folder it cannot install into (a drive root, a folder it
# cannot write) ends it with status 7 before it writes anything; it installs the program, which
# runs from there; given another folder it moves the installation there, leaving one copy; and
# the uninstaller removes it. Then for the user alone (/CurrentUser): into the user's own
# programs folder, registered in HKCU only, refused for everyone meanwhile (status 9), and
# removed by its uninstaller, which finds its registration there.
#   run_setup_silent.sh WINE_RUN PREFIX SETUP
set -euo pipefail
wine_run=$1 prefix=$2 setup=$3
source "$(dirname "${BASH_SOURCE[0]}")/setup_common.sh"
drive_c=$prefix/drive_c
target=$drive_c/KorvaleSilent
moved=$drive_c/KorvaleMoved
locked=$drive_c/KorvaleLocked
default_folder="$drive_c/Program Files/Korvale"
drive_k=$prefix/dosdevices/k:
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale'
user_uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale'
installed_files=(Korvale.exe KorvaleBatch.exe KorvaleDesk.exe Korvalelib.dll Tavisk.dll Korvale.chm README.md
  Uninstall.exe)
registered() {  # registered [KEY]: the folder the registration names; empty when there is none
  { reads reg query "${1:-$uninstall_key}" /v InstallLocation 2>/dev/null || true; } | tr -d '\r' |
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
  local user_folder
  user_folder=$(registered "$user_uninstall_key")
  [ -z "$user_folder" ] || rm -rf "$(reads winepath -u "$user_folder" | tr -d '\r')"
  run reg delete "$user_uninstall_key" /f >/dev/null 2>&1 || true
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

# For the user alone.
installs 0 /S /CurrentUser /SHORTCUT=0 /VERBS=0 /SENDTO=0
user_folder=$(registered "$user_uninstall_key")
case "$user_folder" in
  *'\AppData\Local\Programs\Korvale') ;;
  *) fail "installed for the user into '$user_folder'" ;;
esac
[ -z "$(registered)" ] || fail "installed for the user, registered for everyone"
user_files=$(reads winepath -u "${user_folder:-C:\nowhere}" | tr -d '\r')
for file in "${installed_files[@]}"; do
  [ -f "$user_files/$file" ] || fail "$file not installed for the user"
done
installs 9 /S /AllUsers
[ -z "$(registered)" ] || fail "installed for everyone beside the user's installation"
[ ! -e "$default_folder" ] || fail "installed into the default folder beside the user's installation"
run "$user_folder\Uninstall.exe" /S "_?=$user_folder" || fail "uninstall for the user: exit status $?"
for file in "${installed_files[@]}"; do
  [ "$file" == Uninstall.exe ] || [ ! -e "$user_files/$file" ] || fail "$file left after uninstall"
done
[ -z "$(registered "$user_uninstall_key")" ] || fail "the user's registration left after uninstall"
rm -rf "$user_files"

((failures == 0)) &&
  echo "refused what it cannot install into; installed, ran, moved and uninstalled, for everyone and for the user"
exit $((failures > 0))
