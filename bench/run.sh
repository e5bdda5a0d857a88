#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark and prints one table: each figure with its spread, its yardstick, the
# ratio, and the goal. Builds with benchmarks first (into build/). Results go to
# build/bench-results/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh -DSENTRAX_BUILD_BENCHMARKS=ON
bash scripts/install-packages.sh python3 valgrind
out=build/bench-results
mkdir -p "$out"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"

echo "Receive decoding..."
build/bin/bench_decoding --benchmark_repetitions=5 --benchmark_format=json > "$out/decoding.json"
echo "Catalog lookups (against GNU libc's dgettext)..."
build/bin/bench_catalog --benchmark_repetitions=5 --benchmark_format=json > "$out/catalog.json"
echo "The window: receive path, claim reaction, programming pass and byte pacing..."
# The busy bus in real time runs for hours; it is run on its own (docs/benchmarks.md, row 8).
QT_QPA_PLATFORM=offscreen build/bin/bench_window --benchmark_filter=-BusyBusInRealTime --benchmark_format=json > "$out/window.json"
echo "A programming pass over each network transport, against the serial pass..."
build/bin/bench_network 5 | tee "$out/network.txt"
echo "Start-up and peak memory (against a bare Qt window), on a virtual display..."
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  build/bin/startup-timer 10 "Sentrax Configurator" build/bin/Sentrax > '"$out"'/startup-sentrax.jsonl
  build/bin/startup-timer 10 "Bare Qt window" build/bin/bench_bare_window > '"$out"'/startup-bare.jsonl
  build/bin/startup-timer 10 "Bare Qt window" build/bin/bench_bare_window --with-text > '"$out"'/startup-bare-text.jsonl
  # Instructions from start to close, which repeat exactly where times do not.
  for program in "Sentrax Configurator|Sentrax|build/bin/Sentrax" "Bare Qt window|bare|build/bin/bench_bare_window" \
                 "Bare Qt window|bare-text|build/bin/bench_bare_window --with-text"; do
    IFS="|" read -r title name command <<< "$program"
    build/bin/startup-timer 1 "$title" valgrind --tool=callgrind --callgrind-out-file='"$out"'/callgrind-$name.out $command > /dev/null 2>&1
  done'
python3 bench/report.py "$out"
