# Cross compilation for 64-bit Windows with Debian's MinGW-w64 (the posix
# threads flavour, which gives std::thread and std::mutex). Programs link the
# C and C++ runtimes statically, so nothing but system DLLs sits beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SLV2_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SLV2_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SLV2_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SLV2_MINGW_TRIPLET}-windres)

# Libraries built by scripts/windows-deps (PCRE, GoogleTest) come first, then
# the cross packages of the distribution (zlib).
if(NOT SLV2_MINGW_DEPS)
  set(SLV2_MINGW_DEPS ${CMAKE_CURRENT_LIST_DIR}/../build/deps/mingw/prefix)
endif()
get_filename_component(SLV2_MINGW_DEPS ${SLV2_MINGW_DEPS} ABSOLUTE)
set(CMAKE_FIND_ROOT_PATH ${SLV2_MINGW_DEPS} /usr/${SLV2_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} "${SLV2_MINGW_DEPS}/lib/pkgconfig:/usr/${SLV2_MINGW_TRIPLET}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine when they are listed (gtest discovery) or run
# from the build host.
find_program(SLV2_WINE NAMES wine wine64)
if(SLV2_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SLV2_WINE})
endif()
