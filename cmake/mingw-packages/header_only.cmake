# Debian's header-only libraries serve the Windows build as they are, but
# their package files name /usr/include, whose C library headers must not
# come before those of mingw-w64. Their headers alone are linked into a
# folder of the build's own.
function(tessaro_header_only_package target folder)
  if(TARGET ${target})
    return()
  endif()
  set(headers ${CMAKE_BINARY_DIR}/header-only)
  if(NOT EXISTS ${headers}/${folder})
    file(MAKE_DIRECTORY ${headers})
    file(CREATE_LINK /usr/include/${folder} ${headers}/${folder} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${headers})
endfunction()
