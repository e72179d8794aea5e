#!/usr/bin/env bash
# Takes the screenshots in docs/ in a real X server (Xvfb). They are taken in a neutral home
# folder made for the purpose, with a 图片 folder of sample pictures, so that no picture shows
# this machine's own folders.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

bash scripts/setup.sh
bash scripts/build.sh -DTESSIVO_EXTRAS=ON
mkdir -p docs

home=/tmp/tessivo-screenshots/home
rm -rf /tmp/tessivo-screenshots
mkdir -p "$home/图片" "$home/桌面" "$home/文档" "$home/.config"
cp data/sample.jpg "$home/图片/风景.jpg"
cp fuzz/corpus/picture_qt/rgb.png "$home/图片/rgb.png"
cp fuzz/corpus/picture_qt/still.gif "$home/图片/still.gif"
cp fuzz/corpus/picture_wmf/shapes-placeable.wmf "$home/图片/shapes.wmf"
cp fuzz/corpus/picture_emf/shapes.emf "$home/图片/shapes.emf"
cp data/icons/tessivo-128.png docs/icon.png

cd "$home/图片"
HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DESKTOP_DIR=$home/桌面 \
  XDG_DOCUMENTS_DIR=$home/文档 LANG=C.UTF-8 \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$repo/build/tools/tessivo-screenshots" \
  "$repo/docs" "$home/图片/风景.jpg"

# A browser's view of the coloured page that the tool saved, for docs/exports.md. Chromium is
# not among the project's dependencies; without it that one picture is left as it is.
if command -v chromium >/dev/null; then
  chromium --headless --no-sandbox --hide-scrollbars --force-device-scale-factor=0.33 \
    --window-size=3100,2800 \
    --screenshot="$repo/docs/exports/drawing-colour-html.png" \
    "file://$repo/docs/exports/drawing-colour.html" 2>/dev/null
fi
