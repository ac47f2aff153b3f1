# Cross-build for 64-bit Windows with Debian's mingw-w64 toolchain
# (g++-mingw-w64-x86-64, binutils-mingw-w64-x86-64). The third-party
# libraries come from the prefix that scripts/build-windows-deps.sh fills.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PI_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PI_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${PI_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${PI_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${PI_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${PI_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")

# The toolchain file is read before the project's variables exist, so the
# prefix is found relative to this file.
get_filename_component(PI_WINDOWS_DEPS "${CMAKE_CURRENT_LIST_DIR}/../.deps/windows" ABSOLUTE)
if(NOT EXISTS "${PI_WINDOWS_DEPS}/lib/pkgconfig/minizip.pc")
  message(FATAL_ERROR "No Windows libraries in ${PI_WINDOWS_DEPS}: "
                      "run scripts/build-windows-deps.sh first")
endif()

# Headers and libraries only from the mingw sysroot and our prefix; programs
# (pkg-config, windres) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PI_MINGW_TRIPLET} ${PI_WINDOWS_DEPS})
set(CMAKE_PREFIX_PATH ${PI_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must see only the prefix's .pc files, never the build
# machine's, whose flags name Linux libraries.
set(ENV{PKG_CONFIG_LIBDIR} "${PI_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
set(PKG_CONFIG_USE_CMAKE_PREFIX_PATH OFF)

# Static archives only: the installer is one self-contained executable.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# The shipped executables carry no symbols: they would more than double the
# stub, and nobody debugs an end user's copy.
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
