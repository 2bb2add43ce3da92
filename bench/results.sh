#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs bench_results as a screen reader user meets the window: on a real X server, with a
# session bus and the accessibility bus up, so that bench_results can time every figure with
# nobody listening and again with a listener taking in every event. Needs the packages
# `scripts/deps.sh --tests` installs.
#
#   bench/results.sh [BUILD_DIR] [bench_results options...]   (default: build/ beside this folder)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build"
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
    build=$1
    shift
fi
bench="$build/bench/bench_results"
[ -x "$bench" ] || { echo "results.sh: $bench is missing; build target bench_results first" >&2; exit 1; }

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x900x24" "$0" "$build" "$@"
fi
if [ -z "${RESULTS_IN_SESSION:-}" ]; then
    export RESULTS_IN_SESSION=1
    exec dbus-run-session -- "$0" "$build" "$@"
fi

. "$here/../scripts/accessibility-bus.sh"
start_accessibility_bus
trap 'kill "$accessibility_bus" 2>/dev/null || true' EXIT
"$bench" "$@"
