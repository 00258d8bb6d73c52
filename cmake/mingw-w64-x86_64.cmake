# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler (POSIX
# thread model: g++-mingw-w64-x86-64-posix), tests run under Wine.
#
#   cmake -S . -B build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# scripts/ci-windows.sh is the one user; it says how the build is tested.
#
# Dependencies on the target:
# - GoogleTest: built from Debian's source package (googletest, under
#   /usr/src/googletest) as part of this build: tests/CMakeLists.txt adds that
#   folder when KORVANE_GTEST_SOURCE_DIR is set and no GTest package is found.
# - Imath: Debian ships its headers and a Linux library only. The one type we
#   use, `half`, is complete in its headers: the conversion to float without
#   the library's lookup table (IMATH_HALF_NO_LOOKUP_TABLE, a bit-exact
#   computed conversion), the conversion from float always computed. The top
#   CMakeLists.txt therefore makes an interface target Imath::Imath from the
#   headers (KORVANE_HEADER_ONLY_DIRS, copied into the build as
#   <build>/imath-headers/Imath/, so that <Imath/half.h> resolves without
#   putting the Linux /usr/include on the Windows include path) with
#   IMATH_HALF_NO_LOOKUP_TABLE defined, and links no library.
# - OpenMP: the compiler's own libgomp.
# - Runtime libraries: everything is linked statically (libgcc, libstdc++,
#   winpthread, libgomp), see KORVANE_STATIC_RUNTIME below.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KORVANE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KORVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KORVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_PREFIX}-windres)

# Look for libraries and headers in the MinGW sysroot only, for programs on
# the build machine only.
set(CMAKE_FIND_ROOT_PATH /usr/${KORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Header-only Imath, fast_float and stb from the build machine's Debian
# packages, GoogleTest from source (see above).
set(KORVANE_HEADER_ONLY_DIRS /usr/include/Imath /usr/include/fast_float /usr/include/stb
    CACHE STRING "Header-only dependencies copied into the build for Windows")
set(KORVANE_IMATH_HEADER_ONLY ON CACHE BOOL "Imath half from its headers, no library")
set(KORVANE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree built for Windows")

# Static runtime: test programs, korvane.exe, the stand-in host's DLL and the
# plug-in need none of MinGW's DLLs (libstdc++-6, libgcc_s_seh-1,
# libwinpthread-1, libgomp-1) beside them or on a search path, under Wine and
# on a Windows machine alike. The modules share the C run time (msvcrt.dll),
# so memory allocated in one and freed in another stays sound.
set(KORVANE_STATIC_RUNTIME ON CACHE BOOL "Link libgcc, libstdc++, winpthread and libgomp statically")

# Tests run through Wine (scripts/korvane-wine, which sets up its prefix);
# gtest_discover_tests and CTest use it.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/korvane-wine)
endif()
