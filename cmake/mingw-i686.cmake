# Cross-compiles 32-bit Windows executables with MinGW-w64: the release build that users get.
# The win32 thread model: the POSIX one brings a runtime that needs Windows Vista, and nothing
# shipped uses std::thread or std::mutex. Subsystem 5.1 lets Windows XP load what it builds.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(subsystem_5_1 "-Wl,--major-subsystem-version,5,--minor-subsystem-version,1")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${subsystem_5_1}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${subsystem_5_1}")
