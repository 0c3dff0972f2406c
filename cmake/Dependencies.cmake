# Codec libraries. The Windows trees (win32, win64) and the fuzz tree build
# libjpeg-turbo, libpng, libtiff, giflib, libwebp (with libwebpdemux),
# libde265, dav1d and libheif from Debian's source packages; the native tree
# takes libjpeg, libpng, zlib, giflib, libwebp and libheif from Debian's -dev
# packages and builds libtiff from the same source.
# The builds run once per machine-tree and are cached under build/deps.

set(PC_DEPS_DIR "${CMAKE_SOURCE_DIR}/build/deps" CACHE PATH "Where third-party libraries are fetched and built")
if(WIN32)
  set(PC_DEPS_TREE ${PC_WINE_ARCH})
elseif(PC_FUZZ)
  # Fuzzing builds all the libraries instrumented, like the win32 tree.
  set(PC_DEPS_TREE fuzz)
else()
  set(PC_DEPS_TREE native)
endif()
set(PC_DEPS_PREFIX "${PC_DEPS_DIR}/${PC_DEPS_TREE}")

execute_process(
  COMMAND bash "${CMAKE_SOURCE_DIR}/scripts/build-deps.sh" ${PC_DEPS_TREE} "${PC_DEPS_DIR}"
  RESULT_VARIABLE pcDepsResult)
if(NOT pcDepsResult EQUAL 0)
  message(FATAL_ERROR "Building the codec libraries failed (scripts/build-deps.sh)")
endif()

function(pc_import_static name header_dir library)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION "${library}"
    INTERFACE_INCLUDE_DIRECTORIES "${header_dir}")
endfunction()

if(WIN32)
  pc_import_static(pc::jpeg "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libjpeg.a")
  # zlib comes from Debian's libz-mingw-w64-dev, under the toolchain's root.
  find_library(PC_ZLIB_LIBRARY NAMES libz.a z REQUIRED)
  find_path(PC_ZLIB_INCLUDE zlib.h REQUIRED)
  pc_import_static(pc::zlib "${PC_ZLIB_INCLUDE}" "${PC_ZLIB_LIBRARY}")
  pc_import_static(pc::png "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libpng16.a")
  set_property(TARGET pc::png APPEND PROPERTY INTERFACE_LINK_LIBRARIES pc::zlib)
  pc_import_static(pc::gif "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libgif.a")
  set(pcTiffLinks pc::jpeg pc::zlib)
elseif(PC_FUZZ)
  find_package(ZLIB REQUIRED)
  pc_import_static(pc::jpeg "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libjpeg.a")
  pc_import_static(pc::png "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libpng16.a")
  set_property(TARGET pc::png APPEND PROPERTY INTERFACE_LINK_LIBRARIES ZLIB::ZLIB m)
  pc_import_static(pc::gif "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libgif.a")
  set(pcTiffLinks pc::jpeg ZLIB::ZLIB m)
else()
  find_package(JPEG REQUIRED)
  find_package(PNG REQUIRED)
  find_package(ZLIB REQUIRED)
  find_package(GIF REQUIRED)
  add_library(pc::jpeg ALIAS JPEG::JPEG)
  add_library(pc::png ALIAS PNG::PNG)
  add_library(pc::gif ALIAS GIF::GIF)
  set(pcTiffLinks pc::jpeg ZLIB::ZLIB m)
endif()
# libtiff decodes Deflate and PixarLog through zlib (PixarLog also needs the
# maths library outside Windows) and both JPEG flavours through libjpeg.
pc_import_static(pc::tiff "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libtiff.a")
set_property(TARGET pc::tiff APPEND PROPERTY INTERFACE_LINK_LIBRARIES ${pcTiffLinks})

# WebP: libwebp decodes, libwebpdemux finds the first frame of an animation.
# HEIC/HEIF and AVIF: libheif, with libde265 (HEVC) and dav1d (AV1) built in.
find_package(Threads REQUIRED)
if(WIN32 OR PC_FUZZ)
  pc_import_static(pc::libwebp "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libwebp.a")
  pc_import_static(pc::libwebpdemux "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libwebpdemux.a")
  pc_import_static(pc::libheif "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libheif.a")
  pc_import_static(pc::libde265 "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libde265.a")
  pc_import_static(pc::libdav1d "${PC_DEPS_PREFIX}/include" "${PC_DEPS_PREFIX}/lib/libdav1d.a")
  # The headers would ask for DLL imports under MSVC unless told the
  # libraries are static; MinGW ignores these, but they say what is linked.
  set_property(TARGET pc::libheif PROPERTY INTERFACE_COMPILE_DEFINITIONS LIBHEIF_STATIC_BUILD)
  set_property(TARGET pc::libde265 PROPERTY INTERFACE_COMPILE_DEFINITIONS LIBDE265_STATIC_BUILD)
  # libwebp, libde265 and dav1d start threads; outside Windows libwebp needs
  # the maths library and dav1d looks up a glibc symbol at run time.
  set(pcCodecSystemLinks Threads::Threads)
  if(NOT WIN32)
    list(APPEND pcCodecSystemLinks m ${CMAKE_DL_LIBS})
  endif()
  set_property(TARGET pc::libwebp PROPERTY INTERFACE_LINK_LIBRARIES ${pcCodecSystemLinks})
  set_property(TARGET pc::libwebpdemux PROPERTY INTERFACE_LINK_LIBRARIES pc::libwebp)
  set_property(TARGET pc::libde265 PROPERTY INTERFACE_LINK_LIBRARIES ${pcCodecSystemLinks})
  set_property(TARGET pc::libdav1d PROPERTY INTERFACE_LINK_LIBRARIES ${pcCodecSystemLinks})
  set_property(TARGET pc::libheif PROPERTY INTERFACE_LINK_LIBRARIES pc::libde265 pc::libdav1d)
  add_library(pc::webp INTERFACE IMPORTED GLOBAL)
  set_property(TARGET pc::webp PROPERTY INTERFACE_LINK_LIBRARIES pc::libwebpdemux pc::libwebp)
  add_library(pc::heif INTERFACE IMPORTED GLOBAL)
  set_property(TARGET pc::heif PROPERTY INTERFACE_LINK_LIBRARIES pc::libheif)
else()
  # Debian's shared libheif brings its decoders (libde265, dav1d) itself.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PC_WEBP REQUIRED IMPORTED_TARGET GLOBAL libwebp libwebpdemux)
  pkg_check_modules(PC_HEIF REQUIRED IMPORTED_TARGET GLOBAL libheif)
  add_library(pc::webp ALIAS PkgConfig::PC_WEBP)
  add_library(pc::heif ALIAS PkgConfig::PC_HEIF)
endif()

# GoogleTest from Debian's googletest sources, built with this tree's compiler
# (and sanitizer flags), so both trees test the same way.
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
