# GoogleTest from Debian's googletest sources, built with the project's own compiler and flags.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
if(WIN32)
  # MinGW: GoogleTest's pthread detection would look for a POSIX library that is not there.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
endif()
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# The entry of every test program (see tests/test_main.cpp); use it instead of GTest::gtest_main.
add_library(test_main STATIC ${CMAKE_SOURCE_DIR}/tests/test_main.cpp)
target_link_libraries(test_main PUBLIC GTest::gtest PRIVATE cyclowisp_warnings)
