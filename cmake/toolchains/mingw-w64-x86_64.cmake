# Cross-compiling for Windows x64 with Debian's MinGW-w64 (the POSIX-thread
# flavour, whose libstdc++ has std::thread and std::mutex).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QVZ_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QVZ_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVZ_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QVZ_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QVZ_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# CTest (and anything else that runs a built program) goes through Wine.
find_program(QVZ_WINE_PROGRAM NAMES wine wine64)
if(QVZ_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QVZ_WINE_PROGRAM})
endif()

# The GCC runtime (libgcc, libstdc++, winpthread) goes into every binary, so
# that nothing but system DLLs must sit beside them: they run under Wine and
# on a clean Windows alike. -static makes the linker take libwinpthread.a
# rather than its DLL; the system libraries (ws2_32, kernel32) are import
# libraries either way.
set(QVZ_MINGW_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${QVZ_MINGW_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${QVZ_MINGW_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${QVZ_MINGW_STATIC_RUNTIME}")
