#!/usr/bin/env bash
# Checks the Debian package as a user meets it: installs it with apt into a brand-new Debian 12
# root (tools/fresh-root), stamps and checks a copy of the sample file with the installed program,
# looks its manual page up, then purges the package and checks that it left nothing behind.
# Run as root.   check_package.sh DEB
set -euo pipefail

if [ "${1:-}" = --inside ]; then
  # Inside the root, in /root, beside the package and a copy of the sample file.
  deb=$2
  fail() { echo "FAIL: $*" >&2; exit 1; }
  quietly() {  # the command's output only when it fails
    local log status=0
    log=$("$@" 2>&1) || status=$?
    ((status == 0)) || { echo "$log" >&2; fail "$* exited with $status"; }
  }
  # The root's files outside apt's and dpkg's own records, caches and logs.
  files() {
    find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /root -o -path /tmp \
      -o -path /var/lib/dpkg -o -path /var/lib/apt -o -path /var/cache -o -path /var/log \) -prune \
      -o -print | sort
  }
  export DEBIAN_FRONTEND=noninteractive
  quietly apt-get update -q
  # A new root has no man-db (priority standard): install it first, as a user's machine has it.
  quietly apt-get install -y -q --no-install-recommends man-db
  files >before

  quietly apt-get install -y -q "./$deb"
  echo "installed: $(dpkg-query -W korvale), $(dpkg -L korvale | wc -l) paths"
  korvale SET valves.xml >/dev/null
  report=$(korvale CHECK valves.xml | tr -d '\r')
  expected=$'Korvale [1.0.20120528]\nCHECK ...valves.xml\nCRC32: 0xB50E504C\nOK'
  [ "$report" = "$expected" ] || fail "korvale CHECK reported:"$'\n'"$report"
  page=$(man -w korvale) || fail "man finds no page for korvale"
  [ "$page" = /usr/share/man/man1/korvale.1.gz ] || fail "the page of korvale is $page"
  man korvale 2>&1 | grep -q 'stamp and verify the CRC-32 field' || fail "man korvale shows no page"
  line=$(korvale-batch check valves.xml 2>/dev/null) || fail "korvale-batch check failed: $line"
  [ "$line" = $'00\t0xB50E504C\tvalves.xml\tOK' ] || fail "korvale-batch check printed: $line"
  [ "$(man -w korvale-batch)" = /usr/share/man/man1/korvale-batch.1.gz ] ||
    fail "man finds no page for korvale-batch"
  ldconfig -p | grep -q 'libKorvalelib\.so\.1 .*/lib/x86_64-linux-gnu/libKorvalelib\.so\.1$' \
    || fail "the loader's cache lacks libKorvalelib.so.1 (no ldconfig trigger?)"
  echo "korvale CHECK and korvale-batch check: OK; man -w korvale: $page; libKorvalelib.so.1 in the loader's cache"

  quietly apt-get remove --purge -y -q korvale
  ! dpkg-query -W korvale >/dev/null 2>&1 || fail "korvale is still known to dpkg"
  ! ldconfig -p | grep -q libKorvalelib || fail "the loader's cache still lists libKorvalelib"
  left=$(comm -13 before <(files))
  gone=$(comm -23 before <(files))
  [ -z "$left$gone" ] || fail "the purge left:"$'\n'"$left"$'\n'"and took:"$'\n'"$gone"
  echo "apt-get remove --purge: nothing left behind"
  exit 0
fi

deb=$(realpath "$1")
repo=$(cd "$(dirname "$0")/../.." && pwd)

# First the package file itself: programs without a search path (the library lies where the
# loader looks), and a library with its soname exporting the thirteen functions.
contents=$(mktemp -d)
trap 'rm -rf "$contents"' EXIT
dpkg-deb -x "$deb" "$contents"
for program in "$contents"/usr/bin/*; do
  if readelf -d "$program" | grep -E 'RPATH|RUNPATH'; then
    echo "FAIL: ${program#"$contents"} has a library search path" >&2
    exit 1
  fi
done
library=$contents/usr/lib/x86_64-linux-gnu/libKorvalelib.so.1
readelf -d "$library" | grep -q 'SONAME.*\[libKorvalelib\.so\.1\]' || {
  echo "FAIL: no soname libKorvalelib.so.1" >&2
  exit 1
}
"$repo/tests/static/check_so_exports.sh" "$library" "$repo/library/korvalelib.def"

root=$repo/build/package-root
trap 'rm -rf "$contents"; "$repo/tools/fresh-root" remove "$root"' EXIT
"$repo/tools/fresh-root" remove "$root"
"$repo/tools/fresh-root" create "$root"
cp "$deb" "$repo/examples/valves.xml" "$0" "$root/root/"
"$repo/tools/fresh-root" run "$root" \
  "cd /root && bash ./$(basename "$0") --inside $(basename "$deb")"
