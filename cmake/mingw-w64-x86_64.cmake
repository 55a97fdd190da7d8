# 64-bit Windows (x86-64).
set(QUILLBOX_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
