#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copies the source tree into DEST (made anew), for building the Debian package there and
# leaving the checkout untouched:   scripts/sourcecopy.sh DEST
# From a git checkout: the files git tracks or would track (not ignored), as they are in the
# work tree, edits included.
# Otherwise (an unpacked archive): every file but the build and demo folders.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:?usage: scripts/sourcecopy.sh DEST}
rm -rf "$dest"
mkdir -p "$dest"
cd "$top"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && [ "$(git rev-parse --show-toplevel)" = "$top" ]; then
    # A tracked file deleted in the work tree is left out.
    git ls-files -z --cached --others --exclude-standard | tar --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -xf - -C "$dest"
else
    tar --exclude=./build --exclude='./build-*' --exclude=./demo-data --exclude=./.git -cf - . | tar -xf - -C "$dest"
fi
