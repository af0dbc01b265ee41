#!/usr/bin/env bash
# Installs the built program into a temporary prefix and checks what a
# desktop needs there: the program, a valid desktop entry, the icon at every
# size and as vector art, and a valid AppStream description.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ -x "$prefix/bin/brelvix" ] || fail "bin/brelvix is not installed"

# The newer formats' decoders are a module that the program loads from
# <libdir>/brelvix relative to itself (imaging/CMakeLists.txt computes both
# from the same install folders); every library the module needs is there.
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
module="$prefix/$libdir/brelvix/newer-formats.so"
[ -f "$module" ] || fail "no decoder module at $libdir/brelvix"
if ldd "$module" | grep -q 'not found'; then
  fail "the decoder module lacks libraries: $(ldd "$module" | grep 'not found')"
fi

entry="$prefix/share/applications/brelvix.desktop"
[ -f "$entry" ] || fail "no desktop entry"
desktop-file-validate "$entry" || fail "desktop-file-validate refuses $entry"
grep -qx 'Exec=brelvix %f' "$entry" || fail "the desktop entry does not start brelvix with one file"
grep -q '^Categories=.*Graphics;.*Viewer;' "$entry" || fail "the desktop entry is not a graphics viewer"

# Each format the viewer reads is offered under its type, and every type
# listed is one the desktop's MIME database knows (directly or as an alias).
types=$(sed -n 's/^MimeType=//p' "$entry")
for type in image/jpeg image/png image/gif image/tiff image/bmp image/x-tga image/vnd.zbrush.pcx \
  image/webp image/avif image/heif image/jxl; do
  case ";$types" in
    *";$type;"*) ;;
    *) fail "the desktop entry does not list $type" ;;
  esac
done
for type in ${types//;/ }; do
  grep -qx "$type" /usr/share/mime/types || grep -q "^$type " /usr/share/mime/aliases ||
    fail "the desktop entry lists $type, which the MIME database does not know"
done

# A PNG's width and height are the big-endian words at offsets 16 and 20.
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'
}
for size in 16 22 24 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/brelvix.png"
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
  [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "$icon is $(png_size "$icon")"
done
grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/brelvix.svg" || fail "no scalable icon"

metainfo="$prefix/share/metainfo/com.example.brelvix.metainfo.xml"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli refuses $metainfo"
grep -q '<launchable type="desktop-id">brelvix.desktop</launchable>' "$metainfo" ||
  fail "the metainfo does not name the desktop entry"

echo "installed and valid: $prefix"
