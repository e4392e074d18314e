# Installs the built package into a scratch prefix, runs the installed tools
# and imports the Python module from there without LD_LIBRARY_PATH, then
# configures, builds and runs a separate project against it with
# find_package and pkg-config.
set(prefix ${BINARY_DIR}/install_consumer/prefix)
set(build ${BINARY_DIR}/install_consumer/build)
file(REMOVE_RECURSE ${BINARY_DIR}/install_consumer)

function(step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}")
  endif()
endfunction()

step(${CMAKE_COMMAND} --install ${BINARY_DIR} --prefix ${prefix})

if(TOOLS)
  unset(ENV{LD_LIBRARY_PATH})
  execute_process(COMMAND ${prefix}/bin/q7k version RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "1.00.15\n")
    message(FATAL_ERROR "installed q7k version: ${rc} ${out}${err}")
  endif()
  step(${prefix}/bin/q7k-emulator --help)
  if(PYTHON)
    set(ENV{PYTHONPATH} ${prefix}/${PYTHON_DIR})
    step(${PYTHON} -c "import q7kcomm")
  endif()
endif()
step(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${build} -G Ninja
     -DCMAKE_PREFIX_PATH=${prefix})
step(${CMAKE_COMMAND} --build ${build})
set(ENV{LD_LIBRARY_PATH} "${prefix}/${LIBDIR}:$ENV{LD_LIBRARY_PATH}")
step(${build}/consumer)

find_program(PKG_CONFIG pkg-config REQUIRED)
file(GLOB pc_dirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "${pc_dirs}")
step(${PKG_CONFIG} --exists q7kcomm)
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs q7kcomm
                OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(flags)
# A C++20 host: the package's flags must not take it back to C++17.
step(c++ -std=c++20 -DHOST_STANDARD=202002L ${CONSUMER_DIR}/main.cc ${flags}
     -o ${build}/consumer_pc)
step(${build}/consumer_pc)
