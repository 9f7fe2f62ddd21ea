# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 toolchain (g++-mingw-w64-x86-64-posix).
#
# The posix flavour of the compilers is named outright: Qt needs std::thread and friends, which the win32
# flavour lacks. Libraries, headers and CMake packages are looked up only in the MinGW sysroot and in the
# prefix the Windows dependencies were built into (LECTERN_WINDOWS_PREFIX, from the environment so that
# try_compile projects see it too), never on the host; programs still come from the host.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(LECTERN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${LECTERN_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LECTERN_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LECTERN_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${LECTERN_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${LECTERN_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${LECTERN_MINGW_TRIPLET})
# A configuration run again without the variable keeps the prefix it was first given (Lectern caches it).
if(DEFINED ENV{LECTERN_WINDOWS_PREFIX})
    set(LECTERN_WINDOWS_PREFIX "$ENV{LECTERN_WINDOWS_PREFIX}")
endif()
if(LECTERN_WINDOWS_PREFIX)
    list(APPEND CMAKE_FIND_ROOT_PATH "${LECTERN_WINDOWS_PREFIX}")
    list(APPEND CMAKE_PREFIX_PATH "${LECTERN_WINDOWS_PREFIX}")
    # Only the prefix's pkg-config files: the host's would hand Linux libraries to the Windows build.
    set(ENV{PKG_CONFIG_LIBDIR} "${LECTERN_WINDOWS_PREFIX}/lib/pkgconfig")
    unset(ENV{PKG_CONFIG_PATH})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
