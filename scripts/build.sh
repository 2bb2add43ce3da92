#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures (once) and builds into build/; a second run only rebuilds what changed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
# Progress lines are dropped; warnings, errors and the build's own failure come through.
cmake --build build -j"$(nproc)" 2>&1 \
    | { grep -v -E '^\[ *[0-9]+%\] (Building|Linking|Automatic|Built target)' || true; }
