# Fails the build when a source of one subsystem includes a header of a
# subsystem it must not use. Run by the check_layering target:
#   cmake -DPC_SOURCE_ROOT=<src> -P CheckLayering.cmake
cmake_minimum_required(VERSION 3.20)

# Which subsystem may include which (its own folder always):
set(pcAllowed_base "")
set(pcAllowed_engine "base")
set(pcAllowed_gui "base")
set(pcAllowed_picture "base")
set(pcAllowed_pool "base")
set(pcAllowed_app "base;gui;picture;pool;engine")

set(pcSubsystems base engine gui picture pool app)
set(pcViolations "")
foreach(sub IN LISTS pcSubsystems)
  file(GLOB_RECURSE files "${PC_SOURCE_ROOT}/${sub}/*.h" "${PC_SOURCE_ROOT}/${sub}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[a-z]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([a-z]+)/.*" "\\1" target "${line}")
      if(target STREQUAL sub OR NOT target IN_LIST pcSubsystems)
        continue()
      endif()
      if(NOT target IN_LIST pcAllowed_${sub})
        file(RELATIVE_PATH shown "${PC_SOURCE_ROOT}" "${file}")
        string(APPEND pcViolations "\n  ${shown}: ${line}  (${sub} may not use ${target})")
      endif()
    endforeach()
  endforeach()
endforeach()
if(pcViolations)
  message(FATAL_ERROR "Includes that point the wrong way:${pcViolations}")
endif()
