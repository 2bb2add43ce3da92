#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that are missing; does nothing when all are there.
#   scripts/deps.sh           what building the program needs: the Build-Depends of
#                             debian/control (with build-essential), as `apt-get build-dep` reads them
#   scripts/deps.sh --tests   that, and the list below: what the tests, the demo and the
#                             benchmarks need besides (./test and ./demo ask for it, ./package does not)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# What the tests, the demo and the benchmarks need beyond the build, with what needs each.
test_packages=(
    qt6-httpserver-dev      # the developer build (VELTRA_DEVELOPER_BUILD): veltra-demogen's server, the tests' servers
    qt6-websockets-dev      # asked for by Qt 6.4's HttpServer CMake files, which its package does not depend on
    xvfb xauth              # tst_trayprocess's X server; xvfb-run (./demo without a display, bench_search, announce.sh)
    openbox trayer xdotool  # tst_trayprocess: a window manager, a system tray, and the clicks on its icon
    fonts-dejavu-core       # the text of the pages tst_browsingengine prints to PDF
    poppler-utils           # pdftotext: tst_browsingengine reads the printed PDF back
    openssl                 # the certificates the browser and update tests make
    curl                    # bench_update times curl beside the update
    mdbtools                # mdb-export: tst_jetconverter's and bench_transfer's reference reading
    sqlite3                 # the sqlite3 program the benchmarks time beside the program (bench_search, bench_maint, ...)
    ripgrep                 # rg: bench_search's reference search
    python3                 # tests/convert/mbox_readback.py, bench/announce_listener.py
    w3m                     # w3m -dump: the reference the export's text part is compared with (tests/convert)
    mutt tmux               # mutt reads the export back; tmux holds its screen (tests/convert/mbox_readback.py)
    dbus at-spi2-core python3-pyatspi  # bench/announce.sh: a session bus, the accessibility bus and a listener on it
    desktop-file-utils      # desktop-file-validate: tst_install, tst_package
    appstream               # appstreamcli: tst_package checks the software-centre metadata
    man-db                  # man: tst_package reads the manual pages as lintian does
    dpkg-dev debhelper      # dpkg-buildpackage and dh: tst_package builds the package (also in the build's list)
    lintian                 # tst_package
    devscripts              # hardening-check: tst_package
)

# Root runs apt-get itself; anyone else through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        env DEBIAN_FRONTEND=noninteractive "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo env DEBIAN_FRONTEND=noninteractive "$@"
    else
        echo "Packages are missing and neither root nor sudo is available; as root, run: $*" >&2
        exit 1
    fi
}
updated=""
apt_update() {
    [ -n "$updated" ] || as_root apt-get update -qq
    updated=1
}

# The Build-Depends: dpkg-checkbuilddeps (dpkg-dev) says whether any is missing; without it
# (a fresh machine) apt-get installs them, and build-essential, which brings dpkg-dev.
if ! command -v dpkg-checkbuilddeps >/dev/null 2>&1 || ! dpkg-checkbuilddeps >/dev/null 2>&1; then
    echo "Installing the build dependencies of debian/control"
    apt_update
    as_root apt-get build-dep -y -qq --no-install-recommends ./
fi

[ "${1:-}" = "--tests" ] || exit 0
missing=()
for p in "${test_packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
apt_update
as_root apt-get install -y -qq --no-install-recommends "${missing[@]}"
