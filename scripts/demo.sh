#!/usr/bin/env bash
# Sets everything up and starts the configurator.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/Sentrax
fi
exec build/bin/Sentrax
