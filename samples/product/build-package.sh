#!/usr/bin/env bash
# Builds the product's Windows Installer package: wixl compiles the source, then msibuild
# adds what wixl cannot express. Usage: build-package.sh WXS PROGRAM VERSION UPGRADE_CODE OUT
set -euo pipefail
wxs=$1 program=$2 version=$3 upgrade=$4 out=$5
part=$out.part
mkdir -p "$(dirname "$out")"
rm -f "$part"
trap 'rm -f "$part"' EXIT

# Two builds of the same sources give the same bytes: the product and package codes are
# derived from the inputs instead of drawn at random, and the tools see a fixed clock for
# the summary's times (a stopped one: a running clock would make a slow build differ). A
# changed source or program still gets new codes.
digest=$(cat "$wxs" "$program" "$0" | sha1sum | cut -c1-40)
code() {
    local h
    h=$(printf '%s%s' "$digest" "$1" | sha1sum | tr 'a-f' 'A-F')
    printf '%s-%s-5%s-8%s-%s' "${h:0:8}" "${h:8:4}" "${h:13:3}" "${h:17:3}" "${h:20:12}"
}
product_code=$(code product)
package_code=$(code package)
clock=$(date -u -d "@${SOURCE_DATE_EPOCH:-1767225600}" '+%Y-%m-%d %H:%M:%S')
at_clock() { TZ=UTC faketime -f "$clock" "$@"; }
msibuild_tool=$(type -P msibuild)
msibuild() { at_clock "$msibuild_tool" "$@"; }

# wixl looks for sources relative to its working directory only, and the cabinet keeps
# each file's modification time: the program is packed from a copy dated by the clock.
stage=$(mktemp -d)
trap 'rm -f "$part"; rm -rf "$stage"' EXIT
cp "$program" "$stage/"
touch -d "$clock UTC" "$stage/$(basename "$program")"
(cd "$stage" &&
    at_clock wixl -o "$part" -D ProgramSource="$(basename "$program")" -D ProductVersion="$version" \
        -D UpgradeCode="$upgrade" -D ProductCode="$product_code" "$wxs")

# wixl takes no condition under a component: the desktop shortcut is installed only when
# asked for.
msibuild "$part" -q "UPDATE \`Component\` SET \`Condition\` = 'INSTALL_DESKTOP_SHORTCUT_PROPERTY = \"#1\"' WHERE \`Component\` = 'DesktopShortcut'"
# wixl drops IncludeMaximum, and the attributes are part of the row's key: replace the row
# so that a rebuild of the same version (new product code) also replaces an installed one.
# 769 = migrate feature states | minimum inclusive | maximum inclusive.
msibuild "$part" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'PREVIOUSFOUND'"
msibuild "$part" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('{$upgrade}', '0.0.0', '$version', 769, 'PREVIOUSFOUND')"

msibuild "$part" -s "Orvanta Vellumo" "Orvanta" "Intel;1033" "{$package_code}"

mv -f "$part" "$out"
rm -rf "$stage"
trap - EXIT
