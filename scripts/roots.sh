# SPDX-License-Identifier: GPL-3.0-or-later
# What the scripts that check the programs on fresh Debian roots share; sourced by them.

# Everything a root has mounted, deepest first.
mounts_under() {
  findmnt -rn -o TARGET | awk -v root="$1" 'index($0, root "/") == 1' | sort -r
}

# Ends the processes still running inside a root (a daemon a package started, an X server, a
# hung test): they would keep its mounts busy. (An emulated program's /proc/PID/root is the root
# as well.)
stop_processes_in() {
  local root=$1 pid
  for pid in $(ls /proc | grep -E '^[0-9]+$'); do
    [ "$(readlink "/proc/$pid/root" 2>/dev/null)" = "$root" ] && kill -KILL "$pid" 2>/dev/null || true
  done
}

unmount_root() {
  local root=$1 target
  stop_processes_in "$root"
  for target in $(mounts_under "$root"); do
    umount "$target" 2>/dev/null || umount -l "$target" || true
  done
}

# Unmounts each root and removes it, unless the first argument is true (keep). One that is still
# mounted is left in place: never remove through a mounted /dev or /sys.
release_roots() {
  local keep=$1 root
  shift
  for root in "$@"; do
    unmount_root "$root"
    if [ -n "$(mounts_under "$root")" ]; then
      echo "Still mounted under $root, so it is left in place:" >&2
      mounts_under "$root" >&2
    elif ! $keep; then
      rm -rf --one-file-system "$root"
    fi
  done
}

# What a running machine has mounted, in a root unpacked at the given path.
mount_machine_filesystems() {
  local root=$1
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs tmpfs "$root/dev/shm"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}

# Sets `mirrors` to the host's sources for Debian's own archive (main, updates, security), as a
# machine set up with them has, for mmdebstrap; a file that names any other repository is left
# out. With a release (and a directory for the copies), the host's release is named as that one:
# bookworm, bookworm-updates and bookworm-security alike become the release's.
debian_mirrors() {
  local release=${1:-} copies=${2:-} host list uris copy
  host=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  mirrors=()
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$list" ] || continue
    uris=$(grep -v '^[[:space:]]*#' "$list" | grep -oE 'https?://[^ ]+' || true)
    [ -n "$uris" ] && ! grep -qvE '^https?://[^/]*debian\.org/' <<< "$uris" || continue
    if [ -n "$release" ] && [ -n "$host" ] && [ "$release" != "$host" ]; then
      mkdir -p "$copies"
      copy="$copies/$(basename "$list")"
      sed -E "s/\b$host(-updates|-security)?\b/$release\1/g" "$list" > "$copy"
      mirrors+=("$copy")
    else
      mirrors+=("$list")
    fi
  done
  ((${#mirrors[@]})) || mirrors=(http://deb.debian.org/debian)
}
