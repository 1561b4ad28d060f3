# quorvane_program_build(TARGET BINARY_DIR TOOLCHAIN ARCHIVE_HOST WEB_HOST):
# quorvane.exe built once more, apart, with another toolchain or other host
# names compiled in; it is left at BINARY_DIR/quorvane.exe. The sub-build
# leaves out what only the main build needs (the system test, the package).
include(ExternalProject)
function(quorvane_program_build target binary_dir toolchain archive_host web_host)
  if(CMAKE_GENERATOR MATCHES "Make")
    set(build_command "$(MAKE)" quorvane)  # shares the parent's jobs
  else()
    set(build_command ${CMAKE_COMMAND} --build ${binary_dir} --target quorvane)
  endif()
  ExternalProject_Add(${target}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${binary_dir}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${toolchain}
               -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
               -DARCHIVE_HOST=${archive_host} -DWEB_HOST=${web_host}
               -DQUORVANE_SYSTEM_SUBBUILD=ON
    BUILD_COMMAND ${build_command}
    BUILD_ALWAYS ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${binary_dir}/quorvane.exe)
endfunction()
