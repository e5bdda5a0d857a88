#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite. Ends with the test summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd build
ctest --output-on-failure --parallel 2 --timeout 600
