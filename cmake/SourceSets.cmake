# Collects the sources of one folder for this tree: files ending in _win.cpp
# only for Windows, _posix.cpp only for the native tree, the rest for both.
function(pc_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c")
  set(kept)
  foreach(f IN LISTS all)
    get_filename_component(stem "${f}" NAME_WE)
    if(stem MATCHES "_win$" AND NOT WIN32)
      continue()
    endif()
    if(stem MATCHES "_posix$" AND WIN32)
      continue()
    endif()
    list(APPEND kept "${f}")
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()

# Text-handling flags (UTF-8 sources and texts in every build).
function(pc_text_flags target)
  target_compile_options(${target} PRIVATE ${PC_TEXT_CHARSET_FLAGS})
endfunction()
