#!/usr/bin/env bash
# Signs the built executable as a signing build does, with a throwaway authority and
# code-signing certificate made here, and checks the signature: it verifies, it is the same
# bytes twice, one changed payload byte breaks it, and a failed signing leaves no file.
# The signed copy is left in OUTPUT_DIR for the end-to-end tests.
# Usage: check-signature.sh EXECUTABLE PACKAGE_PAYLOAD OUTPUT_DIR
set -euo pipefail
executable=$1
package=$2
output=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The authority, and a signer it certifies for code signing, valid for two days.
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
    -subj "/CN=Orvanta Test CA" -addext "basicConstraints=critical,CA:true" \
    -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr \
    -subj "/CN=Orvanta Test Signer" 2>/dev/null
printf '%s\n' "basicConstraints=CA:false" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
    -extfile signer.ext -out signer.pem 2>/dev/null
export ORVANTA_SIGN_PASSWORD='throwaway $pass "word"'
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -out signer.p12 \
    -passout env:ORVANTA_SIGN_PASSWORD

# The file as linked: a build configured for signing has signed it already.
if osslsigncode extract-signature -in "$executable" -out existing.sig >/dev/null 2>&1; then
    osslsigncode remove-signature -in "$executable" -out unsigned.exe >/dev/null
else
    cp "$executable" unsigned.exe
fi

sign() {
    cp unsigned.exe "$1"
    bash "$root/scripts/sign.sh" --pkcs12 signer.p12 "$1" >/dev/null
}
verifies() {
    osslsigncode verify -CAfile ca.pem -in "$1" >"$1.verify" 2>&1
}

sign first.exe
# Past the second, so that a signing time taken from the clock would show.
sleep 1.1
sign second.exe
cmp first.exe second.exe || fail "two signings of the same file with the same key differ"
verifies first.exe || fail "the signed file does not verify: $(cat first.exe.verify)"
grep -q "SHA256" first.exe.verify || fail "not signed with SHA-256: $(cat first.exe.verify)"

# One byte in the middle of the installer package payload.
size=$(stat -c %s "$package")
offset=$(LC_ALL=C grep -m 1 -obUaP '\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1' first.exe | head -n 1 | cut -d: -f1)
[ -n "$offset" ] || fail "no installer package in the executable"
cmp -s -n "$size" <(tail -c +$((offset + 1)) first.exe) "$package" ||
    fail "the package payload is not at $offset"
cp first.exe changed.exe
at=$((offset + size / 2))
byte=$(od -An -tu1 -j "$at" -N1 changed.exe | tr -d ' ')
printf "\\$(printf '%03o' $((byte ^ 1)))" | dd of=changed.exe bs=1 seek="$at" conv=notrunc 2>/dev/null
! cmp -s first.exe changed.exe || fail "the byte was not changed"
! verifies changed.exe || fail "a changed payload byte still verifies"

# A signing that fails deletes the file instead of leaving it unsigned.
cp unsigned.exe wrong.exe
! ORVANTA_SIGN_PASSWORD=wrong bash "$root/scripts/sign.sh" --pkcs12 signer.p12 wrong.exe \
    >/dev/null 2>&1 || fail "signing with a wrong password succeeded"
[ ! -e wrong.exe ] && [ ! -e wrong.exe.signing ] || fail "a failed signing left a file"

mkdir -p "$output"
cp first.exe "$output/$(basename "$executable")"
echo "signed: $(stat -c %s unsigned.exe) bytes unsigned, $(stat -c %s first.exe) signed"
