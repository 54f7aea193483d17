# Cross-building the 32-bit Windows program on Debian with mingw-w64 (posix threads, so that
# std::thread and std::mutex exist). Everything is linked statically: the program then imports
# only Windows' own DLLs.
#
# VANNOR_WIN_DEPS names the folder that scripts/build-wx-msw.sh fills with the static libpng,
# wxMSW and GoogleTest (pass it with -D or in the environment); libraries and headers are then
# looked up there and in mingw's own sysroot only, never in the Linux system's folders.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(VANNOR_WIN_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${VANNOR_WIN_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANNOR_WIN_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VANNOR_WIN_TRIPLET}-windres)
set(CMAKE_AR ${VANNOR_WIN_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${VANNOR_WIN_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# try_compile() reads this file again in a project of its own: the environment carries the folder
# there.
if(VANNOR_WIN_DEPS)
  set(ENV{VANNOR_WIN_DEPS} "${VANNOR_WIN_DEPS}")
else()
  set(VANNOR_WIN_DEPS "$ENV{VANNOR_WIN_DEPS}")
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${VANNOR_WIN_TRIPLET})
if(VANNOR_WIN_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${VANNOR_WIN_DEPS}")
  list(APPEND CMAKE_PREFIX_PATH "${VANNOR_WIN_DEPS}")
  # FindwxWidgets asks wx-config when cross-compiling; the one the cache installed knows the
  # static MSW build.
  if(EXISTS "${VANNOR_WIN_DEPS}/bin/wx-config")
    set(wxWidgets_CONFIG_EXECUTABLE "${VANNOR_WIN_DEPS}/bin/wx-config" CACHE FILEPATH "")
  endif()
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLLs beside the program. Unused sections are dropped: the
# static wx then adds only what the program reaches.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--gc-sections")
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")

# Test programs run under Wine on this machine.
find_program(VANNOR_WINE wine)
if(VANNOR_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANNOR_WINE})
endif()
