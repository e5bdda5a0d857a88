#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves the programs on 64-bit ARM (Debian 12 arm64, as Raspberry Pi OS is) from a Debian amd64
# machine, with this tree's committed HEAD:
#   1. cross-builds the configurator, sentrax-program, the simulator and the test suite for arm64
#      with Debian 12's own arm64 Qt, in a minimal Debian 12 amd64 root set up for multiarch
#      (crossbuild-essential-arm64, the -dev packages as :arm64, the root's own Qt tools), and
#      builds the arm64 Debian packages;
#   2. runs the suite there under qemu-user emulation (the arm64 libraries are in that root);
#   3. installs the arm64 package with apt on a minimal Debian 12 arm64 root and starts the
#      programs there under emulation: sentrax-program --version, a programming pass against the
#      arm64 simulator, and the window on a virtual display, through a whole programming pass
#      with a screenshot.
# Prints how long each step took and the test counts, keeps the logs, unmounts and removes the
# roots, also when interrupted, and exits non-zero if a step failed.
#
#   bash scripts/check-arm64.sh [--keep]
#
#   --keep   leave the roots in the work directory, unmounted
#
# The minimal roots are kept between runs as /var/cache/sentrax-check/bookworm-{amd64,arm64}.tar
# (making the arm64 one runs its packages' scripts under emulation: a quarter of an hour); the
# downloaded packages in /var/cache/sentrax-check/apt-*, the compiler's cache in /var/cache/ccache.
# The machine itself only needs mmdebstrap, qemu-user-static and binfmt-support; its dpkg stays
# amd64 only. It takes about an hour, so CI does not run it.
set -euo pipefail
# Read whole before it runs: a checkout that changes this file during the long run must not
# change what the running script does.
{
top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/roots.sh"
keep=false
while (($#)); do
  case $1 in
    --keep) keep=true; shift ;;
    *) echo "usage: $0 [--keep]" >&2; exit 2 ;;
  esac
done

[ "$(id -u)" = 0 ] || { echo "$0 needs root (it builds and mounts Debian roots)" >&2; exit 2; }
[ "$(dpkg --print-architecture)" = amd64 ] || { echo "$0 cross-builds from an amd64 machine" >&2; exit 2; }
head=$(git -C "$top" rev-parse HEAD)
if [ -n "$(git -C "$top" status --porcelain --untracked-files=no)" ]; then
  echo "Note: uncommitted changes are not checked; the roots get commit ${head:0:12}."
fi
missing=()
command -v mmdebstrap > /dev/null || missing+=(mmdebstrap)
command -v qemu-aarch64-static > /dev/null || missing+=(qemu-user-static)
command -v update-binfmts > /dev/null || missing+=(binfmt-support)
((${#missing[@]} == 0)) || bash "$top/scripts/install-packages.sh" "${missing[@]}"

# arm64 programs run through qemu-user, which the kernel starts for them: with the F flag it
# keeps the emulator open, so that it works inside the roots too.
binfmt=/proc/sys/fs/binfmt_misc
[ -e "$binfmt/status" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
[ -e "$binfmt/qemu-aarch64" ] || update-binfmts --enable qemu-aarch64
grep -q '^flags:.*F' "$binfmt/qemu-aarch64" ||
  { echo "qemu-aarch64 is registered without the F flag: it would not run inside a root" >&2; exit 1; }

cache=/var/cache/sentrax-check
mkdir -p "$cache" "$cache/apt-amd64" "$cache/apt-arm64" /var/cache/ccache
work=$(mktemp -d /var/tmp/sentrax-arm64.XXXXXX)
logs="$work/logs"
mkdir -p "$logs"
roots=()
background=()
partial=()

cleanup() {
  local status=$? root pid
  trap - EXIT INT TERM
  set +e
  # (A signal may come while a step's output goes to its log: what follows goes to the terminal.)
  exec 1>&4 2>&3
  ((status == 130 || status == 143)) && echo "Interrupted: ending what runs in the roots, unmounting and removing them." >&2
  for pid in "${background[@]}"; do
    kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -f "${partial[@]}"
  release_roots "$keep" "${roots[@]}"
  $keep && echo "Kept (unmounted): $work"
  exit "$status"
}
exec 3>&2 4>&1
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

declare -A durations results
steps=()
format_duration() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }
# Records how a step went: step NAME START RESULT
step() {
  steps+=("$1")
  durations[$1]=$(( $(date +%s) - $2 ))
  results[$1]=$3
  printf '   %s: %s in %s\n' "$1" "$3" "$(format_duration "${durations[$1]}")"
}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

debian_mirrors

# Makes a minimal Debian 12 root for an architecture: mmdebstrap ARCH TARBALL. The caller moves
# it into the cache whole, so that a script using the same cache never sees half of one.
debootstrap_arch() {
  mmdebstrap --architectures="$1" --variant=minbase bookworm "$2" "${mirrors[@]}" > "$logs/mmdebstrap-$1.log" 2>&1
}

# A root from a cached tarball, with what a running machine has mounted, and the downloaded
# packages kept between runs.
make_root() {
  local root=$1 arch=$2
  mkdir -p "$root"
  roots+=("$root")
  tar -xf "$cache/bookworm-$arch.tar" -C "$root"
  mount_machine_filesystems "$root"
  mount --bind "$cache/apt-$arch" "$root/var/cache/apt/archives"
}

# Runs a command in a root as a login shell of root has it: a clean environment, no terminal input.
# (Waited for in the background: a signal to this script then ends it at once, not only after
# the command; the cleanup ends what still runs in the roots.)
in_root() {
  local root=$1 child
  shift
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LC_ALL=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    CCACHE_DIR=/var/cache/ccache DEBIAN_FRONTEND=noninteractive \
    bash -c "$*" < /dev/null &
  child=$!
  wait "$child"
}

echo "Work directory: $work (logs in $logs)"

# --- The roots -------------------------------------------------------------------------------

echo "== The minimal Debian 12 roots (cached in $cache)"
start=$(date +%s)
arm64_start=$start
if [ -f "$cache/bookworm-arm64.tar" ]; then
  step "arm64 root" "$start" cached
else
  # Under emulation this takes long: it goes on beside the cross build.
  echo "   making the arm64 root in the background (mmdebstrap --architectures=arm64 --variant=minbase bookworm)"
  arm64_partial="$cache/bookworm-arm64.$$.partial.tar"
  partial+=("$arm64_partial")
  debootstrap_arch arm64 "$arm64_partial" &
  background+=($!)
fi
if [ -f "$cache/bookworm-amd64.tar" ]; then
  step "amd64 root" "$start" cached
else
  partial+=("$cache/bookworm-amd64.$$.partial.tar")
  debootstrap_arch amd64 "$cache/bookworm-amd64.$$.partial.tar" ||
    { tail -n 20 "$logs/mmdebstrap-amd64.log"; fail "mmdebstrap for amd64"; }
  mv "$cache/bookworm-amd64.$$.partial.tar" "$cache/bookworm-amd64.tar"
  step "amd64 root" "$start" made
fi

# --- 1. The cross build ----------------------------------------------------------------------

build_root="$work/build-root"
echo "== Setting up $build_root for the cross build (its output: $logs/setup.log)"
start=$(date +%s)
make_root "$build_root" amd64
mkdir -p "$build_root/var/cache/ccache"
mount --bind /var/cache/ccache "$build_root/var/cache/ccache"
git clone -q --no-hardlinks --no-checkout "$top" "$build_root/root/sentrax"
git -C "$build_root/root/sentrax" checkout -q --detach "$head"
# The build's tools for the machine, the libraries to build against for arm64. The machine's own
# qt6-base-dev gives Qt's tools and the CMake packages that find them. Xvfb, openbox, ser2net and
# lintian are the tests' peers; the arm64 programs under test run beside them through qemu.
native=(crossbuild-essential-arm64 cmake ninja-build pkg-config ccache gettext file dpkg-dev
        qt6-base-dev qt6-base-dev-tools
        xvfb xauth x11-utils openbox fonts-liberation ser2net lintian groff-base)
foreign=(qt6-base-dev libgl-dev libgtest-dev libgmock-dev libx11-dev libxtst-dev)
if ! in_root "$build_root" "dpkg --add-architecture arm64 && apt-get update &&
      apt-get install -y --no-install-recommends ${native[*]} ${foreign[*]/%/:arm64}" > "$logs/setup.log" 2>&1; then
  tail -n 30 "$logs/setup.log"
  fail "setting up the cross build"
fi
step "cross-build set-up" "$start" done

echo "== The cross build for arm64 (its output: $logs/build.log)"
start=$(date +%s)
# The suite's time limits five times as long: under emulation everything is slower.
if ! in_root "$build_root" "cd /root/sentrax && dpkg-architecture -aarm64 -c cmake -S . -B build-arm64 -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DSENTRAX_TEST_TIMEOUT_SCALE=5 &&
      dpkg-architecture -aarm64 -c cmake --build build-arm64 --parallel 2 &&
      cd build-arm64 && dpkg-architecture -aarm64 -c cpack" > "$logs/build.log" 2>&1; then
  tail -n 40 "$logs/build.log"
  fail "the cross build"
fi
warnings=$(grep -c 'warning:' "$logs/build.log" || true)
out="$build_root/root/sentrax/build-arm64"
for binary in Sentrax sentrax-program loconet-sim sentrax-demo test_app; do
  file -L "$out/bin/$binary" | tee -a "$logs/file.txt" | grep -q 'ARM aarch64' || fail "bin/$binary is not an arm64 program"
done
package=$(ls "$out"/sentrax-configurator_*_arm64.deb) || fail "cpack made no arm64 package"
dutch=$(ls "$out"/sentrax-configurator-l10n-nl_*_all.deb) || fail "cpack made no Dutch package"
cp "$package" "$dutch" "$logs/"
echo "   $(basename "$package"): $(dpkg-deb -f "$package" Architecture), Depends: $(dpkg-deb -f "$package" Depends)"
step "cross build" "$start" "done, $warnings compiler warnings"
((warnings == 0)) || { grep 'warning:' "$logs/build.log" | sort | uniq | head -n 20; fail "the build has warnings"; }

# --- 2. The suite under emulation ------------------------------------------------------------

echo "== The suite, arm64 under qemu-user (its output: $logs/ctest.log)"
start=$(date +%s)
tests_status=0
in_root "$build_root" "ulimit -v 4000000 && cd /root/sentrax/build-arm64 && dpkg-architecture -aarm64 -c \
    ctest --output-on-failure --parallel 2 --timeout 1500" > "$logs/ctest.log" 2>&1 || tests_status=$?
summary=$(grep -E '^[0-9]+% tests passed' "$logs/ctest.log" || echo "no summary (exit code $tests_status)")
skipped=$(grep -c '\*\*\*Skipped' "$logs/ctest.log" || true)
sed -nE 's/^\s+[0-9]+ - (.*) \((Failed|Timeout|Not Run|SEGFAULT|Subprocess aborted|Exception|[A-Za-z ]+)\)$/\1/p' \
  "$logs/ctest.log" > "$logs/failed-tests.txt"
# Each test that failed runs again, alone, with qemu logging its system calls and what it cannot
# emulate. One that fails again where qemu-user 7.2 (Debian 12's) lacks what a Linux kernel
# has fails because of the emulator:
#  - the ioctls that set a serial port's rate, TCGETS2 and TCSETS2 (0x802c542a, 0x402c542b),
#    which qemu refuses as "Unsupported ioctl" (ENOSYS): every test that opens a port on a
#    pseudo-terminal, and the tests of the window and of sentrax-program that go on from there;
#  - clone with CLONE_PIDFD beside CLONE_VM|CLONE_VFORK, with which Qt's QProcess starts a
#    program, and which qemu refuses with EINVAL: the catalog tests that run msgfmt.
# One that passes alone was too slow beside the others; any other failure fails the check.
: > "$logs/emulation.txt"
emulator_limits=0 slow=0 real_failures=0
while IFS= read -r name; do
  [ -n "$name" ] || continue
  # (A parameterised test's name goes on with "  # GetParam() = ..." after the test's own. The
  # names hold letters, digits, "_", "." and "/": a "." is the only character to escape.)
  name=${name%%  #*}
  pattern="^${name//./\\.}( |\$)"
  rerun_status=0
  in_root "$build_root" "ulimit -v 4000000 && rm -rf /tmp/qemu-log && mkdir -p /tmp/qemu-log && cd /root/sentrax/build-arm64 &&
      QEMU_LOG=unimp,strace QEMU_LOG_FILENAME=/tmp/qemu-log/%d.log dpkg-architecture -aarm64 -c \
      ctest --output-on-failure --no-tests=error --timeout 1500 -R '$pattern'" >> "$logs/ctest-rerun.log" 2>&1 || rerun_status=$?
  qemu_log=$(cat "$build_root"/tmp/qemu-log/*.log 2>/dev/null | grep -aE 'Unsupported ioctl|clone\(.*errno=22' | sort -u || true)
  if ((rerun_status == 0)); then
    echo "$name: passed alone (too slow beside other tests under emulation)" >> "$logs/emulation.txt"
    slow=$((slow + 1))
  elif grep -Eq 'Unsupported ioctl: cmd=0x(ffffffff)?(802c542a|402c542b)' <<< "$qemu_log"; then
    echo "$name: emulator: qemu-user lacks TCGETS2/TCSETS2 (a serial port's rate)" >> "$logs/emulation.txt"
    emulator_limits=$((emulator_limits + 1))
  elif grep -Eq 'clone\(CLONE_VM\|CLONE_VFORK\|0x1011.*errno=22' <<< "$qemu_log"; then
    echo "$name: emulator: qemu-user refuses clone with CLONE_PIDFD (QProcess cannot start msgfmt)" >> "$logs/emulation.txt"
    emulator_limits=$((emulator_limits + 1))
  else
    echo "$name: FAILED" >> "$logs/emulation.txt"
    real_failures=$((real_failures + 1))
  fi
done < "$logs/failed-tests.txt"
result="$summary ($skipped skipped); of the failed, $emulator_limits fail for what qemu-user lacks, $slow passed alone"
if ((real_failures == 0)) && grep -q 'tests passed' <<< "$summary"; then
  step "tests under emulation" "$start" "$result"
else
  step "tests under emulation" "$start" "FAILED: $result, $real_failures failed for other reasons"
  grep 'FAILED$' "$logs/emulation.txt" | sed 's/^/   | /'
fi

# --- 3. The package on an arm64 root ---------------------------------------------------------

echo "== Installing $(basename "$package") on a minimal Debian 12 arm64 root (its output: $logs/install.log)"
if ((${#background[@]})); then
  wait "${background[0]}" || { tail -n 20 "$logs/mmdebstrap-arm64.log"; fail "mmdebstrap for arm64"; }
  background=()
  mv "$arm64_partial" "$cache/bookworm-arm64.tar"
  step "arm64 root" "$arm64_start" "made (beside the cross build)"
fi
start=$(date +%s)
arm_root="$work/arm64-root"
make_root "$arm_root" arm64
cp "$package" "$dutch" "$arm_root/root/"
# The simulator and the window's driver are not in the package: they come from the build.
cp "$out/bin/loconet-sim" "$out/bin/sentrax-demo" "$arm_root/usr/local/bin/"
if ! in_root "$arm_root" "apt-get update && apt-get install -y ./root/$(basename "$package") ./root/$(basename "$dutch") &&
      apt-get install -y --no-install-recommends libqt6test6" > "$logs/install.log" 2>&1; then
  tail -n 30 "$logs/install.log"
  fail "installing the arm64 package"
fi
[ "$(in_root "$arm_root" "dpkg --print-architecture")" = arm64 ] || fail "the arm64 root's dpkg is not arm64"
step "install" "$start" "done ($(in_root "$arm_root" "dpkg-query -W -f '\${Version} \${Architecture}' sentrax-configurator"))"

echo "== The installed programs, arm64 under qemu-user (their output: $logs/programs.log)"
start=$(date +%s)
programs_failed=0
# A TCP port nothing listens on (the roots share the machine's network), for the simulator's
# LocoNet-over-TCP server.
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 40000))
    [ -z "$(ss -ltnH "sport = :$port")" ] && { echo "$port"; return; }
  done
}
# Runs COMMAND in the arm64 root beside the arm64 simulator, which serves its LocoNet on a
# pseudo-terminal, /tmp/loconet, and on TCP port PORT: with_simulator PORT COMMAND
with_simulator() {
  in_root "$arm_root" "loconet-sim --link /tmp/loconet --report-interval 1500 --lbserver $1 > /tmp/simulator.txt 2>&1 &
    simulator=\$!
    for _ in \$(seq 400); do [ -e /tmp/loconet ] && break; sleep 0.05; done
    status=0
    $2 || status=\$?
    kill \$simulator; wait \$simulator
    echo \"(exit code \$status; what the simulator saw:)\"; cat /tmp/simulator.txt
    exit \$status"
}
pass="--module 1.1 --monitor on --first 17 --count 16"
{
  echo "\$ sentrax-program --version"
  in_root "$arm_root" "sentrax-program --version" || programs_failed=1
  echo "\$ sentrax-configurator --version"
  in_root "$arm_root" "sentrax-configurator --version" || programs_failed=1
} > "$logs/programs.log" 2>&1
version=$(sed -n 2p "$logs/programs.log")
# A programming pass against the simulator through the network, as "bash scripts/demo.sh
# --lbserver program" does it.
port=$(free_port)
echo "\$ sentrax-program --port lbserver://127.0.0.1:$port $pass" > "$logs/pass-network.log"
with_simulator "$port" "sentrax-program --port lbserver://127.0.0.1:$port $pass" >> "$logs/pass-network.log" 2>&1 ||
  programs_failed=1
grep -q '^contact 32: level' "$logs/pass-network.log" || programs_failed=1
network_pass="$(grep -c '^contact [0-9]*: level' "$logs/pass-network.log" || true) input reports"
# The same through the serial port (the simulator's pseudo-terminal). qemu-user 7.2 (Debian 12's)
# answers the ioctls that set a port's rate, TCGETS2 and TCSETS2, with ENOSYS ("Unsupported
# ioctl"), so there the open fails with code 38; on an arm64 kernel these ioctls exist. Any
# other outcome than a whole pass or that failure fails the check.
echo "\$ sentrax-program --port /tmp/loconet $pass" > "$logs/pass-serial.log"
serial_status=0
with_simulator "$(free_port)" "sentrax-program --port /tmp/loconet $pass" >> "$logs/pass-serial.log" 2>&1 || serial_status=$?
if ((serial_status == 0)) && grep -q '^contact 32: level' "$logs/pass-serial.log"; then
  serial_pass="done"
elif ((serial_status == 3)) && grep -q 'Function not implemented (code 38)' "$logs/pass-serial.log"; then
  serial_pass="not possible under qemu-user (TCGETS2 unsupported)"
else
  serial_pass="FAILED"
  programs_failed=1
fi

# The window on a virtual display: an X server from the build root (a peer, as in the tests);
# the arm64 programs reach it through its socket in the abstract namespace, which the roots share.
display=:$((90 + RANDOM % 400))
in_root "$build_root" "Xvfb $display -screen 0 1280x1024x24 -nolisten tcp" > "$logs/xvfb.log" 2>&1 &
for _ in $(seq 100); do in_root "$build_root" "xdpyinfo -display $display" > /dev/null 2>&1 && break; sleep 0.1; done
# The installed configurator, started from the PATH: its window appears on the display.
# (exec: the shell whose number it leaves becomes the program, to be stopped as a user would.)
in_root "$arm_root" "mkdir -p -m 700 /tmp/runtime && echo \$\$ > /tmp/window.pid &&
                     DISPLAY=$display XDG_RUNTIME_DIR=/tmp/runtime exec sentrax-configurator" \
  > "$logs/window.log" 2>&1 &
window_pid=$!
window=""
for _ in $(seq 120); do
  window=$(in_root "$build_root" "xwininfo -display $display -root -tree" 2>/dev/null | grep -m 1 'Sentrax' || true)
  [ -n "$window" ] && break
  sleep 0.5
done
echo "\$ sentrax-configurator (its window: ${window:-none})" >> "$logs/programs.log"
kill -TERM "$(cat "$arm_root/tmp/window.pid")" 2>/dev/null || true
wait "$window_pid" 2>/dev/null || true
[ -n "$window" ] || programs_failed=1
# A whole programming pass through the window, by the demo's driver, with a screenshot.
port=$(free_port)
echo "\$ sentrax-demo --port lbserver://127.0.0.1:$port --screenshot /tmp/sentrax-demo-arm64.png" > "$logs/pass-window.log"
with_simulator "$port" "DISPLAY=$display XDG_RUNTIME_DIR=/tmp/runtime SENTRAX_EXTRA_PORTS=lbserver://127.0.0.1:$port \
    sentrax-demo --port lbserver://127.0.0.1:$port --screenshot /tmp/sentrax-demo-arm64.png" >> "$logs/pass-window.log" 2>&1 ||
  programs_failed=1
cp "$arm_root/tmp/sentrax-demo-arm64.png" "$logs/" 2>/dev/null || programs_failed=1
if ((programs_failed == 0)); then
  step "programs started" "$start" "done: $version; window shown; passes: sentrax-program over TCP $network_pass, through the window (screenshot sentrax-demo-arm64.png); serial: $serial_pass"
else
  step "programs started" "$start" "FAILED (see $logs/programs.log and pass-*.log): serial pass $serial_pass"
  tail -n 20 "$logs/programs.log" "$logs"/pass-*.log | sed 's/^/   | /'
fi

echo
echo "== arm64 (commit ${head:0:12}; logs in $logs)"
failed=0
for name in "${steps[@]}"; do
  printf '%-22s %-12s %s\n' "$name" "$(format_duration "${durations[$name]}")" "${results[$name]}"
  [[ "${results[$name]}" != FAILED* ]] || failed=1
done
[ ! -s "$logs/emulation.txt" ] || { echo "Tests that failed under emulation, and why:"; cat "$logs/emulation.txt"; }
exit "$failed"
}
