#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR and checks what a desktop gets from it:
# exactly the expected files, an installed dorvanelle-cli that finds its decoder
# module and converts a compressed file and starts its network helper, a desktop entry and metainfo that the validators
# accept, manual pages that format without warnings, and DICOM files (by magic or
# by extension) opening with the viewer once the file type and desktop databases
# are rebuilt.
#   check-install.sh BUILD_DIR viewer|cli SOURCE_DIR
set -euo pipefail
build=$1
parts=$2
source=$3
id=org.davovadivir.Dorvanelle

need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
  done
}
need cmake

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
expected=(usr/bin/dorvanelle-cli usr/"$libdir"/dorvanelle/dorvanelle-net usr/share/man/man1/dorvanelle-cli.1.gz)
for module in libjpeg-turbo dcmtk charls openjpeg libjxl; do
  expected+=(usr/"$libdir"/dorvanelle/dorvanelle-codecs-$module.so)
done
if [[ $parts == viewer ]]; then
  expected+=(
    usr/bin/dorvanelle
    usr/share/applications/$id.desktop
    usr/share/man/man1/dorvanelle.1.gz
    usr/share/metainfo/$id.metainfo.xml
    usr/share/mime/packages/dorvanelle.xml
  )
  for size in 16 22 24 32 48 64 128 256; do
    expected+=(usr/share/icons/hicolor/${size}x${size}/apps/$id.png)
  done
fi
diff -u <(printf '%s\n' "${expected[@]}" | sort) <(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort) ||
  { echo "the installed files differ from the expected ones (- expected, + installed)"; exit 1; }

# The installed program, not the build tree's, with no folder chosen for it: one
# file for each decoder module.
for seed in seed-jpeg-lossless seed-jpeg-baseline-ybr seed-jpegls seed-jpeg2000 seed-rle-rgb; do
  env -u DORVANELLE_CODECS_DIR "$root/usr/bin/dorvanelle-cli" convert \
    "$source/fuzz/corpus/fuzz_dicom_reader/$seed.dcm" "$root/converted.bmp" ||
    { echo "the installed dorvanelle-cli did not convert $seed.dcm"; exit 1; }
done

# The network commands run the installed helper beside the decoder module.
env -u DORVANELLE_CODECS_DIR "$root/usr/bin/dorvanelle-cli" find --help | grep -q '^usage: dorvanelle-cli find' ||
  { echo "the installed dorvanelle-cli did not start its network helper"; exit 1; }

need man
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || { echo "$page: $warnings"; exit 1; }
done
[[ $parts == viewer ]] || { echo "installed files as expected (no viewer in this build)"; exit 0; }

need desktop-file-validate appstreamcli update-mime-database update-desktop-database xdg-mime file
desktop-file-validate "$root/usr/share/applications/$id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
for size in 16 256; do
  file -b "$root/usr/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep -q "PNG image data, $size x $size" ||
    { echo "the ${size}x${size} icon is not a PNG of that size"; exit 1; }
done

share=$root/usr/share
update-mime-database "$share/mime"
grep -qx 'application/dicom' <(sed -n 's/^\[[0-9]*:\(application\/dicom\)\]$/\1/p' "$share/mime/magic") ||
  { echo "no magic for application/dicom"; exit 1; }
grep -aq '^>128=..DICM' "$share/mime/magic" || { echo "the magic is not DICM at offset 128"; exit 1; }
grep -q ':application/dicom:\*\.dcm$' "$share/mime/globs2" || { echo "no *.dcm glob"; exit 1; }
update-desktop-database "$share/applications"
default=$(env -i PATH="$PATH" XDG_DATA_DIRS="$share" XDG_DATA_HOME="$root/home" XDG_CONFIG_HOME="$root/config" \
  XDG_CONFIG_DIRS="$root/config" xdg-mime query default application/dicom)
[[ $default == "$id.desktop" ]] || { echo "application/dicom opens with '$default', not the viewer"; exit 1; }
echo "installed files, desktop entry, metainfo, manual pages and file type as expected"
