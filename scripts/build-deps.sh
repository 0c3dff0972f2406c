#!/usr/bin/env bash
# Builds the codec libraries from Debian's source packages into a prefix.
#
#   build-deps.sh native|win32|win64|fuzz DEPS_DIR
#
# native: libtiff only (libjpeg, libpng, zlib, giflib, libwebp and libheif
#         come from Debian's -dev packages).
# win32:  libjpeg-turbo (with SIMD), libpng, libtiff, giflib, libwebp (with
#         libwebpdemux), libde265, dav1d (with its assembly) and libheif (with
#         libde265 and dav1d built in), cross-compiled for i686 (zlib is
#         Debian's libz-mingw-w64-dev).
# win64:  the same, cross-compiled for x86_64.
# fuzz:   all of them with clang, instrumented for libFuzzer and the
#         sanitizers, so fuzzing sees inside the libraries too (zlib is the
#         system's).
# Every tree builds libtiff from the same source with the same codec set, so
# that they decode the same files. Each library is built once: a stamp naming
# the source version and a digest of the build steps marks it done, so a
# changed configuration builds it again. Sources are fetched once into
# DEPS_DIR/src.
set -euo pipefail

usage="usage: build-deps.sh native|win32|win64|fuzz DEPS_DIR"
tree=${1:?$usage}
deps=${2:?$usage}
mkdir -p "$deps"; deps=$(cd "$deps" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
case "$tree" in
  win32) mingw_triple=i686-w64-mingw32; toolchain="$here/../cmake/toolchain-mingw-i686.cmake" ;;
  win64) mingw_triple=x86_64-w64-mingw32; toolchain="$here/../cmake/toolchain-mingw-x86_64.cmake" ;;
  native|fuzz) mingw_triple= ;;
  *) echo "unknown tree '$tree'; $usage" >&2; exit 2 ;;
esac
jobs=$(nproc)

mkdir -p "$deps/src"
prefix="$deps/$tree"
mkdir -p "$prefix/lib" "$prefix/include"

# One build at a time: configures of several build folders
# (or several people) may call this at once.
exec 9>"$deps/.lock"
flock 9

log() { echo "[deps:$tree] $*"; }

# Fetches and unpacks a Debian source package once; prints its folder.
fetch_source() {
  local pkg=$1 dir
  dir=$(find "$deps/src/$pkg" -mindepth 1 -maxdepth 1 -type d 2>/dev/null | head -n 1)
  if [ -z "$dir" ]; then
    mkdir -p "$deps/src/$pkg"
    log "fetching source package $pkg" >&2
    # A mirror can lack the newest version's files (a security update listed
    # before it is served), so fall back to the older versions it lists.
    local version fetched=
    for version in "" $(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p' | sort -r -V); do
      rm -rf "${deps:?}/src/$pkg"/*
      if (cd "$deps/src/$pkg" && apt-get source -q "$pkg${version:+=$version}" >apt-source.log 2>&1); then
        fetched=yes
        break
      fi
    done
    if [ -z "$fetched" ]; then
      cat "$deps/src/$pkg/apt-source.log" >&2
      echo "apt-get source $pkg failed (is a deb-src entry present? run scripts/setup.sh)" >&2
      exit 1
    fi
    dir=$(find "$deps/src/$pkg" -mindepth 1 -maxdepth 1 -type d | head -n 1)
  fi
  echo "$dir"
}

# Configures, builds and installs one CMake project into the prefix.
cmake_build() {
  local name=$1 srcdir=$2; shift 2
  local bdir="$prefix/build/$name"
  local cross=()
  if [ -n "$mingw_triple" ]; then
    cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain")
  elif [ "$tree" = fuzz ]; then
    local flags="-g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
    cross=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
      -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags")
  fi
  rm -rf "$bdir"
  cmake -S "$srcdir" -B "$bdir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_INSTALL_BINDIR="$prefix/bin" \
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DBUILD_SHARED_LIBS=OFF \
    "${cross[@]}" "$@" >"$prefix/build-$name.log" 2>&1 &&
  cmake --build "$bdir" -j "$jobs" >>"$prefix/build-$name.log" 2>&1 &&
  cmake --install "$bdir" >>"$prefix/build-$name.log" 2>&1 || {
    tail -n 40 "$prefix/build-$name.log" >&2
    echo "building $name failed; full log: $prefix/build-$name.log" >&2
    exit 1
  }
}

# Runs the build of one package unless its stamp says this version was built
# with these very steps: the digest covers the package's build function and
# the common CMake step, so editing either (a codec switched on, say) builds
# the package again.
build_once() {
  local pkg=$1 fn=$2 srcdir stamp digest
  srcdir=$(fetch_source "$pkg")
  digest=$({ declare -f "$fn" cmake_build; echo "$tree"; } | sha1sum | cut -c1-16)
  stamp="$prefix/.built-$(basename "$srcdir")-$digest"
  if [ -f "$stamp" ]; then
    return
  fi
  log "building $(basename "$srcdir")"
  local started=$SECONDS
  "$fn" "$srcdir"
  rm -f "$prefix/.built-$(basename "$srcdir")"*
  touch "$stamp"
  log "built $(basename "$srcdir") in $((SECONDS - started)) s"
}

build_libjpeg() {
  # The fuzz build leaves out the SIMD code, whose assembly the sanitizers and
  # the fuzzer's coverage cannot see.
  local simd=(-DWITH_SIMD=ON -DREQUIRE_SIMD=ON)
  [ "$tree" = fuzz ] && simd=(-DWITH_SIMD=OFF)
  cmake_build libjpeg "$1" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON "${simd[@]}" \
    -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF
}

build_libpng() {
  local zlib=()
  [ -n "$mingw_triple" ] && zlib=(-DZLIB_ROOT="/usr/$mingw_triple")
  cmake_build libpng "$1" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
    -DPNG_EXECUTABLES=OFF -DPNG_TOOLS=OFF -DSKIP_INSTALL_PROGRAMS=ON "${zlib[@]}"
}

# Every decoder libtiff offers that needs no library beyond libjpeg and zlib:
# none, LZW, PackBits, ThunderScan, NeXT, the CCITT family, SGILog, JPEG and
# old-style JPEG (through this tree's libjpeg), Deflate (both compression
# tags) and PixarLog (through zlib). JBIG, LERC, LZMA, ZSTD and WebP would each
# bring another library and stay out, as does libdeflate (zlib decodes the
# same streams).
build_libtiff() {
  local jpeg=() zlib=()
  if [ "$tree" != native ]; then
    jpeg=(-DJPEG_INCLUDE_DIR="$prefix/include" -DJPEG_LIBRARY="$prefix/lib/libjpeg.a")
  fi
  [ -n "$mingw_triple" ] && zlib=(-DZLIB_ROOT="/usr/$mingw_triple")
  cmake_build libtiff "$1" "${jpeg[@]}" "${zlib[@]}" \
    -Djpeg=ON -Dold-jpeg=ON -Djpeg12=OFF -Dzlib=ON -Dpixarlog=ON \
    -Dlibdeflate=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
    -Dmdi=OFF -Dccitt=ON -Dpackbits=ON -Dlzw=ON -Dthunder=ON -Dnext=ON -Dlogluv=ON \
    -Dcxx=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_Deflate=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_JBIG=ON -DCMAKE_DISABLE_FIND_PACKAGE_LibLZMA=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_ZSTD=ON -DCMAKE_DISABLE_FIND_PACKAGE_WebP=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_LERC=ON -DCMAKE_DISABLE_FIND_PACKAGE_CMath=OFF
  # A codec that was asked for but not found would otherwise go missing quietly.
  local codec
  for codec in ZIP_SUPPORT PIXARLOG_SUPPORT OJPEG_SUPPORT JPEG_SUPPORT; do
    grep -q "^#define $codec 1" "$prefix/include/tiffconf.h" || {
      echo "libtiff was built without $codec" >&2
      exit 1
    }
  done
}

# giflib ships only a Makefile for Unix; its library is a handful of C files,
# built here through a small CMake project so the tree's toolchain and flags
# apply as for the other libraries.
build_giflib() {
  local project="$prefix/build/giflib-project"
  mkdir -p "$project"
  cat >"$project/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.13)
project(giflib C)
set(sources dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c
  openbsd-reallocarray.c quantize.c)
list(TRANSFORM sources PREPEND "${GIFLIB_SOURCE_DIR}/")
add_library(gif STATIC ${sources})
target_include_directories(gif PRIVATE "${GIFLIB_SOURCE_DIR}")
install(TARGETS gif ARCHIVE DESTINATION lib)
install(FILES "${GIFLIB_SOURCE_DIR}/gif_lib.h" DESTINATION include)
CMAKE
  cmake_build giflib "$project" -DGIFLIB_SOURCE_DIR="$1"
}

# libwebp decodes WebP (libwebp) and finds the first frame of an animation
# (libwebpdemux). Its tools, the mux library and the extras stay out, and so
# do the image libraries only the tools read and write through.
build_libwebp() {
  cmake_build libwebp "$1" -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF \
    -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF \
    -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_LIBWEBPMUX=OFF \
    -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF -DWEBP_BUILD_WEBP_JS=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON -DCMAKE_DISABLE_FIND_PACKAGE_JPEG=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_TIFF=ON -DCMAKE_DISABLE_FIND_PACKAGE_GIF=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_OpenGL=ON -DCMAKE_DISABLE_FIND_PACKAGE_GLUT=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_SDL=ON
}

# libde265 decodes the HEVC pictures inside HEIC files for libheif. Its
# ENABLE_DECODER switch is the dec265 tool (the decoder is the library
# itself); the encoder, sherlock265 and SDL stay out.
build_libde265() {
  cmake_build libde265 "$1" -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF -DENABLE_SDL=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_SDL=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt5Core=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt5Gui=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt5Widgets=ON
}

# dav1d decodes the AV1 pictures inside AVIF files for libheif: 8-bit and
# high-bit-depth pictures, no tools or tests. It builds with Meson, told the
# tree's compiler by a machine file: the MinGW cross compiler with dav1d's x86
# assembly (nasm), or clang with the fuzz flags and without assembly, which
# the sanitizers and the fuzzer's coverage cannot see.
build_dav1d() {
  local bdir="$prefix/build/dav1d" machine="$prefix/build/dav1d-machine.ini"
  local asm=true machine_kind=--native-file cargs=[] cpu_family
  rm -rf "$bdir"
  mkdir -p "$prefix/build"
  if [ -n "$mingw_triple" ]; then
    machine_kind=--cross-file
    case "$mingw_triple" in
      i686-*) cpu_family=x86 ;;
      x86_64-*) cpu_family=x86_64 ;;
    esac
    cat >"$machine" <<INI
[binaries]
c = '$mingw_triple-gcc-posix'
ar = '$mingw_triple-ar'
strip = '$mingw_triple-strip'
windres = '$mingw_triple-windres'
nasm = 'nasm'

[host_machine]
system = 'windows'
cpu_family = '$cpu_family'
cpu = '${mingw_triple%%-*}'
endian = 'little'
INI
  else
    asm=false
    cargs="['-g', '-O1', '-fsanitize=fuzzer-no-link,address,undefined', '-fno-omit-frame-pointer']"
    cat >"$machine" <<INI
[binaries]
c = 'clang'
ar = 'ar'

[built-in options]
c_args = $cargs
c_link_args = $cargs
INI
  fi
  meson setup "$bdir" "$1" "$machine_kind" "$machine" --prefix "$prefix" --libdir lib \
    --buildtype release -Db_ndebug=true -Ddefault_library=static --wrap-mode nodownload \
    -Dbitdepths=8,16 -Denable_asm=$asm -Denable_tools=false -Denable_tests=false \
    -Denable_examples=false -Denable_docs=false -Dxxhash_muxer=disabled \
    >"$prefix/build-dav1d.log" 2>&1 &&
  meson compile -C "$bdir" -j "$jobs" >>"$prefix/build-dav1d.log" 2>&1 &&
  meson install -C "$bdir" --no-rebuild >>"$prefix/build-dav1d.log" 2>&1 || {
    tail -n 40 "$prefix/build-dav1d.log" >&2
    echo "building dav1d failed; full log: $prefix/build-dav1d.log" >&2
    exit 1
  }
}

# libheif reads HEIC/HEIF and AVIF files, with this tree's libde265 (HEVC)
# and dav1d (AV1) built into the library. Every other codec and plugin
# loading stay out; pkg-config sees only this prefix, so nothing from the
# build machine (x265, aom, rav1e, SVT-AV1, gdk-pixbuf) joins in.
build_libheif() {
  PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH= \
  cmake_build libheif "$1" -DWITH_EXAMPLES=OFF -DENABLE_PLUGIN_LOADING=OFF \
    -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF -DWITH_DAV1D=ON -DWITH_DAV1D_PLUGIN=OFF \
    -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_RAV1E=OFF \
    -DWITH_SvtEnc=OFF -DWITH_DEFLATE_HEADER_COMPRESSION=OFF \
    -DLIBDE265_INCLUDE_DIR="$prefix/include" -DLIBDE265_LIBRARY="$prefix/lib/libde265.a" \
    -DDAV1D_INCLUDE_DIR="$prefix/include" -DDAV1D_LIBRARY="$prefix/lib/libdav1d.a"
  # A decoder that was asked for but not found would otherwise go missing
  # quietly; libheif registers the backends whose code it was built with.
  local nm=nm symbols decoder
  [ -n "$mingw_triple" ] && nm=$mingw_triple-nm
  symbols=$("$nm" -C --defined-only "$prefix/lib/libheif.a" 2>/dev/null)
  for decoder in get_decoder_plugin_libde265 get_decoder_plugin_dav1d; do
    grep -q " T $decoder()" <<<"$symbols" || {
      echo "libheif was built without $decoder" >&2
      exit 1
    }
  done
}

case "$tree" in
  native)
    build_once tiff build_libtiff
    ;;
  win32|win64|fuzz)
    build_once libjpeg-turbo build_libjpeg
    build_once libpng1.6 build_libpng
    build_once tiff build_libtiff
    build_once giflib build_giflib
    build_once libwebp build_libwebp
    build_once libde265 build_libde265
    build_once dav1d build_dav1d
    build_once libheif build_libheif
    ;;
esac
