# The check of a host name that is compiled into the command lines. A value
# that does not fit the 180-character command field, or that the command
# interpreter, a remote shell or the tool itself would read as more than a
# name, must never reach a host.

# quorvane_check_host_name(VAR VALUE LIMIT): a fatal error unless VALUE holds
# 1 to LIMIT characters in dot-separated labels of letters, digits and "-",
# each beginning and ending with a letter or a digit ("-P2222" would reach
# pscp as an option).
cmake_policy(SET CMP0007 NEW)  # keep the empty labels of "a..b"
function(quorvane_check_host_name var value limit)
  string(LENGTH "${value}" len)
  if(len EQUAL 0 OR len GREATER limit)
    message(FATAL_ERROR "${var} \"${value}\" must hold 1 to ${limit} characters, "
                        "or the command lines that carry it would be cut.")
  endif()
  if(NOT value MATCHES "^[A-Za-z0-9.-]+$")
    message(FATAL_ERROR "${var} \"${value}\" may hold only letters, digits, '.' and '-'.")
  endif()
  string(REPLACE "." ";" labels "${value}.")
  list(POP_BACK labels)
  foreach(label IN LISTS labels)
    if(NOT label MATCHES "^[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?$")
      message(FATAL_ERROR "${var} \"${value}\": each dot-separated label must begin and end "
                          "with a letter or a digit.")
    endif()
  endforeach()
endfunction()

# Run as a script (cmake -DVALUE=... -DLIMIT=... -P host_names.cmake), the
# file checks one value: the test of the check uses this.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  quorvane_check_host_name(HOST "${VALUE}" "${LIMIT}")
endif()
