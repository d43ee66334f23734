# The Windows download, tessaro-VERSION-windows-ARCH.zip in the build folder
# (the target windows-package, part of the Windows build): the DLLs with
# their import libraries and .def files, the headers, tessaro.exe, the sample
# populations, the demo's source, the documentation and a README for Windows.
# Included by the build; run with -P it assembles the folder and zips it.
if(NOT CMAKE_SCRIPT_MODE_FILE)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TESSARO_WINDOWS_ARCH x64)
    set(TESSARO_WINDOWS_OTHER x86)
    set(TESSARO_WINDOWS_BITS 64)
    set(TESSARO_WINDOWS_FOR "64-bit programs on 64-bit Windows")
  else()
    set(TESSARO_WINDOWS_ARCH x86)
    set(TESSARO_WINDOWS_OTHER x64)
    set(TESSARO_WINDOWS_BITS 32)
    set(TESSARO_WINDOWS_FOR "32-bit programs, on 32-bit or 64-bit Windows")
  endif()
  set(package tessaro-${PROJECT_VERSION}-windows-${TESSARO_WINDOWS_ARCH})
  set(TESSARO_WINDOWS_ZIP ${PROJECT_BINARY_DIR}/${package}.zip)
  set(readme ${PROJECT_BINARY_DIR}/windows-README.txt)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/windows/README.txt.in ${readme} @ONLY NEWLINE_STYLE CRLF)

  file(GLOB package_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/*.h
       ${PROJECT_SOURCE_DIR}/docs/*.md ${PROJECT_SOURCE_DIR}/sim/populations/*)
  add_custom_command(OUTPUT ${TESSARO_WINDOWS_ZIP}
    COMMAND ${CMAKE_COMMAND} -DPACKAGE=${package} -DZIP=${TESSARO_WINDOWS_ZIP}
            -DSOURCE=${PROJECT_SOURCE_DIR} -DREADME=${readme}
            -DLIBRARIES=$<TARGET_FILE:Tessaro>$<SEMICOLON>$<TARGET_FILE:TessaroSim>
            -DTOOL=$<TARGET_FILE:tessaro> -DSTRIP=${CMAKE_STRIP}
            -P ${CMAKE_CURRENT_LIST_FILE}
    DEPENDS Tessaro TessaroSim tessaro ${package_sources} ${readme} ${CMAKE_CURRENT_LIST_FILE}
    COMMENT "Packing ${package}.zip"
    VERBATIM)
  add_custom_target(windows-package ALL DEPENDS ${TESSARO_WINDOWS_ZIP})
  return()
endif()

# Script mode: PACKAGE (folder and zip name), ZIP, SOURCE, README, LIBRARIES
# (the DLLs; their .lib and .def lie beside them), TOOL, STRIP (the build's
# debug information stays out of the download).
get_filename_component(stage ${ZIP} DIRECTORY)
set(stage ${stage}/windows-package)
set(root ${stage}/${PACKAGE})
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${root}/bin ${root}/lib)
foreach(library IN LISTS LIBRARIES)
  get_filename_component(folder ${library} DIRECTORY)
  get_filename_component(name ${library} NAME_WE)
  file(COPY ${library} ${TOOL} DESTINATION ${root}/bin)
  file(COPY ${folder}/${name}.lib ${folder}/${name}.def DESTINATION ${root}/lib)
endforeach()
if(STRIP)
  file(GLOB programs ${root}/bin/*)
  execute_process(COMMAND ${STRIP} --strip-debug ${programs} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${STRIP} failed on ${programs}")
  endif()
endif()
file(COPY ${SOURCE}/include/ DESTINATION ${root}/include FILES_MATCHING PATTERN "*.h")
file(COPY ${SOURCE}/sim/populations/ DESTINATION ${root}/populations)
file(COPY ${SOURCE}/examples/demo.c DESTINATION ${root}/examples)
file(COPY ${SOURCE}/docs/ DESTINATION ${root}/docs FILES_MATCHING PATTERN "*.md"
     PATTERN schemas EXCLUDE)
file(COPY_FILE ${README} ${root}/README.txt)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip ${PACKAGE}
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not write ${ZIP}")
endif()
