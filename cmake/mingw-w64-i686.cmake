# Windows 32-bit with mingw-w64 (Debian g++-mingw-w64-i686). The test executables run under
# 32-bit Wine (wine32:i386, in a 32-bit prefix): CTest starts them through
# CMAKE_CROSSCOMPILING_EMULATOR, the 32-bit loader, whether or not it is installed yet.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VESKER_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

set(VESKER_WINE /usr/lib/wine/wine CACHE FILEPATH "The 32-bit Wine loader that runs the tests")
set(CMAKE_CROSSCOMPILING_EMULATOR ${VESKER_WINE})
