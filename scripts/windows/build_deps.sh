#!/usr/bin/env bash
# Cross-builds the libraries the Windows build of Lectern needs, from Debian 12's source packages, into a
# cache folder outside the clone:
#
#   ${LECTERN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lectern-windows}/<key>/prefix
#
# where <key> comes from the versions of the source packages. A finished prefix is reused as it is; an
# interrupted build resumes at the first library not yet installed. Progress and timings go to stderr, each
# step's full output to <key>/logs/; the prefix's path is the one line on stdout, for the build that uses it.
#
# Sources come only from Debian's archive, through an apt configuration of this script's own (nothing under
# /etc/apt changes). Run scripts/setup.sh's Windows part first for the cross compilers.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
toolchain=$root/cmake/windows-x86_64-mingw.cmake
triplet=x86_64-w64-mingw32
jobs=${LECTERN_WINDOWS_JOBS:-$(nproc)}
cache=${LECTERN_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lectern-windows}

# Bump when a library's build options change, so that an old prefix is not taken for the new one.
recipe=1

# Source packages in build order: the codecs before libsndfile, which links them.
packages=(libogg libvorbis flac opus libsndfile libsdl2 civetweb qrencode qt6-base)

say() { printf '%s\n' "$*" >&2; }
die() {
    say "build_deps: $*"
    exit 1
}

duration() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

# The machine's own Debian mirror, so the sources come from where its packages came from.
mirror_of() {
    local pattern=$1 fallback=$2 found
    found=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
        2>/dev/null | grep -v '^[[:space:]]*#' | grep -oE "https?://[^[:space:]]+/${pattern}/?([[:space:]]|$)" |
        head -n1 | tr -d '[:space:]' || true)
    printf '%s\n' "${found:-$fallback}"
}

apt_dir=$cache/apt
apt_opts=(
    -o Dir::Etc::sourcelist=/dev/null
    -o Dir::Etc::sourceparts="$apt_dir/sources.list.d"
    -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
    -o Debug::NoLocking=1
    -o APT::Sandbox::User="$(id -un)"
)

setup_apt() {
    local main security
    main=$(mirror_of debian http://deb.debian.org/debian)
    security=$(mirror_of debian-security http://deb.debian.org/debian-security)
    mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial"
    cat >"$apt_dir/sources.list.d/bookworm-src.sources" <<EOF
Types: deb-src
URIs: ${main%/}
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: ${security%/}
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    say "==> Reading the source index of Debian 12 from $main"
    if ! apt-get "${apt_opts[@]}" -qq update >&2; then
        # Offline, the index read before still names the versions a finished prefix was built from.
        compgen -G "$apt_dir/lists/*Sources*" >/dev/null || die "apt-get update failed"
        say "    could not update the index; using the one read before"
    fi
}

# The version apt would fetch, read from the name of its .dsc (so without an epoch).
declare -A version
find_versions() {
    local p dsc
    for p in "${packages[@]}"; do
        dsc=$(cd "$apt_dir" && apt-get "${apt_opts[@]}" -qq --only-source --print-uris source "$p" |
            awk '$2 ~ /\.dsc$/ { print $2; exit }')
        [ -n "$dsc" ] || die "no source package $p in Debian 12"
        dsc=${dsc%.dsc}
        version[$p]=${dsc#*_}
    done
}

# Some packages' Debian part is no longer served while their original source is: build that, unpatched.
unpack_original() {
    local p=$1 v=$2 dest=$3 uri name hash tarball
    say "    $p: Debian's packaging of $v is not served; using the original source"
    while read -r uri name _ hash; do
        [[ $name == *.orig.tar.* ]] || continue
        /usr/lib/apt/apt-helper download-file "${uri//\'/}" "$cache/src/download/$name" "$hash" \
            >>"$logs/$p.log" 2>&1 || die "could not fetch the source of $p $v (see $logs/$p.log)"
    done < <(cd "$cache/src/download" && apt-get "${apt_opts[@]}" -qq --only-source --print-uris source "$p")
    tarball=$(compgen -G "$cache/src/download/${p}_${v%-*}.orig.tar.*" | head -n1) ||
        die "could not fetch the source of $p $v (see $logs/$p.log)"
    { mkdir -p "$dest" && tar -xf "$tarball" -C "$dest" --strip-components=1; } ||
        die "could not unpack $tarball"
}

# Unpacked beside the downloads, where dpkg-source finds the original tarball instead of copying it.
fetch_source() {
    local p=$1 v=${version[$1]} dir=$cache/src/$1-${version[$1]}
    local unpacked=$cache/src/download/$p-$v.unpacking
    if [ ! -d "$dir" ]; then
        mkdir -p "$cache/src/download"
        rm -rf "$unpacked"
        if (cd "$cache/src/download" && apt-get "${apt_opts[@]}" -qq --only-source --download-only source "$p") \
            >>"$logs/$p.log" 2>&1; then
            dpkg-source --no-check -x "$cache/src/download/${p}_$v.dsc" "$unpacked" >>"$logs/$p.log" 2>&1 ||
                die "could not unpack $p (see $logs/$p.log)"
        else
            unpack_original "$p" "$v" "$unpacked"
        fi
        mv "$unpacked" "$dir"
    fi
    printf '%s\n' "$dir"
}

# The build functions run in a condition, where errexit does not hold: each step is chained to the one before.
cmake_project() {
    local p=$1 src=$2
    shift 2
    cmake -S "$src" -B "$work/build/$p" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF "$@" &&
        cmake --build "$work/build/$p" -j "$jobs" &&
        cmake --install "$work/build/$p"
}

# For the sources whose CMake files are incomplete in the release.
autotools_project() {
    local p=$1 src=$2
    shift 2
    mkdir -p "$work/build/$p" &&
        (cd "$work/build/$p" && "$src/configure" --host="$triplet" --prefix="$prefix" \
            CC="$triplet-gcc-posix" CXX="$triplet-g++-posix" --enable-shared --disable-static "$@") &&
        make -C "$work/build/$p" -j "$jobs" &&
        make -C "$work/build/$p" install
}

# libogg's export list names its DLL ogg.dll, while its CMake files make libogg.dll: without the name, the import
# library names the file that is made.
build_libogg() {
    sed -i '/^LIBRARY[[:space:]]/d' "$1/win32/ogg.def" &&
        cmake_project libogg "$1" -DINSTALL_DOCS=OFF
}
# GNU ld refuses a LIBRARY statement without a name, as libvorbis's export lists have it; the name comes from
# the output file anyway.
build_libvorbis() {
    sed -i '/^LIBRARY[[:space:]]*$/d' "$1"/win32/*.def &&
        cmake_project libvorbis "$1"
}
# The stack protector needs libssp on MinGW, which nothing else links; the programs and C++ API are unused.
build_flac() {
    cmake_project flac "$1" -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF \
        -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
}
# The opus 1.3.1 release lacks some of the files its CMakeLists.txt includes. Its stack protector and
# fortified string functions need libssp on MinGW, which nothing else links; configure adds the latter unless
# _FORTIFY_SOURCE is defined already.
build_opus() {
    autotools_project opus "$1" --disable-doc --disable-extra-programs --disable-stack-protector \
        CPPFLAGS=-D_FORTIFY_SOURCE=0
}
build_libsndfile() {
    cmake_project libsndfile "$1" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_REGTEST=OFF \
        -DENABLE_CPACK=OFF -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=OFF -DINSTALL_MANPAGES=OFF
}
build_libsdl2() { cmake_project libsdl2 "$1" -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF; }
# The browser view serves plain HTTP and WebSockets on the local network: no TLS, no scripting, no server
# program. civetweb's CMake files do not link the library to Winsock on Windows.
build_civetweb() {
    cmake_project civetweb "$1" -DCMAKE_C_STANDARD_LIBRARIES="-lws2_32 -lkernel32 -ladvapi32" \
        -DCIVETWEB_ENABLE_WEBSOCKETS=ON -DCIVETWEB_ENABLE_SSL=OFF -DCIVETWEB_ENABLE_CXX=OFF -DCIVETWEB_ENABLE_IPV6=ON -DCIVETWEB_BUILD_TESTING=OFF \
        -DCIVETWEB_ENABLE_SERVER_EXECUTABLE=OFF -DCIVETWEB_INSTALL_EXECUTABLE=OFF -DCIVETWEB_ENABLE_ASAN=OFF \
        -DCIVETWEB_ENABLE_LUA=OFF -DCIVETWEB_ENABLE_DUKTAPE=OFF
}
# qrencode installs its DLL among the import libraries; it goes beside the others.
build_qrencode() {
    cmake_project qrencode "$1" -DWITH_TOOLS=OFF -DWITH_TESTS=OFF &&
        mv "$prefix/lib/libqrencode.dll" "$prefix/bin/"
}

# Qt 6.4.2 builds its DirectWrite font engine and font database only with Direct2D, but the Windows platform
# plug-in and the print engine use them whenever DirectWrite (3) is there: without Direct2D they fail to link.
# Ask for Direct2D too where they are used.
patch_qtbase() {
    local src=$1
    patch_qt_condition "$src/src/plugins/platforms/windows/qwindowsintegration.cpp" directwrite3 2 &&
        patch_qt_condition "$src/src/printsupport/platform/windows/qprintengine_win.cpp" directwrite 3
}

# patch_qt_condition FILE FEATURE COUNT: the COUNT lines "#if QT_CONFIG(FEATURE)" also require Direct2D.
patch_qt_condition() {
    local file=$1 feature=$2 count=$3
    grep -q "QT_CONFIG($feature) && QT_CONFIG(direct2d)" "$file" && return 0
    [ "$(grep -c "^#if QT_CONFIG($feature)\$" "$file")" -eq "$count" ] || die "qtbase: unexpected $file"
    sed -i "s/^#if QT_CONFIG($feature)\$/#if QT_CONFIG($feature) \&\& QT_CONFIG(direct2d)/" "$file"
}

# Only what Lectern uses: Core, Gui, Widgets, Network, Test and the Windows platform and style plug-ins.
# Debian's source lacks the tablet and SQLite third-party code; OpenGL, D-Bus and ICU are not needed.
build_qt6_base() {
    local src=$1
    patch_qtbase "$src" &&
        mkdir -p "$work/build/qt6-base" &&
        (cd "$work/build/qt6-base" && "$src/configure" -prefix "$prefix" -release -shared \
            -nomake examples -nomake tests -qt-host-path /usr \
            -no-opengl -no-dbus -no-feature-sql -no-feature-tabletevent -no-feature-direct2d \
            -no-freetype -no-fontconfig -qt-harfbuzz -qt-zlib -qt-pcre -qt-libpng -no-icu -no-openssl \
            -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake) &&
        cmake --build "$work/build/qt6-base" -j "$jobs" &&
        cmake --install "$work/build/qt6-base"
}

# Debug information and documentation are of no use in the packaged program.
strip_prefix() {
    find "$prefix" -type f \( -name '*.dll' -o -name '*.exe' \) -exec "$triplet-strip" --strip-unneeded {} +
    find "$prefix" -type f -name '*.a' -exec "$triplet-strip" --strip-debug {} +
    find "$prefix" -type f -name '*.la' -delete
    rm -rf "$prefix/share/doc" "$prefix/share/man" "$prefix/doc"
}

# The licence texts of what the Windows program ships, from the sources it was built from, into
# share/lectern-licences/<package>/ of the prefix; also for a prefix built before they were collected.
declare -A licence_files=(
    [libogg]=COPYING [libvorbis]=COPYING [flac]=COPYING.Xiph [opus]=COPYING [libsndfile]=COPYING
    [libsdl2]=LICENSE.txt [civetweb]=LICENSE.md [qrencode]=COPYING
    [qt6-base]="LICENSES/LGPL-3.0-only.txt LICENSES/GPL-3.0-only.txt LICENSES/GPL-2.0-only.txt"
)
install_licences() {
    local p v dest tarball top f
    for p in "${packages[@]}"; do
        v=${version[$p]}
        dest=$prefix/share/lectern-licences/$p
        [ -d "$dest" ] && continue
        tarball=$(compgen -G "$cache/src/download/${p}_${v%-*}.orig.tar.*" | head -n1) || {
            fetch_source "$p" >/dev/null && rm -rf "$cache/src/$p-$v"
            tarball=$(compgen -G "$cache/src/download/${p}_${v%-*}.orig.tar.*" | head -n1)
        } || die "no source of $p $v for its licence"
        top=$(tar -tf "$tarball" | awk -F/ 'NR == 1 { print $1 }')
        rm -rf "$dest.partial" && mkdir -p "$dest.partial"
        for f in ${licence_files[$p]}; do
            tar -xOf "$tarball" "$top/$f" >"$dest.partial/${f##*/}" || die "no $f in $tarball"
        done
        mv "$dest.partial" "$dest"
    done
}

# A prefix built before libogg's DLL was named by its file has libraries that import it as ogg.dll.
name_libogg_as_imported() {
    if [ -f "$prefix/bin/libogg.dll" ] && [ ! -f "$prefix/bin/ogg.dll" ] &&
        "$triplet-objdump" -p "$prefix/bin/libsndfile.dll" | grep 'DLL Name: ogg.dll' >/dev/null; then
        cp "$prefix/bin/libogg.dll" "$prefix/bin/ogg.dll"
    fi
}

command -v "$triplet-g++-posix" >/dev/null || die "no $triplet-g++-posix: run scripts/setup.sh windows first"
for tool in ninja cmake pkg-config dpkg-source; do
    command -v "$tool" >/dev/null || die "no $tool: run scripts/setup.sh windows first"
done

started=$SECONDS
setup_apt
find_versions
listing=$(for p in "${packages[@]}"; do printf '%s %s\n' "$p" "${version[$p]}"; done)
key=bookworm-$(printf 'recipe %s\n%s\n' "$recipe" "$listing" | sha256sum | cut -c1-12)
work=$cache/$key
prefix=$work/prefix
logs=$work/logs

if [ -f "$work/complete" ]; then
    mkdir -p "$logs"
    install_licences
    name_libogg_as_imported
    say "==> Windows libraries up to date in $prefix"
    printf '%s\n' "$prefix"
    exit 0
fi

mkdir -p "$prefix" "$logs" "$work/stamps" "$work/build"
printf '%s\n' "$listing" >"$work/versions"
say "==> Building the Windows libraries into $prefix ($jobs jobs; logs in $logs)"

export LECTERN_WINDOWS_PREFIX=$prefix
# Only the cross prefix's pkg-config files: the host's would hand Linux libraries to the Windows build.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig
unset PKG_CONFIG_PATH PKG_CONFIG_SYSROOT_DIR

for p in "${packages[@]}"; do
    if [ -f "$work/stamps/$p" ]; then
        say "    $p ${version[$p]}: built before"
        continue
    fi
    step=$SECONDS
    : >"$logs/$p.log"
    say "==> $p ${version[$p]}: fetching the source"
    src=$(fetch_source "$p")
    say "    $p: building (log: $logs/$p.log)"
    if ! "build_${p//-/_}" "$src" >>"$logs/$p.log" 2>&1; then
        tail -n 30 "$logs/$p.log" >&2
        die "$p failed after $(duration $((SECONDS - step))); the whole output is in $logs/$p.log"
    fi
    rm -rf "$work/build/$p"
    touch "$work/stamps/$p"
    say "    $p: done in $(duration $((SECONDS - step)))"
done

strip_prefix
install_licences
rm -rf "$work/build"
# The downloaded sources stay for a rebuild; unpacking them again takes seconds.
for p in "${packages[@]}"; do
    rm -rf "$cache/src/$p-${version[$p]}"
done
touch "$work/complete"
say "==> Windows libraries ready in $prefix: $(du -sh "$prefix" | cut -f1), $(duration $((SECONDS - started)))"
printf '%s\n' "$prefix"
