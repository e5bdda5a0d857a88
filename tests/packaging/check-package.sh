#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from a build directory, unpacks them into a scratch root, and checks
# that everything is where the desktop and the program expect it, that the binaries are hardened,
# and that Debian's own checker, lintian, finds no error and no warning.
#
#   check-package.sh BUILD_DIR
set -euo pipefail
build=$1
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The packages as they come out without a maintainer in the environment.
(cd "$build" && env -u DEBFULLNAME -u DEBEMAIL -u NAME -u EMAIL cpack -B "$work/packages" > "$work/cpack.log" 2>&1) ||
  { cat "$work/cpack.log"; exit 1; }
program=$(ls "$work"/packages/sentrax-configurator_*_*.deb)
dutch=$(ls "$work"/packages/sentrax-configurator-l10n-nl_*_all.deb)
root="$work/root"
dpkg-deb -x "$program" "$root"
dpkg-deb -x "$dutch" "$root"

fail() { echo "package check: $*" >&2; exit 1; }
for f in usr/lib/sentrax-configurator/Sentrax \
         usr/lib/sentrax-configurator/sentrax-program \
         usr/share/man/man1/sentrax-configurator.1.gz \
         usr/share/man/man1/sentrax-program.1.gz \
         usr/share/applications/sentrax-configurator.desktop \
         usr/share/metainfo/io.github.sentrax.Configurator.metainfo.xml \
         usr/share/icons/hicolor/32x32/apps/sentrax-configurator.png \
         usr/share/icons/hicolor/scalable/apps/sentrax-configurator.svg \
         usr/lib/sentrax-configurator/locale/nl/LC_MESSAGES/cport.mo \
         usr/lib/sentrax-configurator/locale/nl/LC_MESSAGES/default.mo; do
  [ -f "$root/$f" ] || fail "missing /$f"
done
[ -x "$root/usr/lib/sentrax-configurator/Sentrax" ] || fail "the program is not executable"
# The command on the PATH leads to the program, beside which its catalogs are found.
[ "$(readlink "$root/usr/bin/sentrax-configurator")" = "../lib/sentrax-configurator/Sentrax" ] || fail "bad link on the PATH"
[ -x "$root/usr/bin/sentrax-configurator" ] || fail "the link on the PATH leads nowhere"
[ "$(readlink "$root/usr/bin/sentrax-program")" = "../lib/sentrax-configurator/sentrax-program" ] || fail "bad link to sentrax-program"
"$root/usr/bin/sentrax-program" --help | grep -q -- '--dry-run' || fail "sentrax-program does not run"
for page in sentrax-configurator sentrax-program; do
  # A page that man can lay out without a warning.
  warnings=$(zcat "$root/usr/share/man/man1/$page.1.gz" | LC_ALL=C.UTF-8 MANWIDTH=80 groff -man -Tutf8 -ww -z 2>&1 || true)
  [ -z "$warnings" ] || fail "the manual page of $page: $warnings"
done

depends=$(dpkg-deb -f "$program" Depends)
for needed in libqt6widgets6 libqt6gui6 libqt6core6 qt6-qpa-plugins; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
[[ "$depends" != *"-dev"* ]] || fail "Depends names a development package: $depends"
[[ "$(dpkg-deb -f "$dutch" Depends)" == *"sentrax-configurator (="* ]] || fail "the Dutch texts do not depend on the program"
# The Dutch texts are optional: the program's own package holds no catalog.
if dpkg-deb -c "$program" | grep -q '\.mo$'; then fail "the program's package holds catalogs"; fi

# What Debian keeps beside every package: the licence terms, machine-readable, and the changelog,
# whose newest entry is the package's version.
for package in "$program" "$dutch"; do
  name=$(dpkg-deb -f "$package" Package)
  doc="$root/usr/share/doc/$name"
  head -n 1 "$doc/copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$name has no machine-readable copyright file"
  [ "$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l- -S Version)" = "$(dpkg-deb -f "$package" Version)" ] ||
    fail "the changelog of $name does not end at the package's version"
done
[ "$(dpkg-deb -f "$dutch" Section)" = localization ] || fail "the Dutch texts are not in section localization"
[ "$(dpkg-deb -f "$dutch" Description | head -n 1)" != "$(dpkg-deb -f "$program" Description | head -n 1)" ] ||
  fail "the Dutch texts have the program's summary"

# The maintainer, as Debian's tools take it from the environment; the default otherwise.
default="Sentrax Configurator developers <maintainer@sentrax-configurator.invalid>"
[ "$(dpkg-deb -f "$program" Maintainer)" = "$default" ] || fail "the default maintainer is $(dpkg-deb -f "$program" Maintainer)"
printf 'include("%s")\nmessage("${CPACK_DEBIAN_PACKAGE_MAINTAINER}")\n' "$source/packaging/maintainer.cmake" > "$work/maintainer.cmake"
while IFS='|' read -r expected environment; do
  got=$(eval "env -u DEBFULLNAME -u DEBEMAIL -u NAME -u EMAIL $environment cmake -P '$work/maintainer.cmake'" 2>&1)
  [ "$got" = "${expected//\$default/$default}" ] || fail "with $environment the maintainer is \"$got\""
done << 'CASES'
Jan Jansen <jan@example.nl>|DEBFULLNAME='Jan Jansen' DEBEMAIL=jan@example.nl
Jan Jansen <jan@example.nl>|DEBEMAIL='Jan Jansen <jan@example.nl>'
Piet Pieters <jan@example.nl>|DEBFULLNAME='Piet Pieters' DEBEMAIL='Jan Jansen <jan@example.nl>'
Jan Jansen <jan@example.nl>|NAME='Jan Jansen' EMAIL=jan@example.nl
Jan Jansen <jan@example.nl>|DEBFULLNAME='Jan Jansen' DEBEMAIL=jan@example.nl NAME=Other EMAIL=other@example.nl
Sentrax Configurator developers <jan@example.nl>|DEBEMAIL=jan@example.nl
$default|DEBFULLNAME='Jan Jansen'
CASES

# Built with Debian's hardening flags: position-independent, relocations read-only and bound at
# start, the stack protector, and fortified C library calls.
for binary in "$root"/usr/lib/sentrax-configurator/{Sentrax,sentrax-program}; do
  name=$(basename "$binary")
  readelf -hW "$binary" | grep -q 'Type: *DYN' || fail "$name is not position-independent"
  readelf -lW "$binary" | grep -q GNU_RELRO || fail "$name has no read-only relocations"
  readelf -dW "$binary" | grep -Eq 'BIND_NOW|FLAGS.* NOW' || fail "$name binds its symbols lazily"
  symbols=$(readelf --dyn-syms -W "$binary")
  grep -q __stack_chk_fail <<< "$symbols" || fail "$name has no stack protector"
  grep -Eq '__[a-z0-9_]+_chk\b' <<< "$symbols" || fail "$name calls no fortified function"
done

# Debian's checker, at its most particular: any error or warning fails, and so does a note that
# a binary lacks hardening.
command -v lintian > /dev/null || fail "lintian is not installed (bash scripts/setup.sh installs it)"
lintian --info --pedantic "$program" "$dutch" > "$work/lintian.log" 2>&1 || true
if grep -Eq '^[EW]: |^I: [^ ]+ hardening-' "$work/lintian.log"; then
  grep -E '^[EWI]: ' "$work/lintian.log" >&2
  fail "lintian finds fault with the packages"
fi

if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$root/usr/share/applications/sentrax-configurator.desktop"
fi
if command -v appstreamcli > /dev/null; then
  # The project has no homepage, and AppStream's validator from version 1.0 on warns of that (the
  # package's lintian override says so); anything else it finds fails the check.
  if ! appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.sentrax.Configurator.metainfo.xml" \
       > "$work/appstream.log" 2>&1; then
    others=$(grep -E '^[EW]: ' "$work/appstream.log" | grep -v ': url-homepage-missing$' || true)
    if [ -n "$others" ] || ! grep -q ': url-homepage-missing$' "$work/appstream.log"; then
      cat "$work/appstream.log" >&2
      fail "appstreamcli finds fault with the metadata"
    fi
  fi
fi
echo "package check: $(basename "$program") and $(basename "$dutch") install as expected"
