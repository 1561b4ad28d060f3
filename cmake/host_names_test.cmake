cmake_minimum_required(VERSION 3.25)
# The host name check, case by case: each value is checked in a cmake of its
# own, since a refused value ends the script.
set(cases
    "archive.example|ok" "127.0.0.1|ok" "localhost|ok" "a|ok" "x-1.lab-2.example|ok"
    "0123456789012345678901234567890123456789.b|ok"
    "|refused" "-P2222|refused" "a.-b|refused" "a-.b|refused" "a..b|refused" ".a|refused"
    "a.|refused" "a_b|refused" "a b|refused" "a,b|refused" "host:22|refused"
    "01234567890123456789012345678901234567890.b|refused")
set(failed 0)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 value)
  list(GET parts 1 expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -DVALUE=${value} -DLIMIT=42 -P
                          ${CMAKE_CURRENT_LIST_DIR}/host_names.cmake
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  if(status EQUAL 0)
    set(got ok)
  else()
    set(got refused)
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "host name \"${value}\": ${got}, expected ${expected}")
    set(failed 1)
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "the host name check is wrong")
endif()
