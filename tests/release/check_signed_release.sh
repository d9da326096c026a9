#!/usr/bin/env bash
# The signed release as a user's machine checks it. tools/release --sign signs with the key of a
# throwaway certificate authority, made here; then every Windows file of the zip, and every one
# in its two setups (the uninstallers and NSIS's plug-ins included), must carry a SHA-256
# signature that osslsigncode verifies against that authority; a changed byte must fail; the
# signatures taken off must give back the unsigned release's bytes; the setups must hold the
# zip's own files; and the key as a PKCS#12 file must sign as its PEM files do. The keys stay in
# a temporary folder. The unsigned release's outputs are put back at the end.
# Run as root from a clone, after tools/release:   check_signed_release.sh UNSIGNED_ZIP
set -euo pipefail
unsigned_zip=$(realpath "$1")
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
# The signed release is written over the unsigned one's outputs, which come back at the end.
outputs=$(dirname "$unsigned_zip")
kept=$work/unsigned-outputs
mkdir "$kept"
cp "$unsigned_zip" "$outputs"/{korvale_*.deb,SHA256SUMS} "$kept"
trap 'cp "$kept"/* "$outputs"; rm -rf "$work"' EXIT
status=0
fail() {
  echo "FAIL: $*"
  status=1
}
quietly() {  # the command's output only when it fails
  local log
  log=$("$@" 2>&1) || { echo "$log" >&2; echo "check_signed_release.sh: $1 failed" >&2; exit 1; }
}

keys=$work/keys
mkdir -m 700 "$keys"
quietly openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Korvale test authority" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
  -keyout "$keys/ca.key" -out "$keys/ca.pem"
quietly openssl req -newkey rsa:2048 -nodes -subj "/CN=Korvale test signer" \
  -keyout "$keys/signer.key" -out "$keys/signer.csr"
printf '%s\n' basicConstraints=critical,CA:FALSE keyUsage=critical,digitalSignature \
  extendedKeyUsage=codeSigning >"$keys/signer.ext"
quietly openssl x509 -req -days 30 -set_serial 1 -in "$keys/signer.csr" -CA "$keys/ca.pem" \
  -CAkey "$keys/ca.key" -extfile "$keys/signer.ext" -out "$keys/signer.pem"
openssl rand -hex 16 >"$keys/password"
quietly openssl pkcs12 -export -in "$keys/signer.pem" -inkey "$keys/signer.key" \
  -passout "file:$keys/password" -out "$keys/signer.p12"

# Asked to sign without a key, the release stops before it builds anything.
if message=$(env -u KORVALE_SIGN_CERT -u KORVALE_SIGN_KEY -u KORVALE_SIGN_PKCS12 \
  -u KORVALE_SIGN_PASSWORD_FILE tools/release --sign 2>&1 >/dev/null); then
  fail "tools/release --sign without a key went ahead"
elif ! grep -q "signing needs KORVALE_SIGN_CERT" <<<"$message"; then
  fail "tools/release --sign without a key said: $message"
fi

KORVALE_SIGN_CERT=$keys/signer.pem KORVALE_SIGN_KEY=$keys/signer.key \
  quietly tools/release --sign
unpack() {  # unpack ZIP FOLDER: the bundle, and the contents of its two setups beside it
  unzip -q "$1" -d "$2"
  local arch
  for arch in x86 x64; do
    quietly 7z x -o"$2/setup-$arch" "$2"/*/windows-$arch/KorvaleSetup.exe
  done
}
unpack "$kept/$(basename "$unsigned_zip")" "$work/unsigned"
unpack "$unsigned_zip" "$work/signed"

pe_files() { (cd "$1" && find . \( -name '*.exe' -o -name '*.dll' \) | LC_ALL=C sort); }
verify() { osslsigncode verify -CAfile "$keys/ca.pem" -in "$1" 2>&1; }
mapfile -t files < <(pe_files "$work/signed")
for file in "${files[@]}"; do
  signed=$work/signed/$file
  report=$(verify "$signed") || { fail "$file: $report"; continue; }
  grep -q "digest algorithm *: SHA256" <<<"$report" || fail "$file is not signed with SHA-256"
  # The files themselves come back as they were; a setup holds signed files, and so stays.
  if [[ $file != */KorvaleSetup.exe && $file != ./setup-*/Uninstall.exe ]]; then
    osslsigncode remove-signature -in "$signed" -out "$work/removed" >/dev/null
    cmp -s "$work/removed" "$work/unsigned/$file" ||
      fail "$file without its signature differs from the unsigned release's"
    rm "$work/removed"
  fi
done
echo "${#files[@]} Windows files signed and verified"
for arch in x86 x64; do
  for file in Uninstall.exe '$PLUGINSDIR/PathHelper.exe' '$PLUGINSDIR/Pelwick.dll'; do
    [ -f "$work/signed/setup-$arch/$file" ] || fail "no $file found in the $arch setup"
  done
done

for arch in x86 x64; do
  for file in Korvale.exe KorvaleBatch.exe KorvaleDesk.exe Korvalelib.dll Tavisk.dll; do
    cmp -s "$work/signed/setup-$arch/$file" "$work/signed"/*/windows-$arch/$file ||
      fail "the $arch setup's $file differs from the zip's"
  done
done

changed=$work/changed.dll
cp "$work/signed"/*/windows-x64/Korvalelib.dll "$changed"
python3 -c 'import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(4096)
    byte = f.read(1)[0]
    f.seek(4096)
    f.write(bytes([byte ^ 0xFF]))' "$changed"
verify "$changed" >/dev/null && fail "a signed file with a changed byte still verifies"

from_pkcs12=$work/pkcs12.dll
cp "$work/unsigned"/*/windows-x64/Tavisk.dll "$from_pkcs12"
KORVALE_SIGN_PKCS12=$keys/signer.p12 KORVALE_SIGN_PASSWORD_FILE=$keys/password \
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) release/finish_pe.py --sign "$from_pkcs12"
cmp -s "$from_pkcs12" "$work/signed"/*/windows-x64/Tavisk.dll ||
  fail "the PKCS#12 key signs otherwise than its PEM files"

((status == 0)) && echo "the signed release verifies"
exit "$status"
