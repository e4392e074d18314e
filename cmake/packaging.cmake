# Debian packages from the same build: `cpack` in the build directory writes
# libq7kcomm1 (the shared library), libq7kcomm-dev (headers, CMake package,
# q7kcomm.pc) and q7k-tools (q7k, q7k-emulator, q7k(1)).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME q7kcomm)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Communications component of the Q7300 insulation test set")
set(CPACK_PACKAGE_CONTACT "q7kcomm developers <q7kcomm@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
if(Q7K_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
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
  "Q7300 communications component: shared library")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libq7kcomm-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "Q7300 communications component: headers, CMake package and pkg-config file")
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME q7k-tools)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "q7k, the technician's command-line tool, and q7k-emulator, a virtual Q7300")
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

include(CPack)
