# The Windows side: the program's modules, its resources and cyclowis.exe.
enable_language(RC)

add_library(meter_win STATIC stats/stats.cpp notify/notify.cpp settings/settings.cpp)
target_link_libraries(meter_win PUBLIC meter_core advapi32 shell32 user32 PRIVATE cyclowisp_product)
