# Cross build for Windows (x86_64) with mingw-w64.
set(Q7K_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
