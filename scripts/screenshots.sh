#!/usr/bin/env bash
# Takes the screenshots in docs/ in a real X server (Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh -DTESSIVO_EXTRAS=ON
mkdir -p docs
xvfb-run -a -s "-screen 0 1280x1024x24" build/tools/tessivo-screenshots docs data/sample.jpg
