# Windows 32-bit with mingw-w64 (Debian g++-mingw-w64-i686). Built and layout-checked only:
# the record layout asserts are compile-time, and no 32-bit Wine is needed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VESKER_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
