# Builds the Debian packages of this build, checks them with lintian when
# it is there, unpacks them into a scratch root (as dpkg would lay them out)
# and runs the tools from there: the packages must be complete, the library
# where the packages put it, in the multiarch directory (LIBDIR), and the
# tools carrying no run path, as on a real system.
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
if(LINTIAN)
  execute_process(COMMAND ${LINTIAN} --fail-on error --no-tag-display-limit
                  ${debs} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  message(STATUS "lintian:\n${out}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lintian found errors (${rc})")
  endif()
endif()
foreach(deb IN LISTS debs)
  step(${DPKG_DEB} -x ${deb} ${root})
endforeach()

foreach(file usr/share/man/man1/q7k.1.gz usr/share/man/man1/q7k-emulator.1.gz
    usr/share/q7kcomm/wireshark/q7k.lua
    usr/include/q7kcomm/q7kcomm.h usr/${LIBDIR}/libq7kcomm.so.1)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "${file} is in no package")
  endif()
endforeach()
file(GLOB_RECURSE dev_files ${root}/*/q7kcomm.pc ${root}/*/q7kcommConfig.cmake)
list(LENGTH dev_files found)
if(NOT found EQUAL 2)
  message(FATAL_ERROR "q7kcomm.pc or the CMake package is missing: ${dev_files}")
endif()

file(GLOB modules ${root}/usr/lib/python3/dist-packages/q7kcomm/*.so)
foreach(binary ${root}/usr/bin/q7k ${root}/usr/bin/q7k-emulator ${modules})
  execute_process(COMMAND ${READELF} -d ${binary}
                  OUTPUT_VARIABLE out COMMAND_ERROR_IS_FATAL ANY)
  if(out MATCHES "R(UN)?PATH")
    message(FATAL_ERROR "packaged ${binary} has a run path:\n${out}")
  endif()
endforeach()

# The scratch root stands in for the system's library directory.
set(ENV{LD_LIBRARY_PATH} ${root}/usr/${LIBDIR})
execute_process(COMMAND ${root}/usr/bin/q7k version RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "1.00.15\n")
  message(FATAL_ERROR "packaged q7k version: ${rc} ${out}${err}")
endif()
step(${root}/usr/bin/q7k-emulator --help)

# The Python module, when the build has one, imports from the packages alone.
if(debs MATCHES "/python3-q7kcomm_")
  set(ENV{PYTHONPATH} ${root}/usr/lib/python3/dist-packages)
  step(${PYTHON} -c "import q7kcomm")
endif()
