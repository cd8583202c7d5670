# The Windows side: the program's modules, its resources and cyclowis.exe.
enable_language(RC)

add_library(meter_win STATIC stats/stats.cpp stats/kernel_times.cpp stats/utility.cpp notify/notify.cpp notify/shell.cpp
            notify/taskbar.cpp notify/session.cpp settings/settings.cpp settings/system.cpp)
target_link_libraries(meter_win PUBLIC meter_core advapi32 shell32 user32 PRIVATE cyclowisp_product)

# The compiled resources, linked into cyclowis.exe and into the tests that load them. The icon is
# drawn as text art in res/app-icon.txt and made into an .ico here; the version numbers and texts
# come from the project's version as res/version.h, and the application manifest carries it too.
# windres finds all three on its include path.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CYCLOWISP_RES_DIR ${CMAKE_BINARY_DIR}/res)
configure_file(res/version.h.in ${CYCLOWISP_RES_DIR}/version.h @ONLY)
# The manifest's XML comments explain it to readers of res/cyclowisp.manifest.in; the program gets
# it without them, a kilobyte smaller. Written only when it changes; editing the .in reconfigures.
set(CYCLOWISP_MANIFEST_IN ${CMAKE_SOURCE_DIR}/res/cyclowisp.manifest.in)
file(READ ${CYCLOWISP_MANIFEST_IN} manifest)
string(REGEX REPLACE "[ ]*<!--[^>]*-->\n" "" manifest "${manifest}")
file(CONFIGURE OUTPUT ${CYCLOWISP_RES_DIR}/cyclowisp.manifest CONTENT "${manifest}" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CYCLOWISP_MANIFEST_IN})
add_custom_command(
  OUTPUT ${CYCLOWISP_RES_DIR}/app-icon.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CYCLOWISP_RES_DIR}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/make-icon.py
          ${CMAKE_SOURCE_DIR}/res/app-icon.txt ${CYCLOWISP_RES_DIR}/app-icon.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-icon.py ${CMAKE_SOURCE_DIR}/res/app-icon.txt
  COMMENT "Drawing the application icon from res/app-icon.txt"
  VERBATIM)
add_library(meter_res OBJECT res/cyclowisp.rc ${CYCLOWISP_RES_DIR}/app-icon.ico)
# Public: the tests compare the linked resources with the same version.h.
target_include_directories(meter_res PUBLIC ${CYCLOWISP_RES_DIR})
# The script is compiled again when any of the files it takes in changes.
set(CYCLOWISP_RES_INPUTS app-icon.ico version.h cyclowisp.manifest)
list(TRANSFORM CYCLOWISP_RES_INPUTS PREPEND ${CYCLOWISP_RES_DIR}/)
set_source_files_properties(res/cyclowisp.rc PROPERTIES OBJECT_DEPENDS "${CYCLOWISP_RES_INPUTS}")

# The dialogs, the popup menu and the one meter of a session, without WinMain: the program links
# them, and so does the test of the meter dialog's own procedure.
add_library(meter_app STATIC app/meter_dialog.cpp app/one_meter.cpp)
target_link_libraries(meter_app PUBLIC meter_win PRIVATE cyclowisp_product)

# The program: a GUI-subsystem executable that needs no DLL beyond Windows' own, stripped, with
# unused code dropped. The trackbar class is there before the dialog is created because
# shell32, which the icons need, loads the common controls, and they register it; where Windows
# reads the manifest, it gives the dialog Common Controls 6's slider instead, loading that DLL when
# the dialog asks for the class (seen under Wine: no registering call of ours needed). The linker
# leaves the header's time stamp at 0 (by default it writes the time of the link there), so the
# same commit links to the same bytes at any time.
if(TARGET meter_res)
  add_executable(cyclowis WIN32 app/main.cpp)
  target_link_libraries(cyclowis PRIVATE meter_app meter_win meter_res cyclowisp_product)
  target_link_options(cyclowis PRIVATE -s -Wl,--gc-sections -Wl,--no-insert-timestamp)
  set_target_properties(cyclowis PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()

# The release package beside cyclowis.exe: cyclowisp-<version>-win32.zip (the program, README.txt
# for its users, LICENSE.txt) and SHA256SUMS for the zip and the program. `make dist` builds it
# through the dist preset, in build/dist.
if(TARGET cyclowis)
  set(CYCLOWISP_ZIP ${CMAKE_BINARY_DIR}/cyclowisp-${CYCLOWISP_VERSION_TEXT}-win32.zip)
  set(CYCLOWISP_SUMS ${CMAKE_BINARY_DIR}/SHA256SUMS)
  add_custom_command(
    OUTPUT ${CYCLOWISP_ZIP} ${CYCLOWISP_SUMS}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/make-package.py
            $<TARGET_FILE:cyclowis> ${CMAKE_SOURCE_DIR}/dist/README.txt ${CMAKE_SOURCE_DIR}/LICENSE
            ${CYCLOWISP_ZIP} ${CYCLOWISP_SUMS}
    DEPENDS cyclowis $<TARGET_FILE:cyclowis> ${CMAKE_SOURCE_DIR}/scripts/make-package.py
            ${CMAKE_SOURCE_DIR}/dist/README.txt ${CMAKE_SOURCE_DIR}/LICENSE
    COMMENT "Packing cyclowis.exe, README.txt and LICENSE.txt"
    VERBATIM)
  add_custom_target(dist
    COMMAND ${CMAKE_COMMAND} -E echo "Package:   ${CYCLOWISP_ZIP}"
    COMMAND ${CMAKE_COMMAND} -E echo "Checksums: ${CYCLOWISP_SUMS}"
    DEPENDS ${CYCLOWISP_ZIP} ${CYCLOWISP_SUMS}
    VERBATIM)
endif()
