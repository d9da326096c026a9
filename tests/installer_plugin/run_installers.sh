#!/usr/bin/env bash
# The plug-in in a real installer (lock_installer.nsi) under Wine: every export in one installer
# process, the lock between installer processes, two installers racing for it, and many
# processes racing through the DLL itself.
#   run_installers.sh WINE_RUN PREFIX INSTALLER RACER PLUGIN_DLL WORK_DIR
set -euo pipefail
wine_run=$1 prefix=$2 installer=$3 racer=$4 plugin=$5 work=$6
run() { "$wine_run" "$prefix" "$@"; }

rm -rf "$work" && mkdir -p "$work" && cp "$installer" "$work/installer.exe" && cd "$work"
# Installers left holding on when a check gives up are told to end.
trap 'touch release-first release-second release-racers' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
expect_file() {  # expect_file FILE EXPECTED: the file, CR LF line ends dropped
  local got
  got=$(tr -d '\r' <"$1")
  [ "$got" == "$2" ] || fail "$1:"$'\n'"$got"$'\n'"-- expected:"$'\n'"$2"
}
wait_for() {  # wait_for FILE: up to 30 seconds
  for _ in $(seq 300); do
    [ -f "$1" ] && return 0
    sleep 0.1
  done
  fail "$1 did not appear"
  return 1
}

# One process: the calls pair up although the host may unload the plug-in after each one.
status=0
run installer.exe /S /mode=sequence /out=sequence.txt 2>sequence.err || status=$?
[ "$status" == 0 ] || fail "sequence: exit status $status; its errors: $(cat sequence.err)"
expect_file sequence.txt "unlock-without-lock=false
running-before=false
lock=true
second-lock=false
running-locked=true
unlock=true
running-after=false
lock-again=false
unlock-again=false
drive-root=3
drive-not-root=1
stack=balanced"
expect_file sequence.err "No applications allocated.Application already created.
Application already created.
No applications allocated."

# Three processes: the first holds the lock; the second is refused and keeps the section
# open; the third starts after the first has ended without unlocking, and gets the lock
# because the first gave it back as the installer ended.
run installer.exe /S /mode=lock /out=first.txt /wait=release-first 2>first.err &
first=$!
wait_for first.txt
run installer.exe /S /mode=lock /out=second.txt /wait=release-second 2>second.err &
second=$!
wait_for second.txt
touch release-first
wait "$first" || fail "first installer: exit status $?"
run installer.exe /S /mode=lock /out=third.txt 2>third.err || fail "third installer: exit status $?"
touch release-second
wait "$second" || fail "second installer: exit status $?"
expect_file first.txt $'running=false\nlock=true'
expect_file second.txt $'running=true\nlock=false'
expect_file second.err "Max applications already allocated."
expect_file third.txt $'running=false\nlock=true'

# Two installers started together: exactly one gets the lock.
run installer.exe /S /mode=lock /out=racer1.txt /wait=release-racers 2>racer1.err &
racer1=$!
run installer.exe /S /mode=lock /out=racer2.txt /wait=release-racers 2>racer2.err &
racer2=$!
wait_for racer1.txt && wait_for racer2.txt
touch release-racers
wait "$racer1" || fail "racing installer 1: exit status $?"
wait "$racer2" || fail "racing installer 2: exit status $?"
locks=$(cat racer1.txt racer2.txt | tr -d '\r' | grep -c "^lock=true$" || true)
[ "$locks" == 1 ] || fail "two installers racing: $locks got the lock"$'\n'"$(cat racer?.txt)"

# Many processes at once: exactly one gets the lock, every other one is told why not.
dll="Z:${plugin//\//\\}"
run "$racer" "$dll" >race.txt 2>race.err || fail "race: $(cat race.txt)"
cat race.txt
refused=$(tr -d '\r' <race.err | grep -c "^Max applications already allocated.$" || true)
[ "$refused" == 15 ] || fail "race: $refused refusal messages, expected 15"

if ((failures)); then
  exit 1
fi
echo "all installer checks passed"
