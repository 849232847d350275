#!/usr/bin/env bash
# Renders the package creation dialogs (both modes), the licence agreement, the result
# dialog, the message boxes and the progress window to docs/images/*.png, and the progress
# window and the option dialog of /extract also in German and Japanese (*-de.png, *-ja.png):
# builds the bootstrapper variants and the picture driver, runs the driver under Wine on a
# virtual display, converts its bitmaps.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh
build=${ORVANTA_BUILD_DIR:-$root/build}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target ui_pictures

shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
# A Unix path is a Windows path on drive Z:. A Wine process takes its UI language from its
# own LC_ALL (the session sets C.UTF-8, English), and the bootstrapper the driver starts
# inherits the driver's.
xvfb-run -a -s "-screen 0 1024x768x24" \
    bash scripts/wine-session.sh "$build/wineprefix" \
    bash -c 'wine "$1" "$2" &&
             LC_ALL=de_DE.UTF-8 wine "$1" "$2" de &&
             LC_ALL=ja_JP.UTF-8 wine "$1" "$2" ja' \
    pictures "$build/bin/ui_pictures.exe" "Z:${shots//\//\\}"

mkdir -p docs/images
for bitmap in "$shots"/*.bmp; do
    picture=docs/images/$(basename "${bitmap%.bmp}").png
    convert "$bitmap" -strip "$picture"
    echo "$picture"
done
