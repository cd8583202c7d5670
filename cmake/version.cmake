# The program's one version is project(VERSION ...) in CMakeLists.txt. Everything else takes it
# from here: the version resource's numbers and strings, the About box's version line (through the
# generated res/version.h) and the package's name.
#
# The text form is the major number, a dot, the minor number as two digits, a dot and a build
# group of four digits: the patch level counted from 01 (patch 0 shows as 01), then the tweak
# number as two digits. So 1.0.0.1 shows as "1.00.0101", 1.0.0.2 as "1.00.0102", 1.0.1.0 as
# "1.00.0200", 1.1.0.0 as "1.01.0100"; every version has its own text. The build group alone,
# "0101", is the text of the PrivateBuild and SpecialBuild strings.

# The four numbers of the resource's FILEVERSION and PRODUCTVERSION, missing ones as 0.
foreach(part MAJOR MINOR PATCH TWEAK)
  set(CYCLOWISP_VERSION_${part} "${PROJECT_VERSION_${part}}")
  if(CYCLOWISP_VERSION_${part} STREQUAL "")
    set(CYCLOWISP_VERSION_${part} 0)
  endif()
endforeach()

# Two digits of a number 0 to 99; anything larger has no place in the text form.
function(cyclowisp_two_digits out what value)
  if(value GREATER 99)
    message(FATAL_ERROR "The ${what} is ${value}; the version text has two digits for it")
  endif()
  if(value LESS 10)
    set(value "0${value}")
  endif()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

math(EXPR CYCLOWISP_PATCH_LEVEL "${CYCLOWISP_VERSION_PATCH} + 1")
cyclowisp_two_digits(CYCLOWISP_MINOR_DIGITS "minor version number" ${CYCLOWISP_VERSION_MINOR})
cyclowisp_two_digits(CYCLOWISP_PATCH_DIGITS "patch version number + 1" ${CYCLOWISP_PATCH_LEVEL})
cyclowisp_two_digits(CYCLOWISP_TWEAK_DIGITS "tweak version number" ${CYCLOWISP_VERSION_TWEAK})
set(CYCLOWISP_BUILD_TEXT "${CYCLOWISP_PATCH_DIGITS}${CYCLOWISP_TWEAK_DIGITS}")
set(CYCLOWISP_VERSION_TEXT "${CYCLOWISP_VERSION_MAJOR}.${CYCLOWISP_MINOR_DIGITS}.${CYCLOWISP_BUILD_TEXT}")
