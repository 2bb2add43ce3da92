#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The common-word search of bench_search, figure (b), with the substring index in use and
# the accessibility bridge on, with a listener that takes in every event (as a screen
# reader does) against the same search with the bridge on and nobody listening. Prints
# both times and their ratio (goal: at most 2). Needs the packages `scripts/deps.sh --tests`
# installs; starts its own session bus and, without a display, its own X server.
#
#   bench/announce.sh [BUILD_DIR]     (default: build/ beside this folder)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-"$here/../build"}
bench="$build/bench/bench_search"
[ -x "$bench" ] || { echo "announce.sh: $bench is missing; build target bench_search first" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a "$0" "$@"
fi
if [ -z "${ANNOUNCE_IN_SESSION:-}" ]; then
    export ANNOUNCE_IN_SESSION=1
    exec dbus-run-session -- "$0" "$@"
fi

. "$here/../scripts/accessibility-bus.sh"
start_accessibility_bus
listener=""
cleanup() {
    [ -n "$listener" ] && kill "$listener" 2>/dev/null || true
    kill "$accessibility_bus" 2>/dev/null || true
    rm -f "${TMPDIR:-/tmp}/announce-bench.$$"
}
trap cleanup EXIT

# A run that fails (no index in use, or a search that finds otherwise with it) shows why.
benchlog="${TMPDIR:-/tmp}/announce-bench.$$"
figure() {
    local out value status=0
    out=$("$bench" --runs 3 --reuse-index 2>"$benchlog") || status=$?
    value=$(printf '%s\n' "$out" | sed -n 's/^(b) window search, Enter to the end, index in use (median): \([0-9.]*\) ms$/\1/p')
    if [ "$status" -ne 0 ] || [ -z "$value" ]; then
        echo "announce.sh: bench_search ended with status $status, figure (b) '${value}':" >&2
        cat "$benchlog" >&2
        return 1
    fi
    echo "$value"
}

alone=$(figure)
/usr/bin/python3 "$here/announce_listener.py" > "${TMPDIR:-/tmp}/announce-listener.$$" 2>&1 &
listener=$!
for _ in $(seq 1 50); do
    grep -q listening "${TMPDIR:-/tmp}/announce-listener.$$" 2>/dev/null && break
    sleep 0.1
done
rm -f "${TMPDIR:-/tmp}/announce-listener.$$"
heard=$(figure)
echo "common-word body search to \"Found>5,000\", index in use, accessibility bridge on (median of 3)"
printf '  nobody listening      %10.1f ms\n' "$alone"
printf '  a listener on all     %10.1f ms\n' "$heard"
awk -v a="$alone" -v h="$heard" 'BEGIN { printf "  ratio                 %10.2f    (goal: at most 2.00)\n", h / a }'
