# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that run the window as a screen reader meets it, inside a session
# bus: start_accessibility_bus starts the accessibility bus, waits until it answers, and
# turns the window's accessibility on. The launcher's process is $accessibility_bus; the
# caller stops it when it ends.
start_accessibility_bus() {
    /usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null &
    accessibility_bus=$!
    # The launcher answers on the session bus once it is up.
    for _ in $(seq 1 100); do
        dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
        sleep 0.1
    done
    export QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}
