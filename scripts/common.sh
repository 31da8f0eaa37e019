# Shared by scripts/run and scripts/test: installs what the build needs and
# configures and builds the project. Sourced, not run.

QDX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

QDX_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    libusb-1.0-0-dev
    umockdev libumockdev-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    qt6-base-dev qt6-base-private-dev qt6-svg-dev
    libyuv-dev python3 python3-numpy
    libhwy-dev  # vector code of the live view, chosen at run time
    libpng-dev nlohmann-json3-dev
    libturbojpeg0-dev
    qt6-multimedia-dev gstreamer1.0-plugins-base gstreamer1.0-plugins-good  # playback of recordings
    ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base-apps gstreamer1.0-libav  # tests check recordings with readers not ours
    gstreamer1.0-plugins-ugly  # x264enc: the README's H.264/MP4 recording (its test skips it where absent)
    gdb  # a widget test that hangs prints its threads' stacks
    file dpkg-dev  # cpack's scan for the Debian packages' dependencies
    lintian  # the packages checked as Debian checks them
    ccache  # rebuilds from the cache of earlier builds
    libtiff-dev libavcodec-dev libavformat-dev libavutil-dev  # 16-bit TIFF stills, lossless FFV1 recordings
    python3-pytest python3-pil python3-tifffile  # the Python module's tests, 16-bit files read back
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev  # the qdxsrc GStreamer element
    python3-gi gir1.2-gstreamer-1.0 gir1.2-gst-plugins-base-1.0  # its appsink example from Python
    libgstrtspserver-1.0-dev gstreamer1.0-rtsp glib-networking  # qdx-rtsp (gst-rtsp-server), rtsps (TLS)
    gstreamer1.0-plugins-ugly openssl  # qdx-rtsp --encoder h264 (x264enc); the rtsps test's certificate
    help2man man-db bash-completion  # the programs' man pages and qdxctl's completion, made and checked
)

# Installs the Debian packages that are missing, as root or through sudo.
qdx_install_packages() {
    local missing=()
    for pkg in "${QDX_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Need root or sudo to install ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# qdx_build BUILD_DIR [cmake options...]
# Builds every target, or only those named in QDX_TARGETS (an array).
# Compiles through ccache when it is there: its cache (ccache's own default,
# ~/.cache/ccache) outlives the build folders, so a fresh clone or a new
# sanitizer build compiles only what changed. Paths are hashed relative to the
# tree and without the build folder, so that clones in other folders share the
# cache (their debug information may then name the folder of another clone).
qdx_build() {
    local dir=$1
    shift
    local launcher=()
    if command -v ccache >/dev/null; then
        export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$QDX_ROOT} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
        launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S "$QDX_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null &&
        cmake --build "$dir" --parallel "$(nproc)" ${QDX_TARGETS:+--target "${QDX_TARGETS[@]}"}
}
