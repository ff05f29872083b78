#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Windows installer from the folder that build.sh stages for the zip:
#
#   packaging/windows/msi.sh <folder> <version> <output.msi>
#
# A per-user package, built with wixl (Debian's msitools): it needs no administrator rights and
# puts every file of the folder into %LOCALAPPDATA%\Programs\Kelvora Stärkeneditor, a Start-menu
# entry with the program's icon, and an entry under "Apps" with version and publisher. A newer
# version replaces an older one (one upgrade code for all); removing it removes every file and
# folder it made. "Programs" itself is Windows' known folder for every per-user program
# (FOLDERID_UserProgramFiles), which other programs install into as well: it is left, even when
# empty, as the Start menu's own folders are. The same folder, version and SOURCE_DATE_EPOCH give
# the same bytes.
set -euo pipefail
source "$(dirname "$0")/common.sh"
(($# == 3)) || { echo "usage: $0 <folder> <version> <output.msi>" >&2; exit 2; }
stage=$(realpath "$1")
version=$2
output=$(realpath -m "$3")
ensure_packages wixl msitools faketime

# The same for every version: it is how Windows knows that one replaces the other.
upgrade_code=1400B5C0-1ADF-46F0-924C-B814E4831A38

# A GUID named by a text (shaped as RFC 4122 version 5), so a rebuild gives the same one.
guid_from() {
    local h
    h=$(printf '%s' "$1" | sha1sum)
    printf '%s-%s-5%s-%x%s-%s\n' "${h:0:8}" "${h:8:4}" "${h:13:3}" $(((0x${h:16:1} & 3) | 8)) \
        "${h:17:3}" "${h:20:12}" | tr a-f A-F
}
# An installer identifier for a staged path: a letter for its kind and a hash of the path.
id_for() { printf '%s%s' "$1" "$(printf '%s' "$2" | sha1sum | cut -c1-32)"; }
xml_text() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' <<<"$1"; }

# The staged folder <path> ("" for the top) as installer elements, entries in byte order: a
# component per file, the first of which also removes the folder on uninstall once it is empty.
folder_elements() {
    local path=$1 entry relative removal
    removal="<RemoveFolder Id=\"$(id_for r "$path")\" On=\"uninstall\"/>"
    while IFS= read -r -d '' entry; do
        relative=${path:+$path/}$entry
        if [[ -d $stage/$relative ]]; then
            echo "<Directory Id=\"$(id_for d "$relative")\" Name=\"$(xml_text "$entry")\">"
            folder_elements "$relative"
            echo "</Directory>"
        else
            echo "<Component Id=\"$(id_for c "$relative")\" Guid=\"*\">$removal"
            echo "  <File Id=\"$(id_for f "$relative")\" KeyPath=\"yes\""
            echo "        Source=\"$(xml_text "files/$relative")\"/>"
            echo "</Component>"
            removal=
        fi
    done < <(find "$stage/$path" -mindepth 1 -maxdepth 1 -printf '%f\0' | LC_ALL=C sort -z)
}

files=$(folder_elements "")
component_refs=$(grep -o '<Component Id="[^"]*"' <<<"$files" \
    | sed 's/<Component /<ComponentRef /; s/$/\/>/')
# A new product code per version, as a major upgrade wants; a new package code per content.
product_code=$(guid_from "kelvora-staerkeneditor $version")
package_code=$(guid_from "$version $(cd "$stage" && find . -type f -print0 | LC_ALL=C sort -z \
    | xargs -0 sha256sum | sha256sum)")

# The size "Apps" shows: ARPSIZE, the "Estimated size of the application in kilobytes"
# (Microsoft, "Configuring Add/Remove Programs with Windows Installer"), the staged files' bytes
# rounded up.
size_kb=$(find "$stage" -type f -printf '%s\n' | awk '{ sum += $1 } END { print int((sum + 1023) / 1024) }')

# wixl takes sources by paths relative to its working folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$stage" "$work/files"
# The programs' own icon, every size in 32-bit colour, made in the build folder that staged
# <folder> as <build>/zip/<name> (resources/make-program-icon.py).
icon=$(dirname "$(dirname "$stage")")/resources/kelvora-program.ico
[[ -f $icon ]] || { echo "msi: $icon missing (packaging/windows/build.sh makes it)" >&2; exit 1; }
cp "$icon" "$work/kelvora.ico"
cat > "$work/kelvora.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
<Product Id="$product_code" Name="Kelvora Stärkeneditor" Language="1031" Codepage="1252"
         Version="$version" Manufacturer="Kelvora" UpgradeCode="$upgrade_code">
  <Package InstallerVersion="500" Compressed="yes" InstallScope="perUser" Manufacturer="Kelvora"
           Description="Kelvora Stärkeneditor $version"/>
  <MajorUpgrade
    DowngradeErrorMessage="Eine neuere Version von Kelvora Stärkeneditor ist schon installiert."/>
  <Media Id="1" Cabinet="kelvora.cab" EmbedCab="yes"/>
  <Icon Id="kelvora.ico" SourceFile="kelvora.ico"/>
  <Property Id="ARPPRODUCTICON" Value="kelvora.ico"/>
  <Property Id="ARPNOMODIFY" Value="1"/>
  <Property Id="ARPSIZE" Value="$size_kb"/>
  <Directory Id="TARGETDIR" Name="SourceDir">
    <Directory Id="LocalAppDataFolder">
      <Directory Id="ProgramsFolder" Name="Programs">
        <Directory Id="INSTALLDIR" Name="Kelvora Stärkeneditor">
$files
          <!-- A per-user component is kept by a value of the user's registry. -->
          <Component Id="StartMenuEntry" Guid="*">
            <Shortcut Id="StartMenuShortcut" Directory="ProgramMenuFolder"
                      Name="Kelvora Stärkeneditor"
                      Description="Start- und Maximalsterne in Stärke-Konfigurationsdateien setzen"
                      Target="[INSTALLDIR]kelvora-staerkeneditor.exe" WorkingDirectory="INSTALLDIR"
                      Icon="kelvora.ico"/>
            <RegistryValue Root="HKCU" Key="Software\\Kelvora\\Kelvora Stärkeneditor"
                           Name="Startmenü" Type="integer" Value="1" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Directory Id="ProgramMenuFolder"/>
  </Directory>
  <Feature Id="Complete" Level="1">
$component_refs
    <ComponentRef Id="StartMenuEntry"/>
  </Feature>
</Product>
</Wix>
EOF

# wixl stamps the package with the clock and a random package code: the clock is held at
# SOURCE_DATE_EPOCH (common.sh), the code replaced by the one above. File times in the cabinet
# are the staged files' own, which build.sh sets to it too.
(cd "$work" && TZ=UTC faketime -f "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
    wixl --arch x64 --output kelvora.msi kelvora.wxs)
msibuild "$work/kelvora.msi" -s "Kelvora Stärkeneditor $version" Kelvora "x64;1031" "{$package_code}"
mv "$work/kelvora.msi" "$output"
