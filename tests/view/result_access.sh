#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs tst_resultaccess where a screen reader would meet the window: an X server, a session
# bus and the accessibility bus, with the window's accessibility on. What is missing is
# handed to the test, which skips (or, under CI=true, fails) saying so.
#   result_access.sh TEST_BINARY
set -uo pipefail
binary=$1
missing=""
for program in xvfb-run dbus-run-session dbus-send /usr/libexec/at-spi-bus-launcher /usr/bin/python3; do
    command -v "$program" >/dev/null 2>&1 || missing="$missing $program"
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || missing="$missing python3-pyatspi"
if [ -n "$missing" ]; then
    VELTRA_ACCESS_MISSING="missing:$missing (Debian packages xvfb, dbus, at-spi2-core, python3-pyatspi)" \
        QT_QPA_PLATFORM=offscreen exec "$binary"
fi
if [ -z "${RESULT_ACCESS_IN_SESSION:-}" ]; then
    export RESULT_ACCESS_IN_SESSION=1
    exec xvfb-run -a -s "-screen 0 1280x900x24" dbus-run-session -- "$0" "$@"
fi
. "$(dirname "$0")/../../scripts/accessibility-bus.sh"
start_accessibility_bus
trap 'kill "$accessibility_bus" 2>/dev/null || true' EXIT
"$binary"
