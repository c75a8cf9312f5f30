# SPDX-License-Identifier: MIT WITH fmt-exception
# Before 3.19 (policy CMP0110) CMake writes a test's name into
# CTestTestfile.cmake as it is, unquoted, so that ctest breaks a name with
# blanks or brackets apart. There add_test and set_tests_properties escape
# the characters that end or split an unquoted argument, and ctest reads each
# name back whole; the other arguments go on as given, empty ones too.
include_guard(GLOBAL)
if(NOT CMAKE_VERSION VERSION_LESS 3.19)
  return()
endif()

# boardtools_call(COMMAND NAMES_FROM NAMES_TO ARGS...): calls COMMAND with
# ARGS as given, each one argument, those from NAMES_FROM to NAMES_TO (counted
# in ARGS) escaped; NAMES_TO -1 for up to the end
function(boardtools_call command from to)
  set(code "${command}(")
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE 3 ${last})
    set(arg "${ARGV${i}}")
    math(EXPR index "${i} - 3")
    if(index GREATER_EQUAL from AND (to EQUAL -1 OR index LESS_EQUAL to))
      string(REGEX REPLACE "([][ \t()\"#;$\\])" "\\\\\\1" arg "${arg}")
    endif()
    string(APPEND code " [==[${arg}]==]")
  endforeach()
  cmake_language(EVAL CODE "${code})")
endfunction()

function(add_test)
  set(args)
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE ${last})
    list(APPEND args "[==[${ARGV${i}}]==]")
  endforeach()
  # the name: after NAME, or first in the old form
  set(at 0)
  if(ARGV0 STREQUAL "NAME")
    set(at 1)
  endif()
  list(JOIN args " " args)
  cmake_language(EVAL CODE "boardtools_call(_add_test ${at} ${at} ${args})")
endfunction()

function(set_tests_properties)
  set(args)
  set(names_to -1)
  math(EXPR last "${ARGC} - 1")
  foreach(i RANGE ${last})
    if(ARGV${i} STREQUAL "PROPERTIES" AND names_to EQUAL -1)
      math(EXPR names_to "${i} - 1")
    endif()
    list(APPEND args "[==[${ARGV${i}}]==]")
  endforeach()
  list(JOIN args " " args)
  cmake_language(EVAL CODE "boardtools_call(_set_tests_properties 0 ${names_to} ${args})")
endfunction()
