#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses it as a user would:
# stream_stats built with pkg-config, and a CMake project with
# find_package(QDX), both run on the simulated camera. Needs no root; the
# prefix goes away at the end.
#   install_test.sh BUILD_DIR SOURCE_DIR LIBDIR C_COMPILER CMAKE_GENERATOR
set -euo pipefail
build=$1 source=$2 libdir=$3 cc=$4 generator=$5

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cd "$scratch"
cmake --install "$build" --prefix "$prefix" >install.log
export QDX_CAMERA=sim

fail() { echo "FAIL: $*" >&2; exit 1; }

# A stream_stats run must have seen the camera and whole frames.
streamed() { grep -Eq '^camera connected .* [1-9][0-9]* whole frames' "$1" || { cat "$1"; return 1; }; }

# Guards internal headers, tests or benchmarks installed along with the product.
[ "$(ls "$prefix/include/qdx" | tr '\n' ' ')" = "QDX_API.h QDX_SIM.h " ] || fail "headers: $(ls "$prefix/include/qdx")"
for program in "$prefix"/bin/*; do
    case ${program##*/} in QDX_Viewer | qdxctl | qdx-rtsp) ;; *) fail "installed: $program" ;; esac
done

# Guards a .pc file with the build's or another prefix, or wrong flags.
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
[ "$(pkg-config --variable=prefix qdx-api)" = "$prefix" ] || fail "pkg-config prefix $(pkg-config --variable=prefix qdx-api)"
# shellcheck disable=SC2046  # the flags are words
"$cc" $(pkg-config --cflags qdx-api) -o stream_stats_pc "$source/examples/stream_stats.c" $(pkg-config --libs qdx-api)
# Guards a lost soname: programs must ask for libQDX_API.so.1, not the unversioned name.
readelf -d stream_stats_pc | grep 'NEEDED.*\[libQDX_API\.so\.1\]' >/dev/null || fail "stream_stats does not need libQDX_API.so.1"
LD_LIBRARY_PATH=$prefix/$libdir ./stream_stats_pc 2 >pc.out || fail "stream_stats (pkg-config) exited $?"
streamed pc.out || fail "stream_stats (pkg-config) saw no frames"

# Guards QDX::API without its include directory or library, and the version file.
cmake -S "$source/tests/packaging/consumer" -B consumer -G "$generator" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_PREFIX_PATH="$prefix" -DQDX_SOURCE_DIR="$source" >consumer.log ||
    { cat consumer.log; fail "find_package(QDX)"; }
cmake --build consumer >>consumer.log || { cat consumer.log; fail "building against QDX::API"; }
./consumer/c_header_test >/dev/null || fail "c_header_test exited $?"
./consumer/stream_stats 2 >cmake.out || fail "stream_stats (CMake) exited $?"
streamed cmake.out || fail "stream_stats (CMake) saw no frames"

# Guards a lost RPATH: outside the linker's own folders the programs would not start.
library=$(realpath "$prefix/$libdir/libQDX_API.so.1")
for program in "$prefix"/bin/*; do
    found=$(ldd "$program" | sed -n 's/.*libQDX_API\.so\.1 => \(.*\) (0x.*/\1/p')
    [ -n "$found" ] && [ "$(realpath "$found")" = "$library" ] || fail "$program finds the library at '$found'"
done
# Guards the codec module left out or put where the programs do not look:
# the installed qdxctl writes a TIFF (libtiff in the module) and starts without FFmpeg.
"$prefix/bin/qdxctl" --wait 30 grab --depth 16 "$scratch/still.tif" >grab.out 2>&1 || fail "qdxctl grab TIFF: $(cat grab.out)"
ldd "$prefix/bin/qdxctl" | grep -q 'libavcodec' && fail "qdxctl loads FFmpeg at every start"
# Guards the GStreamer plugin left out, or not finding the installed library.
if [ -e "$prefix/$libdir/gstreamer-1.0/libgstqdx.so" ]; then
    GST_REGISTRY=$scratch/registry.bin GST_PLUGIN_PATH=$prefix/$libdir/gstreamer-1.0 gst-inspect-1.0 qdxsrc >inspect.out 2>&1 ||
        fail "gst-inspect-1.0 qdxsrc: $(cat inspect.out)"
    ldd "$prefix/bin/qdxctl" | grep -q 'libgstreamer' && fail "qdxctl loads GStreamer"
fi
# Guards the Python package installed where Debian's python3 does not look under
# this prefix, or without its settings table: it must take a frame from the installed library.
if /usr/bin/python3 -c 'import numpy' 2>/dev/null; then
    site=$prefix/$(/usr/bin/python3 -c 'import sys; print("lib/python%d.%d/dist-packages" % sys.version_info[:2])')
    PYTHONPATH=$site QDX_LIBRARY=$prefix/$libdir/libQDX_API.so.1 PYTHONDONTWRITEBYTECODE=1 /usr/bin/python3 -c '
import qdx
with qdx.Camera() as cam:
    print(len(cam.settings), "settings, frame", cam.frame().info.check.name)' >python.out 2>&1 ||
        fail "import qdx from $site: $(cat python.out)"
    grep -Eqx '[1-9][0-9]* settings, frame WHOLE' python.out || fail "qdx: $(cat python.out)"
fi
echo "installed tree usable: pkg-config, find_package(QDX) and import qdx"
