# Cross build for 64-bit Windows with MinGW-w64 (Debian's
# g++-mingw-w64-x86-64-posix: the POSIX thread model, which std::thread
# needs). Used by scripts/build-windows.sh:
#   cmake -S . -B out/build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEMBRA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZEMBRA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEMBRA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEMBRA_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ZEMBRA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every binary carries its own C++ runtime and thread library, so that the
# DLLs load into a host (Unity, Wine) without MinGW's runtime DLLs beside
# them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Debian has no MinGW build of Boost, JsonCpp or GoogleTest; the header-only
# parts of the host's Boost, the bundled JsonCpp and GoogleTest's sources
# serve instead. Only the boost/ folder is put on the include path, never
# the rest of the host's headers.
set(ZEMBRA_BOOST_HEADERS /usr/include/boost CACHE PATH "The boost/ header folder of a header-only Boost")
set(ZEMBRA_GTEST_SOURCES /usr/src/googletest CACHE PATH "GoogleTest sources to build the tests with")

# ctest runs the Windows programs under Wine.
find_program(ZEMBRA_WINE NAMES wine wine64)
if(ZEMBRA_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZEMBRA_WINE})
endif()
