#!/usr/bin/env bash
# Art-quality benchmark: Tessivo's modes against jp2a, chafa, aalib and libcaca on pictures
# taken from Debian packages (not part of CI or the tests; a few minutes on two cores).
#
#   scripts/quality.sh [OPTION...]
#
# Installs the tools, the Python libraries, the font and the packages the pictures come from
# (those of bench/quality/corpus.txt and holdout.txt), then runs `scripts/quality.py run` with
# the options given: --jobs N, --work DIR (/tmp/tessivo-quality unless set), --grids, --tools,
# --limit N, --markdown FILE, --figures DIR. docs/quality.md says what it measures.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  # the tools compared
  jp2a chafa python3-aalib caca-utils
  # measuring: drawing the art, the picture's grey, SSIM
  python3-pil python3-numpy python3-scipy python3-skimage fonts-dejavu-core
  # SVG pictures to PNG
  librsvg2-bin
)
# The packages the pictures come from.
while read -r package; do
  packages+=("$package")
done < <(awk '!/^#/ && NF >= 3 { print $2 }' bench/quality/corpus.txt bench/quality/holdout.txt |
  LC_ALL=C sort -u)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  echo "quality: installed ${missing[*]}"
fi

build=${BUILD_DIR:-build}
[ -x "$build/cli/tessivo-convert" ] || BUILD_DIR="$build" bash scripts/build.sh >/dev/null
export TESSIVO_CONVERT=${TESSIVO_CONVERT:-$build/cli/tessivo-convert}

# Debian's interpreter, whatever python3 comes first on the PATH: the libraries are Debian's.
exec /usr/bin/python3 scripts/quality.py run "$@"
