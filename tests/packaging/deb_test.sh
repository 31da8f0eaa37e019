#!/usr/bin/env bash
# Makes the Debian package with cpack into a scratch folder and reads it back
# with dpkg-deb; installs nothing, needs no root.
#   deb_test.sh BUILD_DIR
set -euo pipefail
build=$1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" ||
    { cat "$scratch/cpack.log"; exit 1; }
debs=("$scratch"/*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "FAIL: packages: ${debs[*]}"; exit 1; }
deb=${debs[0]}

fail() { echo "FAIL: $*" >&2; exit 1; }

# Guards cpack's staging folder or /usr/local ending up in the package's paths or its .pc file.
dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./usr/\(bin\|include\|lib\|share\)/\|^\./usr/$' && fail "files outside /usr"
pc=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO --wildcards './usr/lib/*/pkgconfig/qdx-api.pc')
grep -qx 'prefix=/usr' <<<"$pc" || fail "qdx-api.pc: $pc"

# Guards lost shared-library dependencies: without them the package installs where it cannot run.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libusb-1.0-0 libqt6widgets6 qt6-qpa-plugins; do
    grep -q "\(^\|, \)$package\( \|,\|$\)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Version), Depends: $depends"
