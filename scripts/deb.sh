#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the Debian package of an already built tree, with the Debian tools:
#   scripts/deb.sh [BUILD_DIR [OUTPUT_DIR]]   ->   OUTPUT_DIR/veltra-kb_VERSION_ARCH.deb
# Both folders default to build/. The version and the file times come from the changelog
# entry the build writes from project(); the umask, the locale, the clock and the way the
# build folder was configured leave no trace in the package.
set -euo pipefail
umask 022
export LC_ALL=C.UTF-8
unset LANGUAGE
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
mkdir -p "${2:-$build}"
out=$(cd "${2:-$build}" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/debian"
cp "$top/desktop/debian/control" "$build/desktop/debian/changelog" "$work/debian/"
cd "$work"
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -q DEB_HOST_ARCH)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(dpkg-parsechangelog -S Timestamp)}

# Where dpkg-shlibdeps looks for the package being built, from the folder above debian/.
stage=debian/veltra-kb
DESTDIR="$work/$stage" cmake --install "$build" --prefix /usr >/dev/null

# Stripped as Debian strips its packages; the debugging information stays in the build tree.
elves=()
for file in "$stage"/usr/bin/* "$stage"/usr/libexec/veltra-kb/*; do
    if [ "$(head -c 4 "$file" | od -An -tx1 | tr -d ' ')" = 7f454c46 ]; then
        strip --remove-section=.comment --remove-section=.note --strip-unneeded "$file"
        elves+=("$file")
    fi
done
doc="$stage/usr/share/doc/veltra-kb"
mkdir -p "$doc"
cp "$top/desktop/debian/copyright" "$doc/copyright"
gzip -9n <debian/changelog >"$doc/changelog.gz"
gzip -9n "$stage"/usr/share/man/man*/*
mkdir "$stage/DEBIAN"
chmod -R u=rwX,go=rX "$stage"

# Depends: the packages that hold the libraries the programs are linked with.
dpkg-shlibdeps -Tdebian/substvars "${elves[@]}"
dpkg-gencontrol -pveltra-kb -P"$stage" -Tdebian/substvars -fdebian/files
(cd "$stage" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +

deb="veltra-kb_${version}_${arch}.deb"
# Written beside its place and renamed, so an earlier package is replaced whole or not at all.
dpkg-deb --root-owner-group -Zxz --build "$stage" "$out/$deb.part" >/dev/null
mv "$out/$deb.part" "$out/$deb"
echo "$out/$deb"
