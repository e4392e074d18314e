# Read by cpack for each generator: the zip adds README.txt.
if(CPACK_GENERATOR STREQUAL "ZIP")
  list(APPEND CPACK_INSTALLED_DIRECTORIES "${CPACK_ZIP_EXTRAS};.")
endif()
