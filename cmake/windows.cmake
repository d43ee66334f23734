# The Windows build: Tessaro.dll and TessaroSim.dll without the "lib" prefix
# of mingw, each with an import library and a .def file that lists what the
# DLL exports (what TESSARO_API marks), for linkers that make their own
# import library from it (lib /def:Tessaro.def).
#
# On 32-bit Windows the functions are __stdcall (TESSARO_CALL), which the
# compiler decorates (_OpenUSBPort@4). They are exported undecorated, as
# applications of this reader family look them up (OpenUSBPort), and the
# import library maps each decorated name a caller's compiler asks for to the
# undecorated export; cmake/windows-exports.cmake writes both from the list
# the linker hands over. On 64-bit Windows nothing is decorated and the
# linker's own .def and import library stand as they are.
#
# Called in the folder that makes each library: a command after a link can
# only be added there.
function(tessaro_windows_library library)
  set_target_properties(${library} PROPERTIES PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib"
    ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  set(linker_def ${CMAKE_CURRENT_BINARY_DIR}/${library}-linker.def)
  target_link_options(${library} PRIVATE -Wl,--kill-at -Wl,--output-def,${linker_def})
  add_custom_command(TARGET ${library} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DLINKER_DEF=${linker_def} -DDLL=$<TARGET_FILE:${library}>
            -DDLLTOOL=${CMAKE_DLLTOOL} -P ${PROJECT_SOURCE_DIR}/cmake/windows-exports.cmake
    VERBATIM)
endfunction()
