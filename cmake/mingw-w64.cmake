# Cross-builds palindrome.exe for 64-bit Windows with Debian's MinGW-w64
# (g++-mingw-w64-x86-64-posix) and runs what CTest starts under wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Without address randomization: Debian's 64-bit wine has no preloader to
# hold its fixed addresses, so about one start in 3000 fails with "failed
# to map the shared user data" where a library happened to land there.
set(CMAKE_CROSSCOMPILING_EMULATOR setarch -R wine)
