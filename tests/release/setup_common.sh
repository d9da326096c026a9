# What the setup tests share; sourced after they have set wine_run, prefix and setup.
# A command that ends a script under set -e names itself, its line and its status.
set -E
trap 'echo "FAIL: ${BASH_SOURCE[0]##*/} line $LINENO: $BASH_COMMAND (status $?)" >&2' ERR
run() { "$wine_run" "$prefix" "$@"; }
# reads ARGS...: a Wine program that only reads (reg query, reg export, winepath), started again
# when it failed for another reason than reg's "Unable to find" (written to standard output):
# now and then Wine fails to start a program in a prefix whose last program is just ending, and
# a read must not take that for "no such key" (it was seen to, after the uninstaller's copy).
reads() {
  local status output errors
  errors=$(mktemp)
  for _ in 1 2 3; do
    status=0
    output=$(run "$@" 2>"$errors") || status=$?
    [ "$status" == 0 ] || grep -q 'Unable to find' - "$errors" <<<"$output" && break
    sleep 0.5
  done
  cat "$errors" >&2
  rm -f "$errors"
  [ -z "$output" ] || printf '%s\n' "$output"
  return "$status"
}
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
