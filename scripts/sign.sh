#!/usr/bin/env bash
# Signs a Windows executable in place: Authenticode, SHA-256, with osslsigncode.
#
# Usage: sign.sh --pkcs12 FILE [--timestamp URL] EXECUTABLE
#        sign.sh --certs FILE --pkcs11-module MODULE --pkcs11-key URI [--timestamp URL] EXECUTABLE
#
# The signature carries a signing time; it is SOURCE_DATE_EPOCH when that is set, otherwise
# the time of the sources' last commit, so that the same sources and key give the same
# bytes (a timestamp from a server, when asked for, differs every time).
# The PKCS#12 password, or the token's PIN, is read from the environment variable
# ORVANTA_SIGN_PASSWORD; it never appears on a command line, in a file or in the output.
# The executable is replaced only by a completely signed file. When signing fails it is
# deleted, so that no unsigned file is left where the signed one is expected, and the next
# build links and signs it again.
set -euo pipefail

key=()
timestamp=()
while [ $# -gt 1 ]; do
    case $1 in
        --pkcs12) key+=(-pkcs12 "$2") ;;
        --certs) key+=(-certs "$2") ;;
        --pkcs11-module) key+=(-pkcs11module "$2") ;;
        --pkcs11-key) key+=(-key "$2") ;;
        --timestamp) timestamp+=(-ts "$2") ;;
        *)
            echo "sign.sh: unknown option $1" >&2
            exit 2
            ;;
    esac
    shift 2
done
if [ $# -ne 1 ] || [ ${#key[@]} -eq 0 ]; then
    echo "usage: sign.sh (--pkcs12 FILE | --certs FILE --pkcs11-module MODULE --pkcs11-key URI)" \
        "[--timestamp URL] EXECUTABLE" >&2
    exit 2
fi
executable=$1
signed=$executable.signing
rm -f "$signed"

signing_time=${SOURCE_DATE_EPOCH:-}
if [ -z "$signing_time" ]; then
    root=$(cd "$(dirname "$0")/.." && pwd)
    signing_time=$(git -c safe.directory="$root" -C "$root" log -1 --format=%ct 2>/dev/null || true)
fi
time_option=()
if [ -n "$signing_time" ]; then
    time_option=(-time "$signing_time")
else
    echo "sign.sh: no SOURCE_DATE_EPOCH and no commit; signing with the current time" >&2
fi

# The password reaches osslsigncode through its standard input, without a line feed.
password=()
if [ -n "${ORVANTA_SIGN_PASSWORD+set}" ]; then
    password=(-readpass /dev/stdin)
fi
if osslsigncode sign "${key[@]}" "${password[@]}" -h sha256 -n "Orvanta Vellumo Setup" \
    "${time_option[@]}" "${timestamp[@]}" -in "$executable" -out "$signed" \
    < <(printf '%s' "${ORVANTA_SIGN_PASSWORD:-}") && [ -s "$signed" ]; then
    chmod --reference="$executable" "$signed"
    mv -f "$signed" "$executable"
else
    rm -f "$signed" "$executable"
    echo "sign.sh: signing failed, $executable deleted" >&2
    exit 1
fi
