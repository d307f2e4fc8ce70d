# Windows x86-64 with mingw-w64 (Debian g++-mingw-w64-x86-64). The test executables run
# under Wine: CTest starts them through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VESKER_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# wine64 runs 64-bit programs without the 32-bit half of Wine installed.
find_program(VESKER_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT VESKER_WINE)
  find_program(VESKER_WINE NAMES wine64 wine)
endif()
if(VESKER_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VESKER_WINE})
endif()
