#!/usr/bin/env bash
# Korvale's amd64 installer under wine64 (on a display, for the interactive copy and the
# running program): a silent install with the defaults, its registration and shortcut; a
# second copy (and the uninstaller) refused while a first one runs; upgrades with and without
# PATH over a PATH longer than the installer's strings; files in use; a bad option; a move
# to another folder; a CD-ROM target; and the uninstaller, which takes out only the PATH entry
# the setup added.
#   run_setup.sh WINE_RUN PREFIX SETUP LOCK_PROBE
set -euo pipefail
wine_run=$1 prefix=$2 setup=$3 probe=$4
source "$(dirname "${BASH_SOURCE[0]}")/setup_common.sh"
drive_c=$prefix/drive_c
lock_count() { run "$probe" Korvale.Setup | tr -d '\r'; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale'
environment_key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvale.lnk"
guide_shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Korvale user guide.lnk"
shortcuts() {  # shortcuts WHEN yes|no: both Start menu shortcuts are there, or neither
  local link
  for link in "$shortcut" "$guide_shortcut"; do
    if [ "$2" == yes ]; then
      [ -f "$link" ] || fail "$1: no $(basename "$link")"
    else
      [ ! -e "$link" ] || fail "$1: $(basename "$link") left"
    fi
  done
}
folder=$drive_c/KorvaleTest1
value() {  # value KEY NAME [32|64]: the data of a registry value, empty if there is none
  { reads reg query "$1" /v "$2" "/reg:${3:-64}" 2>/dev/null || true; } | tr -d '\r' |
    sed -n "s/^ *$2 \{4\}REG_[A-Z_]* \{4\}//Ip"
}
path_value() { value "$environment_key" PATH; }
expect_path() {  # expect_path WHEN VALUE: PATH holds exactly VALUE
  local now
  now=$(path_value)
  [ "$now" == "$2" ] || fail "PATH $1: ${#now} characters, expected ${#2}: ...${now: -60}"
}
set_path() { run reg add "$environment_key" /v PATH /t REG_EXPAND_SZ /d "$1" /f >/dev/null; }
expect_value() {  # expect_value NAME DATA: a value of the registration
  local data
  data=$(value "$uninstall_key" "$1")
  [ "$data" == "$2" ] || fail "registration $1 is '$data', expected '$2'"
}
registrations() {  # how many Korvale keys the two registry views hold together
  local count=0 view
  for view in 32 64; do
    count=$((count + $(reads reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
      "/reg:$view" | tr -d '\r' | grep -ci '\\Uninstall\\Korvale$' || true)))
  done
  echo "$count"
}
installed_files=(Korvale.exe KorvaleBatch.exe KorvaleDesk.exe Korvalelib.dll Tavisk.dll Korvale.chm README.md
  Uninstall.exe)

# The prefix's own PATH, put back at the end; the tests use one longer than the 1024
# characters an installer's string holds, with an expandable entry and an empty one.
original_path=$(path_value)
trap 'set_path "$original_path"' EXIT
long_path='%SystemRoot%\system32;%SystemRoot%;;'
for i in $(seq 60); do long_path+="C:\\Tools\\Long entry $i\\bin;"; done
long_path+='C:\Tools\Last'
set_path "$long_path"
# What a run that failed half-way may have left.
rm -rf "$folder" "$drive_c/KorvaleTest2" "$shortcut" "$guide_shortcut"
run reg delete "$uninstall_key" /f >/dev/null 2>&1 || true

# A silent install with the defaults: the files, the program runs from there, the
# registration in the 64-bit view only, the Start menu shortcuts, and PATH as it was.
installs 0 /S '/D=C:\KorvaleTest1'
for file in "${installed_files[@]}"; do
  [ -f "$folder/$file" ] || fail "$file not installed"
done
# (All of the output is read: a reader that stops early makes the program fail to write.)
header=$(run 'C:\KorvaleTest1\Korvale.exe' HELP | tr -d '\r' | sed -n 1p)
[ "$header" == "Korvale [1.0.20120528]" ] || fail "installed program says: $header"
version=$(run 'C:\KorvaleTest1\KorvaleBatch.exe' --version | tr -d '\r')
[ "$version" == "KorvaleBatch (Korvale) 1.0.20120528" ] || fail "installed batch program says: $version"
[ "$(lock_count)" == 0 ] || fail "the lock outlived the installer"
expect_value DisplayName Korvale
expect_value DisplayVersion 1.0.20120528
expect_value Publisher 'The Korvale developers'
expect_value DisplayIcon 'C:\KorvaleTest1\KorvaleDesk.exe,0'
expect_value InstallLocation 'C:\KorvaleTest1'
expect_value InstallScope AllUsers
expect_value UninstallString '"C:\KorvaleTest1\Uninstall.exe" /AllUsers'
expect_value QuietUninstallString '"C:\KorvaleTest1\Uninstall.exe" /AllUsers /S'
expect_value NoModify 0x1
expect_value NoRepair 0x1
size=$(value "$uninstall_key" EstimatedSize)
kib=$(du -k --apparent-size -c "$folder"/* | tail -n 1 | cut -f 1)
((size > 0 && size >= kib - 8 && size <= kib + 8)) || fail "EstimatedSize $size, files take $kib KiB"
[ "$(registrations)" == 1 ] || fail "$(registrations) registrations"
[ -z "$(value "$uninstall_key" DisplayName 32)" ] || fail "registered in the 32-bit view"
shortcuts "a default install" yes
grep -qaF 'C:\KorvaleTest1\KorvaleDesk.exe' "$shortcut" ||
  fail "the shortcut does not lead to the installed results window"
grep -qaF 'C:\KorvaleTest1\Korvale.chm' "$guide_shortcut" ||
  fail "the guide's shortcut does not lead to the installed guide"
expect_path "without /PATH=1" "$long_path"

# While one copy waits on its first page, a second one is refused and installs nothing, and
# the uninstaller is refused too.
run "$setup" &
first=$!
for _ in $(seq 300); do
  [ "$(lock_count)" == 1 ] && break
  sleep 0.1
done
[ "$(lock_count)" == 1 ] || fail "the interactive installer did not take the lock"
installs 2 /S '/D=C:\KorvaleTest2'
[ ! -e "$drive_c/KorvaleTest2" ] || fail "the refused copy installed something"
status=0
run 'C:\KorvaleTest1\Uninstall.exe' /S '_?=C:\KorvaleTest1' || status=$?
[ "$status" == 2 ] || fail "uninstaller during a setup: exit status $status, expected 2"
[ -f "$folder/Korvale.exe" ] || fail "the refused uninstaller removed files"
run taskkill /f /im "$(basename "$setup")" >/dev/null 2>&1 || fail "could not end the first copy"
wait "$first" || true

# A PATH that cannot take the folder (it would grow beyond the system's limit once its
# references are expanded) stays as it was, and the status says so.
set_path "$long_path;%KORVALE_TEST_FILL%"
KORVALE_TEST_FILL=$(printf '%32000s' '') installs 5 /S /PATH=1
expect_path "that cannot grow" "$long_path;%KORVALE_TEST_FILL%"
[ -z "$(value "$uninstall_key" PathEntry)" ] || fail "recorded a PATH entry it did not add"
set_path "$long_path"

# An upgrade finds the installation through its registration (no /D=), replaces changed
# files, keeps one registration, and adds the folder to the long PATH without cutting it.
originals=$(mktemp -d)
cp "$folder"/* "$originals"
echo "an older readme" >"$folder/README.md"
head -c 1000 /dev/zero >"$folder/Tavisk.dll"
run reg add "$uninstall_key" /v DisplayVersion /d 0.9 /f >/dev/null
installs 0 /S /PATH=1
for file in Korvale.exe Korvalelib.dll Tavisk.dll README.md; do
  cmp -s "$originals/$file" "$folder/$file" || fail "upgrade did not replace $file"
done
[ ! -e "$drive_c/Program Files/Korvale" ] || fail "upgrade installed into the default folder"
expect_value DisplayVersion 1.0.20120528
[ "$(registrations)" == 1 ] || fail "$(registrations) registrations after the upgrade"
expect_path "after /PATH=1" "$long_path;C:\\KorvaleTest1"
reads reg query "$environment_key" /v PATH | grep -q REG_EXPAND_SZ || fail "PATH lost its kind"
shortcuts "after an upgrade" yes

# The folder goes on PATH once, however often it is asked; an upgrade without options keeps
# the components of the installation it replaces.
installs 0 /S /PATH=1 /SHORTCUT=0
expect_path "after a second /PATH=1" "$long_path;C:\\KorvaleTest1"
shortcuts "after /SHORTCUT=0" no
installs 0 /S
expect_path "after a plain upgrade" "$long_path;C:\\KorvaleTest1"
shortcuts "after a plain upgrade without them" no
installs 0 /S /SHORTCUT=1 /PATH=0
shortcuts "after /SHORTCUT=1" yes
expect_path "after /PATH=0" "$long_path"
installs 0 /S /PATH=1

# While the program runs, its files cannot be replaced: setup and uninstaller stop before
# changing anything.
echo "changed since the install" >"$folder/README.md"
said=$(mktemp)
run 'C:\KorvaleTest1\Korvale.exe' >"$said" 2>/dev/null &
program=$!
for _ in $(seq 300); do  # the window's program writes its disclaimer once it runs
  [ -s "$said" ] && break
  sleep 0.1
done
[ -s "$said" ] || fail "the program did not start"
installs 4 /S
grep -q "changed since the install" "$folder/README.md" || fail "setup wrote files while in use"
status=0
run 'C:\KorvaleTest1\Uninstall.exe' /S '_?=C:\KorvaleTest1' || status=$?
[ "$status" == 4 ] || fail "uninstaller while in use: exit status $status, expected 4"
[ -f "$folder/README.md" ] || fail "the uninstaller removed files while in use"
run taskkill /f /im Korvale.exe >/dev/null 2>&1 || fail "could not end the program"
wait "$program" || true
installs 0 /S
cmp -s "$originals/README.md" "$folder/README.md" || fail "no upgrade once the program ended"

# A file that cannot be written all the same stops a silent setup instead of being skipped.
rm "$folder/README.md"
mkdir "$folder/README.md"
installs 4 /S
rmdir "$folder/README.md"

# A bad option value stops the setup before it changes anything, and so do both scopes at once.
installs 6 /S /PATH=yes
installs 6 /S /VERBS=2
installs 6 /S /SENDTO=
installs 6 /S /AllUsers /CurrentUser
installs 6 /S /AllUsersX

# Given another folder, the installation moves there with its registration, shortcut and PATH
# entry, and the old folder goes.
installs 0 /S '/D=C:\KorvaleTest2'
expect_value InstallLocation 'C:\KorvaleTest2'
expect_value PathEntry 'C:\KorvaleTest2'
expect_path "after a move" "$long_path;C:\\KorvaleTest2"
[ ! -e "$folder" ] || fail "left in the old folder: $(ls "$folder")"
[ "$(registrations)" == 1 ] || fail "$(registrations) registrations after the move"
grep -qaF 'C:\KorvaleTest2\KorvaleDesk.exe' "$shortcut" || fail "the shortcut did not move along"
grep -qaF 'C:\KorvaleTest2\Korvale.chm' "$guide_shortcut" ||
  fail "the guide's shortcut did not move along"
folder=$drive_c/KorvaleTest2

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

# The uninstaller as Windows runs it (it copies itself away to delete itself: wait for the
# copy) removes the files, the folder, the shortcut, the registration and the PATH entry the
# setup added, and leaves the rest of PATH as it was: an entry for the same folder that the
# user added since stays.
set_path "$long_path;C:\\KorvaleTest2;c:\\korvaletest2"
run 'C:\KorvaleTest2\Uninstall.exe' /S || fail "uninstaller failed: exit status $?"
WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
[ ! -e "$folder" ] || fail "left after uninstall: $(ls "$folder")"
shortcuts "after uninstall" no
[ "$(registrations)" == 0 ] || fail "registration left after uninstall"
expect_path "after uninstall" "$long_path;c:\\korvaletest2"

rm -rf "$drive_c/KorvaleTest1" "$drive_c/KorvaleTest2" "$originals" "$said"
((failures == 0)) && echo "all setup checks passed"
exit $((failures > 0))
