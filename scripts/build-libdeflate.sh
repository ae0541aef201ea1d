#!/usr/bin/env bash
# Builds the static libdeflate the archive writer links, on Linux and for Windows alike: Debian's
# source package of the version the system ships, with scripts/patches/libdeflate-nonfinal.patch,
# which lets a caller compress a chunk that ends without a final block (the writer's chunks are
# laid end to end into one deflate stream). Takes a few seconds; a later call with the same patch,
# source and compiler does nothing.
# Usage: build-libdeflate.sh <work-folder> <install-prefix> [CC [AR]]
#   <work-folder> keeps the downloaded source package (put libdeflate_<version>.orig.tar.* there to
#   build without a package server); <install-prefix>/lib/libdeflate.a and
#   <install-prefix>/include/libdeflate.h are the result.
set -euo pipefail
work=$(realpath -m "$1")
prefix=$(realpath -m "$2")
cc=${3:-cc}
ar=${4:-ar}
here=$(cd "$(dirname "$0")" && pwd)
patch_file=$here/patches/libdeflate-nonfinal.patch
mkdir -p "$work"

tarball=$(ls "$work"/libdeflate_*.orig.tar.* 2>/dev/null | head -n1 || true)
if [ -z "$tarball" ]; then
    # apt-get source needs a deb-src entry for the archive the system uses (scripts/bootstrap.sh).
    if ! (cd "$work" && apt-get source --download-only -qq libdeflate >/dev/null 2>&1); then
        echo "cannot fetch libdeflate's source package: add a deb-src entry (scripts/bootstrap.sh does)" \
            "or put libdeflate_<version>.orig.tar.gz into $work" >&2
        exit 1
    fi
    tarball=$(ls "$work"/libdeflate_*.orig.tar.* | head -n1)
fi

# What the installed library was built from: rebuilt whenever any of it changes.
stamp=$(
    sha256sum "$patch_file" "$tarball" | cut -d' ' -f1
    echo "$cc" "$ar"
)
if [ -f "$prefix/lib/libdeflate.a" ] && [ -f "$prefix/include/libdeflate.h" ] &&
    [ "$(cat "$prefix/lib/libdeflate.stamp" 2>/dev/null)" = "$stamp" ]; then
    exit 0
fi

src=$work/libdeflate-src
rm -rf "$src"
mkdir -p "$src"
tar -xf "$tarball" -C "$src" --strip-components=1
if ! patch -s -p1 -d "$src" <"$patch_file"; then
    echo "scripts/patches/libdeflate-nonfinal.patch does not apply to $(basename "$tarball")" >&2
    exit 1
fi
# The Makefile names the static library after the target system; its probes of compiler options
# compile snippets whose errors are expected.
target=libdeflate.a
cflags="-O2 -fPIC"
case "$cc" in *mingw*) target=libdeflatestatic.lib cflags=-O2 ;; esac
make -s -C "$src" -j "$(nproc)" CC="$cc" AR="$ar" CFLAGS="$cflags" "$target" 2>/dev/null || {
    echo "building libdeflate failed; again with its messages:" >&2
    make -C "$src" CC="$cc" AR="$ar" CFLAGS="$cflags" "$target" >&2
    exit 1
}
mkdir -p "$prefix/lib" "$prefix/include"
cp "$src/$target" "$prefix/lib/libdeflate.a"
cp "$src/libdeflate.h" "$prefix/include/libdeflate.h"
echo "$stamp" >"$prefix/lib/libdeflate.stamp"
rm -rf "$src"
