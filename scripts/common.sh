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
    file dpkg-dev  # cpack's scan for the Debian package's dependencies
    libtiff-dev libavcodec-dev libavformat-dev libavutil-dev  # 16-bit TIFF stills, lossless FFV1 recordings
    python3-pytest python3-pil python3-tifffile  # the Python module's tests, 16-bit files read back
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev  # the qdxsrc GStreamer element
    python3-gi gir1.2-gstreamer-1.0 gir1.2-gst-plugins-base-1.0  # its appsink example from Python
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
qdx_build() {
    local dir=$1
    shift
    cmake -S "$QDX_ROOT" -B "$dir" -G Ninja "$@" >/dev/null &&
        cmake --build "$dir" --parallel "$(nproc)"
}
