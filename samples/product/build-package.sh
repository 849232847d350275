#!/usr/bin/env bash
# Builds the product's Windows Installer package: wixl compiles the source, then msibuild
# adds what wixl cannot express. Usage: build-package.sh WXS PROGRAM VERSION UPGRADE_CODE OUT
set -euo pipefail
wxs=$1 program=$2 version=$3 upgrade=$4 out=$5
part=$out.part
mkdir -p "$(dirname "$out")"
rm -f "$part"
trap 'rm -f "$part"' EXIT

# wixl looks for sources relative to its working directory only.
(cd "$(dirname "$program")" &&
    wixl -o "$part" -D ProgramSource="$(basename "$program")" -D ProductVersion="$version" \
        -D UpgradeCode="$upgrade" "$wxs")

# wixl takes no condition under a component: the desktop shortcut is installed only when
# asked for.
msibuild "$part" -q "UPDATE \`Component\` SET \`Condition\` = 'INSTALL_DESKTOP_SHORTCUT_PROPERTY = \"#1\"' WHERE \`Component\` = 'DesktopShortcut'"
# wixl drops IncludeMaximum, and the attributes are part of the row's key: replace the row
# so that a rebuild of the same version (new product code) also replaces an installed one.
# 769 = migrate feature states | minimum inclusive | maximum inclusive.
msibuild "$part" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'PREVIOUSFOUND'"
msibuild "$part" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('{$upgrade}', '0.0.0', '$version', 769, 'PREVIOUSFOUND')"

mv -f "$part" "$out"
trap - EXIT
