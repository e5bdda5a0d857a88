#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo driver on a machine whose serial port listing fails (no /sys/class/tty, as in a root
# without /sys): Settings opens no dialog, so the pass cannot go on. The driver must say at which
# step it stopped, leave the window's screenshot and exit with code 1, not wait for ever.
set -euo pipefail
demo=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# /sys is hidden in a mount namespace of the driver's own, which takes root.
hide_sys=(unshare -m --propagation unchanged sh -c 'mount --make-private /sys && mount -t tmpfs none /sys && exec "$@"' -)
if ! "${hide_sys[@]}" true 2> "$work/unshare.txt"; then
  echo "skipped: cannot hide /sys here: $(cat "$work/unshare.txt")"
  exit 77
fi

status=0
QT_QPA_PLATFORM=offscreen timeout 30 "${hide_sys[@]}" "$demo" --port "$work/loconet" --screenshot "$work/window.png" \
  --pause 0 --step-timeout 2000 > "$work/out.txt" 2>&1 || status=$?
cat "$work/out.txt"

fail() { echo "demo check: $*" >&2; exit 1; }
[ "$status" != 124 ] || fail "the driver was still waiting after 30 s"
[ "$status" = 1 ] || fail "exit code $status, not 1"
grep -q '^demo: gave up at "choose the port and press OK"' "$work/out.txt" || fail "it does not say where it stopped"
[ "$(od -An -tx1 -N8 "$work/window.png" 2>/dev/null | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "no screenshot of the window"
echo "demo check: the driver gave up at the step it could not get through, with a screenshot"
