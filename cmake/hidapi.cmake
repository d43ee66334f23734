# Finds hidapi as it asks to be found: its own CMake package first (hidapi
# 0.10 and later install one; hidapi_ROOT or CMAKE_PREFIX_PATH point at one
# elsewhere), pkg-config otherwise. The back end is the one each platform's
# reader is reached through: hidraw on Linux (the kernel's HID driver, no
# detaching), IOKit on macOS.
# Sets TESSARO_HIDAPI_TARGET to the target to link.
if(APPLE)
  set(backend darwin)
  set(backend_module hidapi)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  set(backend hidraw)
  set(backend_module hidapi-hidraw)
else()
  set(backend hidapi)
  set(backend_module hidapi)
endif()

# A parent project may already hold hidapi (add_subdirectory): its targets serve.
if(NOT TARGET hidapi::${backend})
  find_package(hidapi 0.10 CONFIG QUIET)
endif()
if(TARGET hidapi::${backend})
  set(TESSARO_HIDAPI_TARGET hidapi::${backend})
else()
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(TESSARO_HIDAPI QUIET IMPORTED_TARGET ${backend_module})
  endif()
  if(NOT TESSARO_HIDAPI_FOUND)
    message(FATAL_ERROR
      "hidapi (${backend_module}) was not found: neither its CMake package nor its pkg-config file.\n"
      "Install it (Debian and Ubuntu: apt-get install libhidapi-dev), point CMAKE_PREFIX_PATH at it, "
      "or configure with -DTESSARO_PLATFORM_TRANSPORT=OFF to build with the simulated reader only.")
  endif()
  set(TESSARO_HIDAPI_TARGET PkgConfig::TESSARO_HIDAPI)
endif()
message(STATUS "Tessaro: platform transport through ${TESSARO_HIDAPI_TARGET}")
