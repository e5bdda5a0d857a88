#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every file of the source names its licence in an SPDX line among its first three lines (after
# a "#!" line or an XML declaration), so that a file added later cannot go without one. Left out:
# the licence text, the Debian changelog and copyright file (formats without comments), the
# documentation in Markdown, pictures drawn by tools/, and the fuzzers' seed corpora. The
# AppStream metadata is under CC0-1.0, as it says itself; everything else under GPL-3.0-or-later.
set -euo pipefail
cd "$1"

# The files git tracks; in a tree without git (a copy, or a machine without git installed) the
# files present, less what .gitignore keeps out.
if git rev-parse --show-toplevel > /dev/null 2>&1 && [ "$(git rev-parse --show-toplevel)" = "$(pwd -P)" ]; then
  mapfile -t files < <(git ls-files)
else
  mapfile -t files < <(find . \( -path ./.git -o -path './build*' -o -path ./.cache -o -name __pycache__ \) -prune \
                            -o -type f ! -name compile_commands.json ! -name sentrax-demo.png -print | sed 's|^\./||' | sort)
fi

missing=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue # deleted, not yet committed
  case $f in
    LICENSE | packaging/changelog | packaging/copyright | *.md | *.png | *.svg | *.xpm | fuzz/corpus/*) continue ;;
    packaging/*.metainfo.xml) licence=CC0-1.0 ;;
    *) licence=GPL-3.0-or-later ;;
  esac
  head -n 3 "$f" | grep -Eq "SPDX-License-Identifier: $licence( |$)" || missing+=("$f ($licence)")
done
if ((${#missing[@]})); then
  echo "These files lack their line \"SPDX-License-Identifier: <licence>\" at the top:" >&2
  printf '  %s\n' "${missing[@]}" >&2
  exit 1
fi
echo "licence check: ${#files[@]} files, each names its licence or needs not"
