#!/usr/bin/env bash
# The Explorer commands at work, under wine64 on a display: Korvale installed for the user,
# each command read from the registry, its placeholders filled in as Explorer fills them (%1 a
# file or a folder, %V the folder whose background was clicked) and started once per item, as
# Explorer starts it for each selected item; the results window is then read back from outside
# (probe_desk): one window, with a row per file found. Stamp with Korvale asks first (the probe
# says yes), and the file is stamped.
#   run_setup_verbs.sh WINE_RUN PREFIX SETUP SHELL_VERB PROBE_DESK EXAMPLE_XML
set -euo pipefail
wine_run=$1 prefix=$2 setup=$3 shell_verb=$4 probe_desk=$5 example=$6
source "$(dirname "${BASH_SOURCE[0]}")/setup_common.sh"
value() {  # value KEY NAME: the data of a registry value, empty if there is none
  { reads reg query "$1" /v "$2" 2>/dev/null || true; } | tr -d '\r' |
    sed -n "s/^ *$2 \{4\}REG_[A-Z_]* \{4\}//Ip"
}
registration='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale'
data=$prefix/drive_c/KorvaleVerbs
errors=$(mktemp)
close_windows() {
  run taskkill /f /im KorvaleDesk.exe >/dev/null 2>&1 || true
  run "$probe_desk" windows 0 30 >/dev/null || fail "a results window stayed open"
}
uninstall() {  # the installation for the user, as a run that failed half-way may have left it
  local folder
  folder=$(value "$registration" InstallLocation)
  [ -n "$folder" ] || return 0
  run "$folder\\Uninstall.exe" /S "_?=$folder" || fail "the uninstaller's status is $?"
  rm -rf "$(reads winepath -u "$folder" | tr -d '\r')"
}
clean() {
  close_windows
  uninstall
  rm -rf "$data" "$errors"
}
clean
trap clean EXIT

status=0
run "$setup" /S /CurrentUser /SHORTCUT=0 /SENDTO=0 || status=$?
[ "$status" == 0 ] || {
  echo "FAIL: the setup's status is $status"
  exit 1
}
mkdir -p "$data/sub"
cp "$example" "$data/one.xml"
cp "$example" "$data/two.xml"
cp "$example" "$data/sub/three.xml"

# verb NAME ROWS KEY ITEM...: the verb's command started for each item gives one window with
# ROWS rows, each "path<TAB>result" as expected (in any order), read from the probe's output.
verb() {
  local name=$1 rows=$2 key=$3 seen
  shift 3
  local items=() expected=()
  while [ "$1" != -- ]; do
    items+=("$1")
    shift
  done
  shift
  expected=("$@")
  local started=0
  run "$shell_verb" HKCU "$key" "${items[@]}" >"$errors" 2>&1 || started=$?
  ((started == 0)) || fail "$name: the command did not start (status $started): $(cat "$errors")"
  local confirm=()
  [[ "$key" != *KorvaleStamp ]] || confirm=(--confirm)
  local said=0
  seen=$(run "$probe_desk" "${confirm[@]}" rows "$rows" 60 2>"$errors" | tr -d '\r') || said=$?
  ((said == 0)) || fail "$name: no single window with $rows rows (probe status $said): $seen
$(cat "$errors")"
  [ "$(sed -n 1p <<<"$seen")" == "windows 1" ] || fail "$name: $(sed -n 1p <<<"$seen")"
  [ "$(sed 1d <<<"$seen" | sort)" == "$(printf '%s\n' "${expected[@]}" | sort)" ] ||
    fail "$name: the rows are"$'\n'"$(sed 1d <<<"$seen")"
  close_windows
}
classes='Software\Classes'
tab=$'\t'
# Two files selected: Explorer starts the command twice; the window gathers both.
verb "Check with Korvale" 2 "$classes\\SystemFileAssociations\\.xml\\shell\\KorvaleCheck" \
  'C:\KorvaleVerbs\one.xml' 'C:\KorvaleVerbs\two.xml' -- \
  "C:\\KorvaleVerbs\\one.xml${tab}not stamped" "C:\\KorvaleVerbs\\two.xml${tab}not stamped"
verb "Check XML files with Korvale on a folder" 3 "$classes\\Directory\\shell\\KorvaleCheck" \
  'C:\KorvaleVerbs' -- \
  "C:\\KorvaleVerbs\\one.xml${tab}not stamped" "C:\\KorvaleVerbs\\two.xml${tab}not stamped" \
  "C:\\KorvaleVerbs\\sub\\three.xml${tab}not stamped"
verb "Check XML files with Korvale on a folder's background" 1 \
  "$classes\\Directory\\Background\\shell\\KorvaleCheck" 'C:\KorvaleVerbs\sub' -- \
  "C:\\KorvaleVerbs\\sub\\three.xml${tab}not stamped"
verb "Stamp with Korvale" 1 "$classes\\SystemFileAssociations\\.xml\\shell\\KorvaleStamp" \
  'C:\KorvaleVerbs\one.xml' -- "C:\\KorvaleVerbs\\one.xml${tab}stamp OK"
folder=$(value "$registration" InstallLocation)
checked=$(run "$folder\\Korvale.exe" CHECK 'C:\KorvaleVerbs\one.xml' | tr -d '\r' | sed -n 4p)
[ "$checked" == OK ] || fail "the stamped file checks as: $checked"

((failures == 0)) && echo "each Explorer command opened one window with its files"
exit $((failures > 0))
