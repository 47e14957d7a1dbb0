# The shipped 32-bit programs, and the tests where the host runs 32-bit code.
set(VELRA_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
