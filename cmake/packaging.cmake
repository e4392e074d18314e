# Debian packages from the same build: `cpack` in the build directory writes
# libq7kcomm1 (the shared library), libq7kcomm-dev (headers, CMake package,
# q7kcomm.pc), q7k-tools (q7k, q7k-emulator, their manual pages and the
# packet tools' dissector for recordings) and,
# when the build has the Python module, python3-q7kcomm. Each carries its
# copyright and changelog; tests/packages/run.cmake runs lintian over them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME q7kcomm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(Q7K_DEB_VERSION ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
# Each package's description is its component's: first line the synopsis.
# A package-wide summary would be put before every one of them.
# No public address yet: a reserved domain that can never reach anyone.
set(CPACK_PACKAGE_CONTACT "q7kcomm developers <q7kcomm@q7kcomm.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The install runs with CMAKE_INSTALL_PREFIX /usr (into a staging DESTDIR),
# so the tools' install step sees that the library is in the system's own
# search path and drops their run path.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(Q7K_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# Library dependencies are read from the binaries when the tools for that
# are installed (dpkg-dev and file, see scripts/install-deps).
find_program(Q7K_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(Q7K_FILE file)
if(Q7K_DPKG_SHLIBDEPS AND Q7K_FILE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The tools need our own library, which is in the build tree, not yet
  # installed; the package dependency on it is declared below.
  get_target_property(q7k_lib_dir q7kcomm LIBRARY_OUTPUT_DIRECTORY)
  if(NOT q7k_lib_dir)
    get_target_property(q7k_lib_dir q7kcomm BINARY_DIR)
  endif()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${q7k_lib_dir})
endif()

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libq7kcomm1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION
  "Q7300 insulation test set communications library
The q7kcomm library drives the Q7300 insulation test set over a serial line
or a network port: instrument tests and their results, firmware updates,
the flash directory, board EEPROMs and calibration records.")
# A shlibs file, so packages linking the library depend on this package,
# and the dynamic linker's cache refreshed by trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/cmake/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libq7kcomm-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Q7300 insulation test set communications library (development files)
Headers, the CMake package and the pkg-config file for building programs
against the q7kcomm library, which drives the Q7300 insulation test set.")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME q7k-tools)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "command-line tool and virtual instrument for the Q7300 test set
q7k is the technician's tool for the Q7300 insulation test set: tests,
firmware updates, flash, board EEPROMs and calibration. q7k-emulator is a
virtual Q7300 on a pseudo-terminal, serial device or network port, for
trying hosts and scripts without the instrument. A Lua dissector shows
recorded sessions in packet tools as named commands.")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

# The Python module, when the build has one: it is ABI-bound to the
# interpreter version it was built for.
get_cmake_property(q7k_install_components COMPONENTS)
if(python IN_LIST q7k_install_components)
  list(APPEND CPACK_COMPONENTS_ALL python)
  if(Python3_EXECUTABLE)
    set(q7k_python ${Python3_EXECUTABLE})
  else()
    set(q7k_python /usr/bin/python3)
  endif()
  execute_process(COMMAND ${q7k_python} -c
      "import sys; print('%d.%d %d.%d' % (sys.version_info[:2] + (sys.version_info[0], sys.version_info[1] + 1)))"
    OUTPUT_VARIABLE q7k_python_range OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(q7k_python_range)
  list(GET q7k_python_range 0 q7k_python_lowest)
  list(GET q7k_python_range 1 q7k_python_next)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-q7kcomm)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${q7k_python_lowest}), python3 (<< ${q7k_python_next})")
  set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "Python 3 module for the Q7300 insulation test set
The q7kcomm module drives the Q7300 insulation test set from Python: the
component's interfaces one to one, and a Pythonic layer for test scripts
and lab automation, with errors raised as exceptions.")
  set(CPACK_COMPONENT_PYTHON_DEPENDS runtime)
endif()

# Debian's copyright and changelog for every package: installed by the
# packages only (component installs), not by a plain `cmake --install`.
find_program(Q7K_GZIP gzip REQUIRED)
string(TIMESTAMP Q7K_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(q7k_debian_dir ${PROJECT_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in
  ${q7k_debian_dir}/changelog.Debian @ONLY)
execute_process(COMMAND ${Q7K_GZIP} -9nf ${q7k_debian_dir}/changelog.Debian
  COMMAND_ERROR_IS_FATAL ANY)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
                ${q7k_debian_dir}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

include(CPack)
