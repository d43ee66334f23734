# Installing, the way a Linux library is installed: the libraries with their
# soname, the headers, pkg-config files, a relocatable CMake package, the udev
# rule, the documentation and the examples' sources. Two components:
#   runtime  the libraries, the command-line tool, the udev rule, the sample
#            population of the simulated reader
#   dev      headers, the libraries' link names, pkg-config files, the CMake
#            package, documentation and examples
# (The install folders are set in the top CMakeLists.txt, before any folder
# of the tree installs into them.)
include(CMakePackageConfigHelpers)

# Programs write #include "Tessaro.h": the headers sit in a folder of their own
# that the pkg-config file and the CMake targets put on the include path.
set(TESSARO_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/tessaro)
set(TESSARO_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tessaro)
set(TESSARO_INSTALL_UDEVDIR lib/udev/rules.d CACHE PATH
  "udev rules folder, relative to the prefix or absolute (/etc/udev/rules.d for a local rule)")

target_include_directories(Tessaro PUBLIC $<INSTALL_INTERFACE:${TESSARO_INSTALL_INCLUDEDIR}>)

install(TARGETS Tessaro TessaroSim EXPORT TessaroTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
if(TARGET tessaro)
  install(TARGETS tessaro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  install(FILES udev/70-tessaro.rules DESTINATION ${TESSARO_INSTALL_UDEVDIR} COMPONENT runtime)
endif()

file(GLOB public_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/include/*.h)
install(FILES ${public_headers} DESTINATION ${TESSARO_INSTALL_INCLUDEDIR} COMPONENT dev)

# The CMake package: found from wherever the tree lands (prefix, DESTDIR,
# an unpacked .deb), since every path in it is relative to the file itself.
install(EXPORT TessaroTargets NAMESPACE Tessaro:: DESTINATION ${TESSARO_INSTALL_CMAKEDIR}
  COMPONENT dev)
configure_package_config_file(cmake/TessaroConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TessaroConfig.cmake INSTALL_DESTINATION ${TESSARO_INSTALL_CMAKEDIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TessaroConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TessaroConfig.cmake ${PROJECT_BINARY_DIR}/TessaroConfigVersion.cmake
  DESTINATION ${TESSARO_INSTALL_CMAKEDIR} COMPONENT dev)

# pkg-config files: the prefix is taken from where the file lies, so the
# prefix given at install time (cmake --install --prefix) holds too.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(pc_prefix ${CMAKE_INSTALL_PREFIX})
  set(pc_libdir ${CMAKE_INSTALL_FULL_LIBDIR})
  set(pc_includedir ${CMAKE_INSTALL_FULL_INCLUDEDIR}/tessaro)
else()
  file(RELATIVE_PATH pc_up /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
  string(REGEX REPLACE "/$" "" pc_up "${pc_up}")
  set(pc_prefix "\${pcfiledir}/${pc_up}")
  set(pc_libdir "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(pc_includedir "\${prefix}/${TESSARO_INSTALL_INCLUDEDIR}")
endif()
foreach(pc tessaro tessaro-sim)
  configure_file(cmake/${pc}.pc.in ${PROJECT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT dev)
endforeach()

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT dev)
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT dev)
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT dev
  PATTERN CMakeLists.txt EXCLUDE)
install(DIRECTORY sim/populations/ DESTINATION ${CMAKE_INSTALL_DATADIR}/tessaro/populations
  COMPONENT runtime)

# Packaging (Debian packages) is the business of the top-level project.
if(PROJECT_IS_TOP_LEVEL AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
  include(${PROJECT_SOURCE_DIR}/cmake/package.cmake)
endif()
