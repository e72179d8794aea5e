#!/usr/bin/env bash
# Checks what `cmake --install` and `cpack` make of the build in build/ (or BUILD_DIR):
#   - installs into a staging folder with DESTDIR, moves the build folder out of the way, and
#     converts a WMF and an EMF with the installed tessivo-convert (its metafile helper must be
#     found from the installed program's own folder), and makes a table with the installed
#     tessivo-table, without a display, that tessivo-convert then draws with;
#   - validates the desktop entry and the AppStream metadata;
#   - builds the Debian package and runs lintian on it (errors fail; warnings are shown).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${BUILD_DIR:-build}
stage=$(mktemp -d)
moved="$build_dir.moved-away"
trap 'rm -rf "$stage"; if [ -d "$moved" ]; then mv "$moved" "$build_dir"; fi' EXIT

DESTDIR="$stage" cmake --install "$build_dir" --prefix /usr >/dev/null
mv "$build_dir" "$moved"
for picture in fuzz/corpus/picture_wmf/shapes-placeable.wmf fuzz/corpus/picture_emf/shapes.emf; do
  art=$(QT_QPA_PLATFORM=offscreen "$stage/usr/bin/tessivo-convert" --no-footer \
    --sample-x 60 --sample-y 105 "$picture")
  if ! tr -d ' \r\n' <<<"$art" | grep -q .; then
    echo "install-check: the installed tessivo-convert drew nothing for $picture" >&2
    exit 1
  fi
done
table="$stage/zif.zfh"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/tessivo-table" \
  --output "$table" . M : 2>/dev/null
art=$(QT_QPA_PLATFORM=offscreen "$stage/usr/bin/tessivo-convert" --no-footer --table "$table" \
  data/sample.jpg)
if tr -d 'M:. \r\n' <<<"$art" | grep -q . || ! grep -q M <<<"$art"; then
  echo "install-check: the art drawn with the installed tessivo-table's table uses other rows" >&2
  exit 1
fi
mv "$moved" "$build_dir"
echo "install-check: the installed tessivo-convert converts WMF and EMF and uses tessivo-table's tables"

desktop-file-validate "$stage"/usr/share/applications/*.desktop
appstreamcli validate --no-net "$stage"/usr/share/metainfo/*.metainfo.xml
echo "install-check: desktop entry and metadata valid"

(cd "$build_dir" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build_dir"/*.deb)
lintian --fail-on error "$deb"
echo "install-check: $(basename "$deb") built; lintian reports no error"
