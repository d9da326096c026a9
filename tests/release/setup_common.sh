# What the setup tests share; sourced after they have set wine_run, prefix and setup.
# A command that ends a script under set -e names itself, its line and its status.
set -E
trap 'echo "FAIL: ${BASH_SOURCE[0]##*/} line $LINENO: $BASH_COMMAND (status $?)" >&2' ERR
run() { "$wine_run" "$prefix" "$@"; }
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
