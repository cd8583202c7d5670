# Win32 tests run under Wine on a private desktop (virtual X display, window manager and Wine
# prefix inside the build folder) that a setup test starts and a cleanup test stops.
set(CYCLOWISP_DESKTOP_DIR ${CMAKE_BINARY_DIR}/desktop)

add_test(NAME desktop.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/desktop.sh start ${CYCLOWISP_DESKTOP_DIR})
add_test(NAME desktop.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/desktop.sh stop ${CYCLOWISP_DESKTOP_DIR})
set_tests_properties(desktop.start PROPERTIES FIXTURES_SETUP desktop TIMEOUT 600)
set_tests_properties(desktop.stop PROPERTIES FIXTURES_CLEANUP desktop)

# A desktop of its own in a new folder, as on a fresh machine: the DPI query on a new prefix.
add_test(NAME desktop_fresh_prefix COMMAND ${CMAKE_SOURCE_DIR}/tests/scripts/fresh_desktop.sh
         ${CMAKE_BINARY_DIR}/fresh-desktop)
set_tests_properties(desktop_fresh_prefix PROPERTIES TIMEOUT 300)

# A Windows test program (a target) run through the cross-compiling emulator, wine-run.sh.
# The tests share one notification area and one registry, so they take turns.
function(cyclowisp_wine_test target)
  add_test(NAME ${target} COMMAND ${target} ${ARGN})
  set_tests_properties(${target} PROPERTIES
    FIXTURES_REQUIRED desktop
    RESOURCE_LOCK desktop
    ENVIRONMENT CYCLOWISP_DESKTOP=${CYCLOWISP_DESKTOP_DIR})
endfunction()

# A test driven from the Linux side (a script that uses the desktop too).
function(cyclowisp_desktop_test name)
  add_test(NAME ${name} COMMAND ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED desktop
    RESOURCE_LOCK desktop
    ENVIRONMENT CYCLOWISP_DESKTOP=${CYCLOWISP_DESKTOP_DIR})
endfunction()

# A test at another display scaling: scripts/at-dpi.sh restarts the desktop's Wine at DPI (120 for
# 125 %, 144 for 150 %, 192 for 200 %) for the command, the shell included, and at 96 afterwards.
function(cyclowisp_dpi_test name dpi)
  cyclowisp_desktop_test(${name} ${CMAKE_SOURCE_DIR}/scripts/at-dpi.sh ${dpi} ${ARGN})
  set_tests_properties(${name} PROPERTIES TIMEOUT 600)
endfunction()
