# GoogleTest for the Windows build: Debian packages it for the build machine
# only, with its sources in /usr/src/googletest, which are built here with
# the cross-compiler.
set(TESSARO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${TESSARO_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TESSARO_GOOGLETEST_SOURCE}:"
                      " install the googletest package (scripts/install-deps googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${TESSARO_GOOGLETEST_SOURCE} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# (GoogleTest names its targets GTest::gtest and GTest::gtest_main itself.)
# Built as GoogleTest builds itself, not with the project's warnings as errors.
foreach(target gtest gtest_main)
  set_target_properties(${target} PROPERTIES COMPILE_OPTIONS "")
endforeach()
