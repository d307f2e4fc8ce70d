# Shared part of the mingw-w64 toolchain files; VESKER_MINGW_TRIPLE names the target.
# The posix thread model gives the whole C++ library (std::thread, std::mutex); with -static
# its winpthread runtime is linked in, so no extra DLL ships.
foreach(flavour -posix -win32 "")
  if(NOT CMAKE_CXX_COMPILER AND EXISTS /usr/bin/${VESKER_MINGW_TRIPLE}-g++${flavour})
    set(CMAKE_C_COMPILER /usr/bin/${VESKER_MINGW_TRIPLE}-gcc${flavour})
    set(CMAKE_CXX_COMPILER /usr/bin/${VESKER_MINGW_TRIPLE}-g++${flavour})
  endif()
endforeach()
set(CMAKE_RC_COMPILER ${VESKER_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VESKER_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
