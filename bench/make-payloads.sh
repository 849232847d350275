#!/usr/bin/env bash
# Lays out the benchmark's payload sets, one directory each, in the install run's own layout
# (Orvanta.msi, DotNet.exe, SetupUI.exe, SetupUI.exe.config, <language>/SetupUI.resources.dll).
# "full" has the shipped sizes: random bytes, a real Windows Installer package made with wixl
# around one random file, and the setup UI stand-in. The smaller sets are cut from the full
# one, so that their total payload is 1, 64, 128, 256 and 384 MiB.
#
# Usage: make-payloads.sh <payload directory> <setup UI stand-in>
# Files already of the right size are kept, so a second run only refreshes the stand-in.
set -euo pipefail
out=$1
standin=$2

package_size=467050496
framework_size=83943272
config_size=267
languages=(de en-US es fr it ja pt-BR ru zh-Hans)
satellite_sizes=(7168 3584 6656 6656 6656 7168 6656 8192 6656)
# The random file inside the package that gives exactly the package size above with wixl 0.101
# and the source below; checked and corrected after the build.
data_size=463151724
declare -A scaled=([1M]=1048576 [64M]=67108864 [128M]=134217728 [256M]=268435456 [384M]=402653184)

size_of() { stat -c %s "$1" 2>/dev/null || echo -1; }

random_file() { # path size
    if [ "$(size_of "$1")" != "$2" ]; then
        mkdir -p "$(dirname "$1")"
        head -c "$2" /dev/urandom >"$1.part"
        mv "$1.part" "$1"
    fi
}

# Copies without touching a file that is already the same, so the variants are not relinked.
refresh() { # source target
    cmp -s "$1" "$2" || cp "$1" "$2"
}

make_package() { # path
    local path=$1 source=$out/package-source attempt size
    mkdir -p "$source"
    cat >"$source/package.wxs" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Orvanta Vellumo" Language="1033" Version="1.0.0.0" Manufacturer="Orvanta"
           UpgradeCode="6f1f3c9e-2d4b-4c1e-9a55-0d2f6a3b7c10">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="product.cab" EmbedCab="yes"/>
    <Property Id="INSTALL_DESKTOP_SHORTCUT_PROPERTY" Value="#0"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Orvanta Vellumo">
          <Component Id="Data" Guid="3b0c1a52-8f0e-4b7a-9d0e-7c1c2f4e5a61">
            <File Id="DataFile" Name="data.bin" Source="data.bin"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Main" Level="1"><ComponentRef Id="Data"/></Feature>
  </Product>
</Wix>
EOF
    for attempt in 1 2 3; do
        random_file "$source/data.bin" "$data_size"
        (cd "$source" && wixl -o package.msi package.wxs)
        size=$(size_of "$source/package.msi")
        echo "package with $data_size bytes of data: $size bytes (wanted $package_size)"
        [ "$size" = "$package_size" ] && break
        # The compound file grows by about 516 bytes for every 512 of data.
        data_size=$((data_size + (package_size - size) * 512 / 516))
    done
    mv "$source/package.msi" "$path"
    rm -rf "$source"
}

full=$out/full
mkdir -p "$full"
[ "$(size_of "$full/Orvanta.msi")" = "$package_size" ] || make_package "$full/Orvanta.msi"
random_file "$full/DotNet.exe" "$framework_size"
random_file "$full/SetupUI.exe.config" "$config_size"
refresh "$standin" "$full/SetupUI.exe"
for i in "${!languages[@]}"; do
    random_file "$full/${languages[$i]}/SetupUI.resources.dll" "${satellite_sizes[$i]}"
done

# The package alone, for the plain copy that package creation is compared with.
mkdir -p "$out/package"
ln -f "$full/Orvanta.msi" "$out/package/Orvanta.msi"

# The small files are shared with the full set; the two large ones are cut to the set's size.
small=$(($(size_of "$full/SetupUI.exe") + config_size))
for s in "${satellite_sizes[@]}"; do small=$((small + s)); done
for name in "${!scaled[@]}"; do
    dir=$out/$name
    mkdir -p "$dir"
    large=$((scaled[$name] - small))
    package_part=$((large * package_size / (package_size + framework_size)))
    framework_part=$((large - package_part))
    [ "$(size_of "$dir/Orvanta.msi")" = "$package_part" ] ||
        head -c "$package_part" "$full/Orvanta.msi" >"$dir/Orvanta.msi"
    [ "$(size_of "$dir/DotNet.exe")" = "$framework_part" ] ||
        head -c "$framework_part" "$full/DotNet.exe" >"$dir/DotNet.exe"
    refresh "$full/SetupUI.exe" "$dir/SetupUI.exe"
    refresh "$full/SetupUI.exe.config" "$dir/SetupUI.exe.config"
    for language in "${languages[@]}"; do
        mkdir -p "$dir/$language"
        refresh "$full/$language/SetupUI.resources.dll" "$dir/$language/SetupUI.resources.dll"
    done
done
