# The Windows build: Tessaro.dll and TessaroSim.dll without the "lib" prefix
# of mingw, each with an import library and a .def file that lists what the
# DLL exports (what TESSARO_API marks), for linkers that make their own
# import library from it (lib /def:Tessaro.def).
foreach(library Tessaro TessaroSim)
  set_target_properties(${library} PROPERTIES PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".lib"
    ARCHIVE_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  target_link_options(${library} PRIVATE
    -Wl,--output-def,$<TARGET_FILE_DIR:${library}>/${library}.def)
endforeach()
