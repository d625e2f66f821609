# Cross-builds for 64-bit Windows with Debian's mingw-w64 (the posix-thread
# variant, whose libstdc++ has std::thread). Use:
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DCMAKE_FIND_ROOT_PATH=<prefix of the cross-built liblzma and GoogleTest>
# scripts/test-windows builds that prefix from Debian's sources and runs the tests under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUARNEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUARNEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUARNEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${QUARNEL_MINGW_TRIPLET}-windres)

# Libraries, headers and packages come only from the target's roots: the
# caller's prefix and the mingw-w64 system folder, never the build machine's.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${QUARNEL_MINGW_TRIPLET})
# Compiler checks read this file again; they must see the caller's roots too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CMAKE_FIND_ROOT_PATH)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config would otherwise answer with the build machine's .pc files.
set(QUARNEL_TARGET_PKG_CONFIG_DIRS)
foreach(root IN LISTS CMAKE_FIND_ROOT_PATH)
  list(APPEND QUARNEL_TARGET_PKG_CONFIG_DIRS ${root}/lib/pkgconfig)
endforeach()
string(REPLACE ";" ":" QUARNEL_TARGET_PKG_CONFIG_DIRS "${QUARNEL_TARGET_PKG_CONFIG_DIRS}")
set(ENV{PKG_CONFIG_LIBDIR} "${QUARNEL_TARGET_PKG_CONFIG_DIRS}")

# The GCC runtime, libstdc++ and winpthread are linked in, so that the
# programs need nothing beside them but libquarnel.dll and the system's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

# Tests and test discovery run the Windows programs through Wine where it is installed.
find_program(QUARNEL_WINE64 wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QUARNEL_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARNEL_WINE64})
endif()
