# The same sources as 64-bit Windows executables. Used to run the tests on machines whose kernel
# cannot execute 32-bit x86 code (there Wine can only run 64-bit programs).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
