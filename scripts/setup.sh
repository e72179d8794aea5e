#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Tessivo needs.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6
  libgl-dev libxkbcommon-dev
  # tests: reading the exported pages back with an HTML parser
  libxml2-dev
  # sanitizer and fuzzing builds: clang with libFuzzer, llvm-symbolizer for readable reports
  clang libclang-rt-dev llvm
  # run time: fonts for character art, the platform plugins
  fonts-arphic-uming fonts-wqy-zenhei
  libqt6gui6 libqt6widgets6 qt6-qpa-plugins qt6-image-formats-plugins
  # Qt's own texts (message box buttons, context menus) in Chinese
  qt6-translations-l10n
  # screenshots in a real window
  xvfb xauth
  # installing and packaging: checking the desktop entry, the metadata and the Debian package
  desktop-file-utils appstream lintian dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: installed ${missing[*]}"
