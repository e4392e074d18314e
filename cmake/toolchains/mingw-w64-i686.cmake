# Cross build for Windows (i686) with mingw-w64.
set(Q7K_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
