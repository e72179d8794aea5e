#!/usr/bin/env bash
# Sets up the machine, builds Tessivo and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

# The window comes next; until then, show the pipeline on the bundled sample picture.
if [ -x build/app/tessivo ]; then
  exec build/app/tessivo "$@"
fi
# Cells of 60 x 105 twips give about 130 columns, which fit a terminal.
exec build/cli/tessivo-convert --sample-x 60 --sample-y 105 data/sample.jpg
