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
# Guards the Python package left out, or without its settings table or numpy.
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in __init__.py _settings.json py.typed; do
    grep -qx "\./usr/lib/python3/dist-packages/qdx/$file" <<<"$contents" || fail "no qdx/$file in /usr/lib/python3/dist-packages"
done
grep -q '__pycache__' <<<"$contents" && fail "compiled Python files in the package"
# Guards the GStreamer plugin left out of GStreamer's plugin folder.
grep -q '^\./usr/lib/[^/]*/gstreamer-1\.0/libgstqdx\.so$' <<<"$contents" || fail "no gstreamer-1.0/libgstqdx.so"
grep -q "\(^\|, \)python3-numpy\(,\|$\)" <<<"$depends" || fail "Depends lacks python3-numpy: $depends"
# Guards the library's ldconfig lost to the maintainer scripts the Python package brings.
dpkg-deb -e "$deb" "$scratch/control"
grep -q '^ *ldconfig$' "$scratch/control/postinst" || fail "postinst runs no ldconfig"
grep -q 'py3compile -p qdx' "$scratch/control/postinst" || fail "postinst compiles no qdx"
grep -q 'py3clean -p qdx' "$scratch/control/prerm" || fail "prerm cleans no qdx"
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Version), Depends: $depends"
