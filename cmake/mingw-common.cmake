# Shared by the MinGW-w64 toolchain files, which set _mingw (the target
# triplet) and _wine (the Wine loader that runs the target's programs).
set(CMAKE_SYSTEM_NAME Windows)

# The -posix compilers: GoogleTest needs std::mutex, which the default
# win32 thread model of GCC 12 lacks.
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

# Headers, libraries and packages from the MinGW sysroot only, never /usr.
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# A self-contained .exe that imports system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the target's programs under Wine.
set(ORVELUNE_WINE ${_wine})
set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${_wine})
