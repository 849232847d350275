#!/usr/bin/env bash
# Runs a command with a Wine prefix of its own and that prefix's server started inside the
# current display session, then stops the server. Usage: wine-session.sh PREFIX COMMAND...
set -uo pipefail
prefix=$1
shift

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
# Wine makes Unix file names in the character set of the locale. Without one (a bare
# container, env -i) no name outside ASCII can be made; C.UTF-8 is on every Debian system,
# and one fixed locale also keeps Wine's own texts the same for every caller.
export LC_ALL=C.UTF-8
unset LANGUAGE

# A server left over from a call without a display would break every window later on.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "making the Wine prefix $WINEPREFIX (once)"
    mkdir -p "$WINEPREFIX"
    # Mono and Gecko cannot be downloaded here and are not needed.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init >/dev/null 2>&1
    # Without a window manager Wine waits about 2 s whenever a window is hidden; with
    # unmanaged windows it does not, and it draws the title bars itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
fi

# What the programs under test install stays inside the prefix: Wine links the profile's
# Desktop, Documents... to the Unix home, and would add menu and desktop entries there for
# every shortcut. The folders become plain folders of the prefix and the entries are off.
# A Desktop folder holds a desktop.ini, as on Windows: Wine's Windows Installer removes a
# Desktop that an uninstall leaves empty, after which the save dialog can browse nothing.
for profile in "$WINEPREFIX"/drive_c/users/*; do
    for folder in "$profile"/*; do
        if [ -L "$folder" ]; then
            rm -f "$folder" && mkdir -p "$folder"
        fi
    done
    mkdir -p "$profile/Desktop" && touch "$profile/Desktop/desktop.ini"
done
if ! grep -q '"winemenubuilder.exe"=""' "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f >/dev/null 2>&1
    wineserver -w
fi

wineserver -p
"$@"
status=$?
wineserver -k 2>/dev/null || true
exit $status
