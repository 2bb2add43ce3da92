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

/usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null &
launcher=$!
trap 'kill "$launcher" 2>/dev/null || true' EXIT
# The launcher answers on the session bus once it is up.
for _ in $(seq 1 50); do
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
    sleep 0.1
done
export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
"$bench" "$@"
