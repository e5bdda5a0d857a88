#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from a build directory, unpacks them into a scratch root, and checks
# that everything is where the desktop and the program expect it.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -B "$work/packages" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
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

if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$root/usr/share/applications/sentrax-configurator.desktop"
fi
if command -v appstreamcli > /dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.sentrax.Configurator.metainfo.xml" > /dev/null
fi
echo "package check: $(basename "$program") and $(basename "$dutch") install as expected"
