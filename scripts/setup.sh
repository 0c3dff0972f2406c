#!/usr/bin/env bash
# Installs what building and testing need on Debian 12: compilers, MinGW-w64
# for i686 and x86_64, 32- and 64-bit Wine, the virtual display, fonts, the
# zh_CN.UTF-8 and en_US.UTF-8 locales, tools that make test pictures, zip for the package, and
# a deb-src entry for the codec source packages.
# Quick when everything is there already: apt runs only for what is missing.
set -euo pipefail

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

packages=(
  # native build
  cmake make g++ pkg-config googletest libjpeg62-turbo-dev libpng-dev zlib1g-dev libgif-dev
  libwebp-dev libheif-dev clang libclang-rt-14-dev
  # win32 and win64 builds and codec sources (dav1d builds with Meson and Ninja)
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
  mingw-w64-i686-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev libz-mingw-w64-dev nasm dpkg-dev
  meson ninja-build
  # running and testing under Wine on a virtual display; fonts-wine brings
  # Marlett, which draws the caption buttons
  wine wine32:i386 wine64 fonts-wine xvfb xauth x11-utils x11-apps xdotool imagemagick
  fonts-wqy-microhei locales
  # the package command
  zip
  # peers that write and read test pictures
  libjpeg-turbo-progs libtiff-tools netpbm graphicsmagick python3 libimage-exiftool-perl gifsicle
  webp libheif-examples libavif-bin
  # decodes Softimage PIC files for their tests (nothing in Debian writes them)
  openimageio-tools
)

need_update=
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "[setup] adding the i386 architecture (32-bit Wine)"
  "${sudo[@]}" dpkg --add-architecture i386
  need_update=1
fi

# Source packages: apt-get source needs deb-src entries for Debian's archive.
if ! grep -rqsE '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  echo "[setup] adding deb-src entries"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    "${sudo[@]}" sed -i 's/^Types: deb$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
  fi
  if [ -f /etc/apt/sources.list ] && grep -qE '^deb ' /etc/apt/sources.list; then
    grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
      "${sudo[@]}" tee -a /etc/apt/sources.list >/dev/null
  fi
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ] || [ -n "$need_update" ] ||
   [ -z "$(apt-cache showsrc tiff 2>/dev/null | sed -n 's/^Version: //p')" ]; then
  echo "[setup] updating package lists"
  "${sudo[@]}" apt-get update -q >/dev/null
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "[setup] installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# zh_CN.UTF-8 gives Wine the Chinese code page (936); en_US.UTF-8 a Western
# one (1252), to check that names and texts do not depend on it.
locales_missing=()
for wanted in zh_CN en_US; do
  locale -a 2>/dev/null | grep -qix "$wanted.utf8" || locales_missing+=("$wanted")
done
if [ ${#locales_missing[@]} -gt 0 ]; then
  echo "[setup] generating locales: ${locales_missing[*]/%/.UTF-8}"
  for wanted in "${locales_missing[@]}"; do
    "${sudo[@]}" sed -i "s/^# *$wanted.UTF-8 UTF-8/$wanted.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$wanted.UTF-8 UTF-8" /etc/locale.gen ||
      echo "$wanted.UTF-8 UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${sudo[@]}" locale-gen >/dev/null
fi
