#!/usr/bin/env bash
# Builds, for the Windows programs, the libraries Debian does not ship for mingw-w64: libzip (reading
# archives; its own crypto on Windows' CNG), libdeflate (the writer's compression), ISA-L (the
# reader's inflate) and libisofs (disc images), each from Debian's own source package of the version
# the Linux build links, so both builds read and write archives and disc images with the same code
# (libdeflate with the same patch, by scripts/build-libdeflate.sh).
# Usage: win64-deps.sh <deps-folder>.
# The result (<deps-folder>/prefix) is kept: a later call with everything built does nothing.
set -euo pipefail
deps=$(realpath -m "$1")
here=$(cd "$(dirname "$0")/.." && pwd)
prefix=$deps/prefix
src=$deps/src
triple=x86_64-w64-mingw32
# Rebuilt whenever its patch changes, so it is checked on every call (a few milliseconds when not).
bash "$here/scripts/build-libdeflate.sh" "$src" "$prefix" $triple-gcc-posix $triple-ar
if [ -f "$prefix/lib/libzip.a" ] && [ -f "$prefix/lib/libisal.a" ] && [ -f "$prefix/lib/libisofs.a" ]; then
    exit 0
fi
mkdir -p "$prefix/lib" "$prefix/include" "$src"

# apt-get source needs a deb-src entry for the archive the system already uses (see bootstrap.sh).
cd "$src"
for pkg in libzip libisal libisofs; do
    if ! ls "$pkg"_*.orig.tar.* >/dev/null 2>&1; then
        apt-get source --download-only -qq "$pkg" >/dev/null
    fi
done

unpack() { # the unpacked folder of a source package
    local tarball
    tarball=$(ls "$src/$1"_*.orig.tar.* | head -n1)
    local dir=$src/$1-src
    if [ ! -d "$dir" ]; then
        mkdir -p "$dir"
        tar -xf "$tarball" -C "$dir" --strip-components=1
    fi
    echo "$dir"
}

if [ ! -f "$prefix/lib/libisal.a" ]; then
    d=$(unpack libisal)
    make -s -C "$d" -j "$(nproc)" -f Makefile.unx arch=mingw AS=nasm lib >/dev/null
    cp "$d/bin/isa-l.a" "$prefix/lib/libisal.a"
    mkdir -p "$prefix/include/isa-l"
    cp "$d"/include/*.h "$prefix/include/isa-l/"
fi

if [ ! -f "$prefix/lib/libzip.a" ]; then
    d=$(unpack libzip)
    cmake -S "$d" -B "$d/build" -G Ninja -Wno-dev -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
        -DENABLE_WINDOWS_CRYPTO=ON -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DBUILD_TOOLS=OFF \
        -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >/dev/null
    cmake --build "$d/build" -j "$(nproc)" >/dev/null
    cmake --install "$d/build" >/dev/null
fi

# libisofs: its POSIX needs beyond mingw-w64 (owners, links, child processes, iconv) come from
# scripts/win64/isofs-compat, force-included; the engine hands it its own file streams, so none of
# those stand-ins is reached. Without zlib, ACLs, xattrs and Jigdo, which the program never writes.
if [ ! -f "$prefix/lib/libisofs.a" ]; then
    d=$(unpack libisofs)
    compat=$here/scripts/win64/isofs-compat
    # Two fields of struct stat that Windows' lacks; libisofs only fills them in for its callers.
    sed -i -E 's#^( *)(atts\.st_(blksize|blocks) *=.*)$#\1/* \2 */#' "$d/libisofs/fs_image.c"
    (cd "$d" && LIBISOFS_ASSUME_ICONV=yes CC=$triple-gcc-posix \
        CFLAGS="-O2 -include $compat/qob_compat.h -I$compat -D_POSIX_THREAD_SAFE_FUNCTIONS=200112L -D_FILE_OFFSET_BITS=64" \
        ./configure -q --host=$triple --enable-static --disable-shared --disable-libacl --disable-xattr \
        --disable-zlib --disable-libjte --prefix="$prefix" >/dev/null)
    make -s -C "$d" -j "$(nproc)" libisofs/libisofs.la >/dev/null 2>&1
    $triple-gcc-posix -O2 -c "$here/scripts/win64/isofs-iconv.c" -o "$d/isofs-iconv.o"
    cp "$d/libisofs/.libs/libisofs.a" "$prefix/lib/libisofs.a"
    $triple-ar rcs "$prefix/lib/libisofs.a" "$d/isofs-iconv.o"
    mkdir -p "$prefix/include/libisofs"
    cp "$compat/qob_ino.h" "$prefix/include/libisofs/"
    { echo '#include "qob_ino.h"'; cat "$d/libisofs/libisofs.h"; } >"$prefix/include/libisofs/libisofs.h"
fi

# CLI11 is header-only: its Debian headers serve the Windows build as they are, without putting all
# of /usr/include (glibc's headers) on the cross compiler's path.
if [ ! -e "$prefix/include/CLI" ]; then
    ln -s /usr/include/CLI "$prefix/include/CLI"
fi
