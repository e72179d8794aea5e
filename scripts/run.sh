#!/usr/bin/env bash
# Sets up the machine, builds Tessivo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here, so instead of the window: tessivo-convert on the bundled sample picture."
  # Cells of 60 x 105 twips give about 130 columns, which fit a terminal.
  exec build/cli/tessivo-convert --sample-x 60 --sample-y 105 data/sample.jpg
fi
exec build/app/tessivo "$@"
