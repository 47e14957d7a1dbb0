# A 64-bit build of the same sources: the tests' build where the host cannot
# run 32-bit code (scripts/arch).
set(VELRA_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
