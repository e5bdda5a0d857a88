#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, starts the LocoNet simulator and the configurator with the simulator's
# port in its port list, and stops the simulator when the configurator ends.
# With a display, the configurator is yours to use. Without one, a driver goes through a whole
# programming pass on a virtual display, as a user would, and leaves a screenshot of the window
# taken just before it presses Close (sentrax-demo.png); a step it cannot get through within its
# bound ends it with the window as it was in that file, and this script with exit code 1.
#   bash scripts/demo.sh program ARGUMENTS
# runs sentrax-program with the ARGUMENTS against the simulator instead of the window.
#   bash scripts/demo.sh --lbserver [program ARGUMENTS]
# does either through the network: the simulator serves LocoNet over TCP on 127.0.0.1:1234.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

work=$(mktemp -d /tmp/sentrax-demo.XXXXXX)
port="$work/loconet"
# --lbserver first: the simulator is a LocoNet-over-TCP server on 127.0.0.1:1234 instead, and the
# configurator goes through the network to it.
network=()
if [ "${1:-}" = --lbserver ]; then
  shift
  network=(--lbserver 1234)
fi
build/bin/loconet-sim --link "$port" --log "$work/bytes.log" --report-interval 1500 "${network[@]}" > "$work/simulator.txt" &
simulator=$!
trap 'kill $simulator 2>/dev/null || true; wait $simulator 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "$port" ] && break; sleep 0.05; done
if ((${#network[@]})); then
  port="lbserver://127.0.0.1:1234"
fi
export SENTRAX_EXTRA_PORTS="$port"

# The configurator's (or the driver's, or sentrax-program's) exit code is this script's: a driver
# that gave up fails it.
status=0
if [ "${1:-}" = program ]; then
  shift
  echo "The LocoNet simulator is on $port: sentrax-program --port $port $*"
  build/bin/sentrax-program --port "$port" "$@" || status=$?
elif [ -n "${DISPLAY:-}" ]; then
  echo "The LocoNet simulator is on $port: choose it under Settings."
  build/bin/Sentrax || status=$?
else
  echo "The LocoNet simulator is on $port: a driver chooses it under Settings."
  export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$work/runtime}"
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/sentrax-demo --port "$port" --screenshot "$PWD/sentrax-demo.png" ||
    status=$?
fi

kill $simulator 2>/dev/null || true
wait $simulator 2>/dev/null || true
trap - EXIT
echo
echo "What the simulator saw (every byte, with times, is in $work/bytes.log):"
cat "$work/simulator.txt"
if ((status != 0)); then
  echo "The demo did not get through (exit code $status)." >&2
fi
exit "$status"
