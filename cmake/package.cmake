# Debian packages (make package, or cpack in the build folder):
#   tessaro          the libraries, the command-line tool with its man page and
#                    shell completions, the udev rule
#   tessaro-dev      headers, link names, pkg-config files, CMake package, docs
#   python3-tessaro  the Python package, for the system's Python 3
# Dependencies on the C/C++ runtime and on the hidapi runtime
# (libhidapi-hidraw0) are read from the binaries by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessaro)
set(CPACK_PACKAGE_VENDOR "The Tessaro developers")
set(TESSARO_PACKAGE_MAINTAINER "Tessaro developers <tessaro@example.org>" CACHE STRING
  "Maintainer field of the Debian packages")
set(CPACK_PACKAGE_CONTACT "${TESSARO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME tessaro)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# ldconfig runs once per dpkg run for the two libraries, through its trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "SDK for USB UHF RFID readers (EPC Gen2, ISO 18000-6B)
Tessaro drives the USB UHF RFID readers of the 0470:a112 family through
their flat C interface: inventories, tag memory, locks, reader settings,
regions. This package holds the shared libraries (the reader library and
a simulated reader), the tessaro command-line tool and the udev rule that
gives the logged-in user access to the reader.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME tessaro-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION
  "SDK for USB UHF RFID readers - development files
Tessaro drives the USB UHF RFID readers of the 0470:a112 family through
their flat C interface. This package holds the headers, the pkg-config
files (tessaro, tessaro-sim), the CMake package (Tessaro::Tessaro,
Tessaro::Sim), the documentation and the examples' sources.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-tessaro)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= 3.9)")
set(CPACK_DEBIAN_PYTHON_DESCRIPTION
  "SDK for USB UHF RFID readers - Python 3 package
Tessaro drives the USB UHF RFID readers of the 0470:a112 family through
their flat C interface. This package holds the Python 3 package tessaro
(import tessaro), which calls the reader library of the tessaro package
through ctypes: reader objects, tag records, exceptions, continuous
reading as an iterator or with asyncio, and the simulated reader.")

# Copyright notice and changelog of each package.
set(TESSARO_PACKAGE_COPYRIGHT ${PROJECT_SOURCE_DIR}/cmake/debian/copyright CACHE FILEPATH
  "Copyright file of the Debian packages")
set(CPACK_TESSARO_COPYRIGHT ${TESSARO_PACKAGE_COPYRIGHT})
string(TIMESTAMP CPACK_TESSARO_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian/docs.cmake)

include(CPack)
