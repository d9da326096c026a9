#!/usr/bin/env bash
# Korvale's installer in both scopes, silently, in a prefix of its own.
#   scopes:     for everyone (/AllUsers: Program Files, HKLM) and for the user alone
#               (/CurrentUser: their programs folder, HKCU), with every component. After each
#               install: the registration in the scope's hive only, the Explorer commands with
#               their commands and icons, the Send To link, the Start menu links and PATH; the
#               version records and icon sizes of the setup and of the uninstaller it wrote.
#               After the uninstaller (as its registration starts it): the registry and the
#               file trees it touched are exactly as before the install.
#   components: the components left out leave nothing (and an upgrade keeps them out, or takes
#               them in and out again); an installation in one scope is refused, changing
#               nothing, while Korvale is installed in the other.
#   run_setup_scopes.sh scopes|components WINE_RUN PREFIX SETUP PE_RESOURCES LOCK_PROBE
set -euo pipefail
part=$1 wine_run=$2 prefix=$3 setup=$4 pe_resources=$5 lock_probe=$6
source "$(dirname "${BASH_SOURCE[0]}")/setup_common.sh"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

value() {  # value KEY NAME: the data of a registry value (64-bit view), empty if there is none
  { reads reg query "$1" /v "$2" /reg:64 2>/dev/null || true; } | tr -d '\r' |
    sed -n "s/^ *$2 \{4\}REG_[A-Z_]* \{4\}//Ip"
}
default() {  # default KEY: the default value of a key
  { reads reg query "$1" /ve /reg:64 2>/dev/null || true; } | tr -d '\r' |
    sed -n 's/^ *(Default) \{4\}REG_SZ \{4\}//p'
}
has_key() { reads reg query "$1" /reg:64 >/dev/null 2>&1; }
unix_path() { reads winepath -u "$1" | tr -d '\r'; }
# uninstalls FOLDER ARGS...: the uninstaller of FOLDER as "Installed apps" starts it: it copies
# itself away and starts the copy, which removes the folder and then gives back the setups'
# lock: wait for both.
uninstalls() {
  local gone
  gone=$(unix_path "$1")
  run "$1\\Uninstall.exe" "${@:2}" || fail "uninstaller ${*:2}: exit status $?"
  for _ in $(seq 300); do
    [ ! -e "$gone" ] && [ "$(run "$lock_probe" Korvale.Setup | tr -d '\r')" == 0 ] && return
    sleep 0.2
  done
  fail "the uninstaller of $1 did not finish"
}
shell_folder() { value "$1\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders" "$2"; }

run cmd /c exit 0 # Wine's first start in the prefix, before anything is looked at
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvale'
machine_environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
user_environment='HKCU\Environment'
local_appdata=$(shell_folder HKCU 'Local AppData')
sendto=$(shell_folder HKCU SendTo)
user_programs=$(shell_folder HKCU Programs)
common_programs=$(shell_folder HKLM 'Common Programs')
program_files=$(value 'HKLM\Software\Microsoft\Windows\CurrentVersion' ProgramFilesDir)
[ -n "$local_appdata" ] && [ -n "$sendto" ] && [ -n "$user_programs" ] &&
  [ -n "$common_programs" ] && [ -n "$program_files" ] || {
  echo "FAIL: the prefix's shell folders are not known"
  exit 1
}

# What a scope's installation touches: the registry (both hives' software, the classes Explorer
# reads, both PATHs) and the file trees (both programs folders, both Start menus, Send To).
# Wine's own entries that change while programs merely run are left out, each for its reason:
volatile=(
  # Wine's desktop process makes these two keys (where it records what it exported to the
  # host's menus) when it starts and finds them missing: seen made by a desktop started anew
  # after the prefix's first session; the warm-up above starts it as a rule, but a desktop
  # that ends between two snapshots starts again
  '^\[HKEY_CURRENT_USER\\Software\\Wine\\(FileOpenAssociations|MenuFiles)\]'
)
volatile_pattern=$(IFS='|'; echo "${volatile[*]}")
registry_snapshot() {  # registry_snapshot OUT: the exports, one key per paragraph, sorted
  local key export_file=$scratch/export.reg
  : >"$1"
  for key in 'HKLM\Software' 'HKCU\Software' 'HKCR' "$machine_environment" "$user_environment"; do
    reads reg export "$key" "$(reads winepath -w "$export_file" | tr -d '\r')" /y /reg:64 >/dev/null
    # One line per key (its values joined to it), without the volatile ones.
    iconv -f UTF-16 -t UTF-8 "$export_file" | tr -d '\r' | awk -v RS= -v ORS='\n' '{ gsub(/\n/, " | "); print }' |
      grep -Ev "$volatile_pattern" | sort >>"$1"
  done
}
file_snapshot() {  # file_snapshot OUT: every file and folder of the trees, with sizes and sums
  local folder
  : >"$1"
  for folder in "$program_files" "$local_appdata" "$common_programs" "$user_programs" "$sendto"; do
    folder=$(unix_path "$folder")
    echo "== $folder" >>"$1"
    [ -d "$folder" ] || { echo "(no such folder)" >>"$1" && continue; }
    # (A folder's own size only grows on ext4: not compared.)
    (cd "$folder" && find . \( -type f -printf '%s %p\n' \) -o -printf '%y %p\n' | sort) >>"$1"
  done
}
snapshot() {
  registry_snapshot "$1.reg"
  file_snapshot "$1.files"
}
same_as() {  # same_as BEFORE AFTER WHEN: the snapshots are identical
  local kind
  for kind in reg files; do
    if ! diff -u "$1.$kind" "$2.$kind" >"$scratch/diff"; then
      fail "$3: the $kind differ from before the install:"
      head -n 40 "$scratch/diff"
    fi
  done
}

# What a run that failed half-way may have left: registrations, folders, commands, links.
for hive in HKLM HKCU; do
  for key in "$uninstall_key" \
    'Software\Classes\SystemFileAssociations\.xml\shell\KorvaleCheck' \
    'Software\Classes\SystemFileAssociations\.xml\shell\KorvaleStamp' \
    'Software\Classes\Directory\shell\KorvaleCheck' \
    'Software\Classes\Directory\Background\shell\KorvaleCheck'; do
    run reg delete "$hive\$key" /f /reg:64 >/dev/null 2>&1 || true
  done
done
for folder in "$program_files\Korvale" "$local_appdata\Programs\Korvale" \
  "$sendto\Korvale.lnk" "$common_programs\Korvale.lnk" "$common_programs\Korvale user guide.lnk" \
  "$user_programs\Korvale.lnk" "$user_programs\Korvale user guide.lnk"; do
  rm -rf "$(unix_path "$folder")"
done

# The setup itself carries its version record, its icon in five sizes and a manifest that asks
# administrators for elevation (others install for themselves) and declares it DPI-aware.
expected_record="version 1.0.2012.528
ProductName: Korvale
ProductVersion: 1.0.20120528
FileVersion: 1.0.20120528
FileDescription: Korvale setup: installs and uninstalls Korvale
CompanyName: The Korvale developers
LegalCopyright: Copyright (c) 2026 the Korvale developers, MIT License
icon 16 24 32 48 256
manifest level=highestAvailable dpiAware=true"
record() { run "$pe_resources" "$1" | tr -d '\r'; }
[ "$part" != scopes ] ||
  [ "$(record "$(reads winepath -w "$setup" | tr -d '\r')")" == "$expected_record" ] ||
  fail "the setup's resources: $(record "$(reads winepath -w "$setup" | tr -d '\r')")"

verb_keys=(
  'Software\Classes\SystemFileAssociations\.xml\shell\KorvaleCheck'
  'Software\Classes\SystemFileAssociations\.xml\shell\KorvaleStamp'
  'Software\Classes\Directory\shell\KorvaleCheck'
  'Software\Classes\Directory\Background\shell\KorvaleCheck'
)
verb_texts=('Check with Korvale' 'Stamp with Korvale' 'Check XML files with Korvale'
  'Check XML files with Korvale')
verb_arguments=('"%1"' '/stamp "%1"' '"%1"' '"%V"')
verb_models=(Player Player Player '')
verbs() {  # verbs HIVE FOLDER yes|no: the four Explorer commands, or none of them
  local i key
  for i in "${!verb_keys[@]}"; do
    key="$1\\${verb_keys[$i]}"
    if [ "$3" == no ]; then
      ! has_key "$key" || fail "$key is there"
      continue
    fi
    [ "$(default "$key")" == "${verb_texts[$i]}" ] || fail "$key reads '$(default "$key")'"
    [ "$(default "$key\\command")" == "\"$2\\KorvaleDesk.exe\" ${verb_arguments[$i]}" ] ||
      fail "$key runs '$(default "$key\\command")'"
    [ "$(value "$key" Icon)" == "$2\\KorvaleDesk.exe,0" ] || fail "$key has icon '$(value "$key" Icon)'"
    [ "$(value "$key" MultiSelectModel)" == "${verb_models[$i]}" ] ||
      fail "$key has MultiSelectModel '$(value "$key" MultiSelectModel)'"
  done
}
link() {  # link WINDOWS_PATH TARGET yes|no: a shortcut to TARGET, or no such file
  local file
  file=$(unix_path "$1")
  if [ "$3" == no ]; then
    [ ! -e "$file" ] || fail "$1 is there"
  elif [ ! -f "$file" ]; then
    fail "no $1"
  else
    grep -qaF "$2" "$file" || fail "$1 does not lead to $2"
  fi
}
on_path() {  # on_path KEY FOLDER yes|no
  local path
  path=$(value "$1" Path)
  case ";$path;" in
    *";$2;"*) [ "$3" == yes ] || fail "$1 Path holds $2" ;;
    *) [ "$3" == no ] || fail "$1 Path does not hold $2: $path" ;;
  esac
}

[ "$part" == scopes ] && scopes=(AllUsers CurrentUser) || scopes=()
for scope in "${scopes[@]}"; do
  if [ $scope == AllUsers ]; then
    hive=HKLM other=HKCU folder="$program_files\\Korvale" programs=$common_programs
    other_programs=$user_programs environment=$machine_environment
  else
    hive=HKCU other=HKLM folder="$local_appdata\\Programs\\Korvale" programs=$user_programs
    other_programs=$common_programs environment=$user_environment
  fi
  snapshot "$scratch/before"
  installs 0 /S /$scope /VERBS=1 /SENDTO=1 /SHORTCUT=1 /PATH=1
  registration="$hive\\$uninstall_key"
  [ "$(value "$registration" InstallLocation)" == "$folder" ] ||
    fail "$scope: installed into '$(value "$registration" InstallLocation)', expected $folder"
  [ "$(value "$registration" InstallScope)" == $scope ] || fail "$scope: InstallScope is wrong"
  [ "$(value "$registration" UninstallString)" == "\"$folder\\Uninstall.exe\" /$scope" ] ||
    fail "$scope: UninstallString is '$(value "$registration" UninstallString)'"
  [ "$(value "$registration" DisplayIcon)" == "$folder\\KorvaleDesk.exe,0" ] ||
    fail "$scope: DisplayIcon is '$(value "$registration" DisplayIcon)'"
  ! has_key "$other\\$uninstall_key" || fail "$scope: registered in $other too"
  for file in Korvale.exe KorvaleBatch.exe KorvaleDesk.exe Korvalelib.dll Tavisk.dll Korvale.chm \
    README.md Uninstall.exe; do
    [ -f "$(unix_path "$folder\\$file")" ] || fail "$scope: $file not installed"
  done
  [ "$(record "$folder\\Uninstall.exe")" == "$expected_record" ] ||
    fail "$scope: the uninstaller's resources: $(record "$folder\\Uninstall.exe")"
  verbs $hive "$folder" yes
  verbs $other "$folder" no
  link "$sendto\\Korvale.lnk" "$folder\\KorvaleDesk.exe" yes
  [ "$(value "$registration" SendToLink)" == "$sendto\\Korvale.lnk" ] || fail "$scope: SendToLink"
  link "$programs\\Korvale.lnk" "$folder\\KorvaleDesk.exe" yes
  link "$programs\\Korvale user guide.lnk" "$folder\\Korvale.chm" yes
  link "$other_programs\\Korvale.lnk" "" no
  on_path "$environment" "$folder" yes
  on_path "$([ $scope == AllUsers ] && echo "$user_environment" || echo "$machine_environment")" \
    "$folder" no

  # The uninstaller as "Installed apps" starts it (it copies itself away: wait for the copy).
  command=$(value "$registration" QuietUninstallString)
  [ "$command" == "\"$folder\\Uninstall.exe\" /$scope /S" ] || fail "$scope: QuietUninstallString is '$command'"
  uninstalls "$folder" /$scope /S
  snapshot "$scratch/after"
  same_as "$scratch/before" "$scratch/after" "$scope, installed and uninstalled"
done

if [ "$part" == scopes ]; then
  ((failures == 0)) && echo "both scopes installed, checked and uninstalled without a trace"
  exit $((failures > 0))
fi

# The components left out leave nothing of theirs; an upgrade without options keeps them out,
# and one that takes them in and out again leaves nothing either.
folder="$local_appdata\\Programs\\Korvale"
registration="HKCU\\$uninstall_key"
snapshot "$scratch/before"
installs 0 /S /CurrentUser /VERBS=0 /SENDTO=0 /SHORTCUT=0 /PATH=0
components_out() {  # components_out WHEN
  verbs HKCU "$folder" no
  link "$sendto\\Korvale.lnk" "" no
  link "$user_programs\\Korvale.lnk" "" no
  link "$user_programs\\Korvale user guide.lnk" "" no
  on_path "$user_environment" "$folder" no
  [ -z "$(value "$registration" SendToLink)" ] || fail "$1: SendToLink recorded"
  [ "$(value "$registration" ExplorerVerbs)" == 0x0 ] || fail "$1: ExplorerVerbs recorded"
}
components_out "components off"
has_key 'HKCU\Software\Classes\SystemFileAssociations' && fail "parent keys of the verbs made"
installs 0 /S
components_out "an upgrade of an installation without them"
installs 0 /S /VERBS=1 /SENDTO=1 /PATH=1
verbs HKCU "$folder" yes
link "$sendto\\Korvale.lnk" "$folder\\KorvaleDesk.exe" yes
on_path "$user_environment" "$folder" yes
installs 0 /S /VERBS=0 /SENDTO=0 /PATH=0
components_out "components taken out by an upgrade"
uninstalls "$folder" /S
snapshot "$scratch/after"
same_as "$scratch/before" "$scratch/after" "components in and out"

# One scope at a time: a setup for the other scope is refused and changes nothing; one
# without a scope upgrades the installation there is.
installs 0 /S /AllUsers /VERBS=0 /SENDTO=0 /SHORTCUT=0
snapshot "$scratch/machine"
installs 9 /S /CurrentUser
snapshot "$scratch/refused"
same_as "$scratch/machine" "$scratch/refused" "/CurrentUser over an installation for everyone"
installs 0 /S
! has_key "HKCU\\$uninstall_key" || fail "a setup without scope registered for the user"
uninstalls "$program_files\\Korvale" /S
installs 0 /S /CurrentUser /VERBS=0 /SENDTO=0 /SHORTCUT=0
snapshot "$scratch/user"
installs 9 /S /AllUsers
snapshot "$scratch/refused"
same_as "$scratch/user" "$scratch/refused" "/AllUsers over an installation for the user"
installs 0 /S
! has_key "HKLM\\$uninstall_key" || fail "a setup without scope registered for everyone"
[ "$(value "$registration" InstallLocation)" == "$folder" ] || fail "the upgrade moved"
# The uninstaller started from the folder without a scope finds its registration by the folder.
uninstalls "$folder" /S
! has_key "$registration" || fail "the uninstaller without a scope left the registration"
[ ! -e "$(unix_path "$folder")" ] || fail "the uninstaller without a scope left the folder"

((failures == 0)) && echo "components in and out without a trace; one scope at a time"
exit $((failures > 0))
