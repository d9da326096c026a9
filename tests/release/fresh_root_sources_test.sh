#!/usr/bin/env bash
# fresh-root's apt lines, read from sources in both forms as Debian 12 machines have them: the
# one-line form (what mmdebstrap writes into a new root) and deb822.
#   fresh_root_sources_test.sh FRESH_ROOT
set -euo pipefail
fresh_root=$1
apt=$(mktemp -d)
trap 'rm -rf "$apt"' EXIT
mkdir -p "$apt/sources.list.d"

cat >"$apt/sources.list" <<'LIST'
deb http://deb.example.test/debian bookworm main

deb	http://deb.example.test/debian	bookworm-updates	main
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.example.test/debian-security bookworm-security main
deb-src http://deb.example.test/debian bookworm main
# deb http://deb.example.test/debian bookworm contrib
deb http://deb.example.test/debian bullseye main
LIST
cat >"$apt/sources.list.d/debian.sources" <<'DEB822'
Types: deb
# a comment between fields
URIs: http://mirror.example.test/debian http://other.example.test/debian
Suites: bookworm bookworm-updates
Components: main contrib
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://mirror.example.test/debian
Suites: bookworm
Components: main
DEB822

expected="deb http://mirror.example.test/debian bookworm main contrib
deb http://mirror.example.test/debian bookworm-updates main contrib
deb http://other.example.test/debian bookworm main contrib
deb http://other.example.test/debian bookworm-updates main contrib
deb http://deb.example.test/debian bookworm main
deb	http://deb.example.test/debian	bookworm-updates	main
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.example.test/debian-security bookworm-security main"
actual=$(bash "$fresh_root" sources "$apt")
if [ "$actual" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "7 apt lines as expected"
