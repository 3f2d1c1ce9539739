# The cross build has no GoogleTest for its target: build it from Debian's
# sources (package googletest) with the same toolchain, under the names that
# find_package(GTest) gives in the native build.
set(MABREL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
if(NOT EXISTS ${MABREL_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${MABREL_GOOGLETEST_SOURCE} (Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
# Its headers are someone else's: no warnings from them in our code.
set(system_flag)
if(CMAKE_VERSION VERSION_GREATER_EQUAL 3.25)
  set(system_flag SYSTEM)
endif()
add_subdirectory(${MABREL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL ${system_flag})
foreach(lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
