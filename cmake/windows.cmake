# The Windows side: the program's modules, its resources and cyclowis.exe.
enable_language(RC)

add_library(meter_win STATIC stats/stats.cpp notify/notify.cpp settings/settings.cpp)
target_link_libraries(meter_win PUBLIC meter_core advapi32 shell32 user32 PRIVATE cyclowisp_product)

# The compiled resources, linked into cyclowis.exe and into the tests that load them. The icon is
# drawn as text art in res/app-icon.txt and made into an .ico here; windres finds it on its
# include path.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(CYCLOWISP_ICON_DIR ${CMAKE_BINARY_DIR}/res)
add_custom_command(
  OUTPUT ${CYCLOWISP_ICON_DIR}/app-icon.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CYCLOWISP_ICON_DIR}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/make-icon.py
          ${CMAKE_SOURCE_DIR}/res/app-icon.txt ${CYCLOWISP_ICON_DIR}/app-icon.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-icon.py ${CMAKE_SOURCE_DIR}/res/app-icon.txt
  COMMENT "Drawing the application icon from res/app-icon.txt"
  VERBATIM)
add_library(meter_res OBJECT res/cyclowisp.rc ${CYCLOWISP_ICON_DIR}/app-icon.ico)
target_include_directories(meter_res PRIVATE ${CYCLOWISP_ICON_DIR})
set_source_files_properties(res/cyclowisp.rc PROPERTIES OBJECT_DEPENDS ${CYCLOWISP_ICON_DIR}/app-icon.ico)

# The program: a GUI-subsystem executable that needs no DLL beyond Windows' own, stripped, with
# unused code and data dropped. The trackbar class is there before the dialog is created because
# shell32, which the icons need, loads the common controls, and they register it.
# The dialogs and the popup menu without WinMain: the program links them, and so does the test
# of the meter dialog's own procedure.
add_library(meter_app STATIC app/meter_dialog.cpp)
target_link_libraries(meter_app PUBLIC meter_win PRIVATE cyclowisp_product)

if(TARGET meter_res)
  add_executable(cyclowis WIN32 app/main.cpp)
  target_link_libraries(cyclowis PRIVATE meter_app meter_win meter_res cyclowisp_product)
  target_compile_options(cyclowis PRIVATE -ffunction-sections -fdata-sections)
  target_link_options(cyclowis PRIVATE -s -Wl,--gc-sections)
  set_target_properties(cyclowis PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
