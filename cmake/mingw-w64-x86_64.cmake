# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-win32 or -posix):
#     cmake -S . -B build/mingw --toolchain cmake/mingw-w64-x86_64.cmake -DQM_WITH_QT=OFF
# Programs link the compiler's run-time statically, so that they run under Wine or on Windows
# with no mingw DLL beside them; with -DQM_MINGW_SHARED_RUNTIME=ON they use its DLLs
# (libstdc++-6.dll, libgcc_s_seh-1.dll, libwinpthread-1.dll), as a Qt built with the same
# compiler does (scripts/windows.sh), so that the programs and Qt share one run-time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QM_MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${QM_MINGW_PREFIX}-gcc-win32 ${QM_MINGW_PREFIX}-gcc-posix ${QM_MINGW_PREFIX}-gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${QM_MINGW_PREFIX}-g++-win32 ${QM_MINGW_PREFIX}-g++-posix ${QM_MINGW_PREFIX}-g++)
find_program(CMAKE_RC_COMPILER NAMES ${QM_MINGW_PREFIX}-windres)

# Libraries for Windows come from mingw-w64's folder and from the prefixes given (a Qt and a
# SQLite built for Windows), never from the host's. Each prefix's parent folder is the root: CMake
# re-roots a prefix that equals a root into a path that does not exist.
set(CMAKE_FIND_ROOT_PATH /usr/${QM_MINGW_PREFIX})
foreach(prefix IN LISTS CMAKE_PREFIX_PATH)
    get_filename_component(parent "${prefix}" DIRECTORY)
    list(APPEND CMAKE_FIND_ROOT_PATH "${parent}")
endforeach()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QM_MINGW_SHARED_RUNTIME)
if(NOT QM_MINGW_SHARED_RUNTIME)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
    set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
endif()

# Programs that a build runs (the icon drawer) run under Wine where it is installed.
find_program(QM_WINE_PROGRAM NAMES wine)
if(QM_WINE_PROGRAM)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QM_WINE_PROGRAM})
endif()
