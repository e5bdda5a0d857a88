#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the README's commands as a new user would: each on a fresh, minimal Debian machine
# (a root made with mmdebstrap --variant=minbase, with /proc, /sys, /dev, /dev/pts and a tmpfs
# /tmp mounted), in a fresh clone of this tree's committed HEAD, as root, with nothing else
# installed. Prints how long each command took and whether it passed, keeps the logs, and
# unmounts and removes everything, also when interrupted. Exits non-zero if a command failed.
#
#   bash scripts/check-fresh-machine.sh [--suite bookworm|trixie] [--only demo|test|install]
#                                       [--run COMMAND] [--keep]
#
#   --suite NAME   the Debian release of the roots: bookworm (Debian 12, the default) or trixie
#                  (Debian 13)
#   --only NAME    run only that README command (may be given more than once)
#   --run COMMAND  run COMMAND (in the clone's top directory) instead of the README's commands
#   --keep         leave the roots and the base tarball in the work directory, unmounted
#
# It takes a long time (the test command builds the suite four times), so CI does not run it;
# run it before calling a change to set-up, packaging or the README done. The minimal root of each
# release is kept as a tarball in /var/cache/sentrax-check and made again when a week old; every
# command gets its own fresh copy of it.
set -euo pipefail
# Read whole before it runs: a checkout that changes this file during the long run must not
# change what the running script does.
{
top=$(cd "$(dirname "$0")/.." && pwd)
readme="$top/README.md"
. "$top/scripts/roots.sh"

# The README's commands, each under a name: the first indented line of its section. The install
# section says which command comes before its own ("After `bash scripts/setup.sh`, ...").
readme_command() {
  awk -v heading="## $1" '
    $0 == heading { inside = 1; next }
    inside && /^## / { exit }
    inside && match($0, /^After `[^`]+`/) { before = substr($0, 8, RLENGTH - 8) " && " }
    inside && /^    [^ ]/ { sub(/^    /, ""); print before $0; exit }
  ' "$readme"
}
names=(demo program install test)
declare -A sections=([demo]="Try it with the simulator" [program]="Without a display" [test]="Test it" [install]="Install it")
declare -A commands
# How long a command may take before it counts as hung (CI allows the test command 90 minutes).
declare -A limits=([demo]=1800 [program]=1800 [test]=5400 [install]=1800 [run]=5400)

declare -A releases=([bookworm]="Debian 12" [trixie]="Debian 13")
suite=bookworm
only=()
keep=false
custom=""
while (($#)); do
  case $1 in
    --suite) suite=$2; shift 2 ;;
    --only) only+=("$2"); shift 2 ;;
    --run) custom=$2; shift 2 ;;
    --keep) keep=true; shift ;;
    *) echo "usage: $0 [--suite bookworm|trixie] [--only demo|program|test|install] [--run COMMAND] [--keep]" >&2
       exit 2 ;;
  esac
done
[ -n "${releases[$suite]:-}" ] || { echo "unknown release $suite: bookworm or trixie" >&2; exit 2; }
release=${releases[$suite]}
if [ -n "$custom" ]; then
  names=(run)
  commands[run]=$custom
else
  ((${#only[@]})) && names=("${only[@]}")
  for name in "${names[@]}"; do
    [ -n "${sections[$name]:-}" ] || { echo "no README command is called $name" >&2; exit 2; }
    commands[$name]=$(readme_command "${sections[$name]}")
    [ -n "${commands[$name]}" ] || { echo "the README's \"${sections[$name]}\" section shows no command" >&2; exit 2; }
  done
fi

[ "$(id -u)" = 0 ] || { echo "$0 needs root (it builds and mounts a Debian root)" >&2; exit 2; }
head=$(git -C "$top" rev-parse HEAD)
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "Note: uncommitted changes are not checked; the roots get commit ${head:0:12}."
fi
command -v mmdebstrap > /dev/null || bash "$top/scripts/install-packages.sh" mmdebstrap

work=$(mktemp -d /var/tmp/sentrax-fresh-machine.XXXXXX)
logs="$work/logs"
mkdir -p "$logs"
roots=()
runner=""

cleanup() {
  local status=$? root
  trap - EXIT INT TERM
  set +e
  ((status == 130 || status == 143)) && echo "Interrupted: ending what runs in the roots, unmounting and removing them." >&2
  if [ -n "$runner" ]; then
    kill -TERM "$runner" 2>/dev/null || true
    wait "$runner" 2>/dev/null || true
  fi
  release_roots "$keep" "${roots[@]}"
  if $keep; then
    echo "Kept (unmounted): $work"
  else
    rm -f "$work/base.tar"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "Work directory: $work (logs in $logs)"
debian_mirrors "$suite" "$work/sources"

cache=/var/cache/sentrax-check/$suite-amd64.tar
# mmdebstrap takes the format from the name; a partial root never takes the cached name.
partial=${cache%.tar}.partial.tar
if [ -n "$(find "$cache" -mtime -7 2>/dev/null)" ]; then
  echo "A minimal $release root made $(date -r "$cache" '+%F %H:%M') ($cache)"
else
  echo "Building a minimal $release root (mmdebstrap --variant=minbase $suite)"
  mkdir -p "$(dirname "$cache")"
  if ! mmdebstrap --variant=minbase "$suite" "$partial" "${mirrors[@]}" > "$logs/mmdebstrap.log" 2>&1; then
    rm -f "$partial"
    tail -n 20 "$logs/mmdebstrap.log"
    echo "mmdebstrap failed; the whole log is $logs/mmdebstrap.log" >&2
    exit 1
  fi
  mv "$partial" "$cache"
fi
cp "$cache" "$work/base.tar"

# A fresh machine from the base tarball, with what a running machine has mounted, and a fresh
# clone of the committed HEAD in /root/sentrax.
make_root() {
  local root=$1
  mkdir -p "$root"
  roots+=("$root")
  tar -xf "$work/base.tar" -C "$root"
  mount_machine_filesystems "$root"
  git clone -q --no-hardlinks --no-checkout "$top" "$root/root/sentrax"
  git -C "$root/root/sentrax" checkout -q --detach "$head"
}

declare -A results durations
format_duration() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }

for name in "${names[@]}"; do
  root="$work/root-$name"
  make_root "$root"
  echo
  echo "== $name: ${commands[$name]}"
  echo "   (in a fresh root at $root; its output goes to $logs/$name.log)"
  mkdir -p "$logs/$name-files"
  start=$(date +%s)
  # A login shell as a new root user has it: a clean environment, no display, no terminal input.
  timeout -k 30 "${limits[$name]}" chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/sentrax && ${commands[$name]}" < /dev/null > "$logs/$name.log" 2>&1 &
  runner=$!
  status=0
  wait "$runner" || status=$?
  runner=""
  durations[$name]=$(( $(date +%s) - start ))
  if ((status == 0)); then
    results[$name]="passed"
  elif ((status == 124)); then
    results[$name]="FAILED (still running after $(format_duration "${limits[$name]}"))"
  else
    results[$name]="FAILED (exit code $status)"
  fi
  # The screenshots and the build and test logs the command left, for a look afterwards.
  (cd "$root/root/sentrax" && find . -maxdepth 2 \( -name 'sentrax-demo*.png' -o -name build.log -o -name ctest.log \) \
     -exec cp --parents {} "$logs/$name-files/" \; 2>/dev/null) || true
  echo "   ${results[$name]} in $(format_duration "${durations[$name]}")"
  [ "${results[$name]}" = passed ] || tail -n 30 "$logs/$name.log" | sed 's/^/   | /'
  unmount_root "$root"
done

echo
echo "== On a fresh $release root (commit ${head:0:12}; logs in $logs)"
failed=0
for name in "${names[@]}"; do
  printf '%-8s %-82s %s in %s\n' "$name" "${commands[$name]}" "${results[$name]}" "$(format_duration "${durations[$name]}")"
  [ "${results[$name]}" = passed ] || failed=1
done
exit "$failed"
}
