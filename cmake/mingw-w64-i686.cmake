# 32-bit Windows (i686), for 32-bit mail clients.
set(QUILLBOX_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
