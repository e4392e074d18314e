# Builds the Debian packages of this build, unpacks them into a scratch root
# (as dpkg would lay them out) and runs the tools from there, with no
# LD_LIBRARY_PATH: the packages must be complete and the programs must find
# their library where the packages put it.
set(work ${BINARY_DIR}/packages_test)
set(root ${work}/root)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${root})

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
  endif()
endfunction()

step(${CMAKE_COMMAND} -E chdir ${BINARY_DIR}
     cpack -G DEB --config ${BINARY_DIR}/CPackConfig.cmake -B ${work})
file(GLOB debs ${work}/*.deb)
foreach(name libq7kcomm1 libq7kcomm-dev q7k-tools)
  if(NOT debs MATCHES "/${name}_")
    message(FATAL_ERROR "no ${name} package among: ${debs}")
  endif()
endforeach()
foreach(deb IN LISTS debs)
  step(${DPKG_DEB} -x ${deb} ${root})
endforeach()

foreach(file usr/share/man/man1/q7k.1 usr/include/q7kcomm/q7kcomm.h)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "${file} is in no package")
  endif()
endforeach()
file(GLOB_RECURSE dev_files ${root}/*/q7kcomm.pc ${root}/*/q7kcommConfig.cmake)
list(LENGTH dev_files found)
if(NOT found EQUAL 2)
  message(FATAL_ERROR "q7kcomm.pc or the CMake package is missing: ${dev_files}")
endif()

unset(ENV{LD_LIBRARY_PATH})
execute_process(COMMAND ${root}/usr/bin/q7k version RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "1.00.15\n")
  message(FATAL_ERROR "packaged q7k version: ${rc} ${out}${err}")
endif()
step(${root}/usr/bin/q7k-emulator --help)
