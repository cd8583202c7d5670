# The Windows side: the program's modules, its resources and cyclowis.exe.
enable_language(RC)

add_library(meter_win STATIC stats/stats.cpp notify/notify.cpp settings/settings.cpp)
target_link_libraries(meter_win PUBLIC meter_core advapi32 shell32 user32 PRIVATE cyclowisp_product)

# The program: a GUI-subsystem executable that needs no DLL beyond Windows' own, stripped, with
# unused code and data dropped. The trackbar class is there before the dialog is created because
# shell32, which the icons need, loads the common controls, and they register it.
if(TARGET meter_res)
  add_executable(cyclowis WIN32 app/main.cpp app/meter_dialog.cpp)
  target_link_libraries(cyclowis PRIVATE meter_win meter_res cyclowisp_product)
  target_compile_options(cyclowis PRIVATE -ffunction-sections -fdata-sections)
  target_link_options(cyclowis PRIVATE -s -Wl,--gc-sections)
  set_target_properties(cyclowis PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
endif()
