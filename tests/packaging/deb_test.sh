#!/usr/bin/env bash
# Makes the Debian packages with cpack into a scratch folder, reads them back
# with dpkg-deb, compares them with what `cmake --install` puts under /usr and
# runs lintian on them when it is installed. Installs nothing, needs no root.
#   deb_test.sh BUILD_DIR
set -euo pipefail
build=$1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; exit 1; }

# package  what it must hold (a pattern of one file)  and its dependencies
expected=(
    "libqdx-api1|^\./usr/lib/[^/]*/libQDX_API\.so\.1$|^\./usr/lib/udev/rules\.d/60-qdx-camera\.rules$|Depends=libusb-1.0-0"
    "libqdx-api-dev|^\./usr/include/qdx/QDX_API\.h$|^\./usr/lib/[^/]*/libQDX_API\.so$|^\./usr/lib/[^/]*/pkgconfig/qdx-api\.pc$|^\./usr/lib/[^/]*/cmake/QDX/QDXConfig\.cmake$|Depends=libqdx-api1 (= VERSION)"
    "qdx-codecs|^\./usr/lib/[^/]*/qdx/libqdx_codecs\.so$|Depends=libavcodec59|Depends=libtiff6"
    "qdx-tools|^\./usr/bin/qdxctl$|Depends=libqdx-api1 (= VERSION)|Recommends=qdx-codecs (= VERSION)"
    "qdx-viewer|^\./usr/bin/QDX_Viewer$|^\./usr/share/applications/QDX_Viewer\.desktop$|^\./usr/share/icons/hicolor/scalable/apps/qdx_viewer\.svg$|Depends=libqdx-api1 (= VERSION)|Depends=libqt6widgets6|Depends=qt6-qpa-plugins"
    "python3-qdx|^\./usr/lib/python3/dist-packages/qdx/__init__\.py$|^\./usr/lib/python3/dist-packages/qdx/_settings\.json$|^\./usr/lib/python3/dist-packages/qdx/py\.typed$|Depends=python3-numpy|Depends=libqdx-api1 (>= VERSION)"
)
[ -e "$build/gst/libgstqdx.so" ] &&
    expected+=("gstreamer1.0-qdx|^\./usr/lib/[^/]*/gstreamer-1\.0/libgstqdx\.so$|Depends=libqdx-api1 (= VERSION)|Depends=libgstreamer1.0-0")

# Guards against a package lost, renamed or added by a component without a package of its own.
names=$(for deb in "$scratch"/*.deb; do dpkg-deb -f "$deb" Package; done | sort | tr '\n' ' ')
want=$(for entry in "${expected[@]}"; do echo "${entry%%|*}"; done | sort | tr '\n' ' ')
[ "$names" = "$want" ] || fail "packages: $names, expected $want"

version=$(dpkg-deb -f "$scratch"/libqdx-api1_*.deb Version)
for entry in "${expected[@]}"; do
    IFS='|' read -r -a checks <<<"$entry"
    package=${checks[0]}
    deb=$(echo "$scratch/${package}"_*.deb)
    dpkg-deb -c "$deb" | awk '{print $6}' >"$scratch/$package.contents"
    contents=$(cat "$scratch/$package.contents")
    # Guards against a package without the copyright or changelog Debian requires of each.
    for doc in copyright changelog.Debian.gz; do
        grep -qx "\./usr/share/doc/$package/$doc" <<<"$contents" || fail "$package: no /usr/share/doc/$package/$doc"
    done
    # Guards against cpack's staging folder or /usr/local ending up in the paths.
    grep -v '^\./usr/\(bin\|include\|lib\|share\)/\|^\./usr/$\|^\./$' <<<"$contents" && fail "$package: files outside /usr"
    # Guards against a synopsis that repeats the package's name instead of saying what it is for.
    synopsis=$(dpkg-deb -f "$deb" Description | sed -n 1p)
    [[ ${synopsis,,} != "$package"* ]] || fail "$package: synopsis '$synopsis'"
    for check in "${checks[@]:1}"; do
        case $check in
        Depends=* | Recommends=*)
            # Guards against lost shared-library or inter-package dependencies:
            # the package would install where it cannot run.
            field=${check%%=*} need=${check#*=}
            need=${need/VERSION/$version}
            value=$(dpkg-deb -f "$deb" "$field")
            grep -qF -- "$need" <<<"$value" || fail "$package: $field lacks '$need': $value"
            ;;
        *) grep -q -- "$check" <<<"$contents" || fail "$package: nothing matches $check" ;;
        esac
    done
    grep -v '/$' "$scratch/$package.contents" >>"$scratch/packaged"
done

# Guards against an install rule without a component, whose files `cmake
# --install` puts under /usr but no package carries; and against a file in two packages.
DESTDIR=$scratch/root cmake --install "$build" --prefix /usr >/dev/null
(cd "$scratch/root" && find . ! -type d) | sort >"$scratch/installed"
sort "$scratch/packaged" >"$scratch/packaged.sorted"
uniq -d "$scratch/packaged.sorted" | grep . && fail "in two packages"
missing=$(comm -23 "$scratch/installed" "$scratch/packaged.sorted")
[ -z "$missing" ] || fail "installed but in no package: $missing"

pc=$(dpkg-deb --fsys-tarfile "$scratch"/libqdx-api-dev_*.deb | tar -xO --wildcards './usr/lib/*/pkgconfig/qdx-api.pc')
grep -qx 'prefix=/usr' <<<"$pc" || fail "qdx-api.pc: $pc"
grep -q '__pycache__' "$scratch/packaged" && fail "compiled Python files in python3-qdx"

# Guards against ldconfig run by a maintainer script rather than dpkg's trigger,
# and the library's soname missing from its shlibs.
dpkg-deb -e "$scratch"/libqdx-api1_*.deb "$scratch/library"
grep -qx 'activate-noawait ldconfig' "$scratch/library/triggers" || fail "libqdx-api1: no ldconfig trigger"
grep -q '^[^#]*ldconfig' "$scratch/library/postinst" "$scratch/library/postrm" && fail "libqdx-api1: ldconfig in a maintainer script"
grep -qx "libQDX_API 1 libqdx-api1 (>= $version)" "$scratch/library/shlibs" || fail "shlibs: $(cat "$scratch/library/shlibs")"
dpkg-deb -e "$scratch"/python3-qdx_*.deb "$scratch/python"
grep -q 'py3compile -p python3-qdx' "$scratch/python/postinst" || fail "python3-qdx: postinst compiles nothing"
grep -q 'py3clean -p python3-qdx' "$scratch/python/prerm" || fail "python3-qdx: prerm cleans nothing"

# Guards against anything lintian reports as an error or a warning.
if command -v lintian >/dev/null; then
    lintian --no-tag-display-limit "$scratch"/*.deb >"$scratch/lintian.log" 2>&1 || true
    while read -r line; do
        case $line in
        [EW]:\ *) fail "lintian: $line" ;;
        esac
    done <"$scratch/lintian.log"
fi
echo "$(ls "$scratch"/*.deb | wc -l) packages of version $version, lintian $(command -v lintian >/dev/null && echo clean || echo absent)"
