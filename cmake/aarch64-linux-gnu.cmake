# Cross build for 64-bit Arm with Debian's g++-aarch64-linux-gnu; the tests
# run under qemu-user (qemu-user-static).
#
#   cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
#         -DROUTER_ARM64_SYSROOT=<dir>
#
# -DROUTER_ARM64_STATIC=ON links every executable statically (give it a tree
# without json-c's .so, so that its .a is found): the test build does so, so that a program started with a cleaned
# environment (no QEMU_LD_PREFIX) still runs under qemu.
#
# ROUTER_ARM64_SYSROOT holds the arm64 libraries the suite needs beyond the
# cross libc (json-c and GoogleTest), unpacked from Debian's arm64 packages
# (scripts/test-extra does this without touching the system's dpkg setup).
# The cross libc in /usr/aarch64-linux-gnu is the one the binaries load under
# qemu, so a foreign-architecture libc6 never mixes in.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(ROUTER_CROSS_LIBC /usr/aarch64-linux-gnu)
if(NOT ROUTER_ARM64_SYSROOT AND DEFINED ENV{ROUTER_ARM64_SYSROOT})
  set(ROUTER_ARM64_SYSROOT "$ENV{ROUTER_ARM64_SYSROOT}")
endif()
# try_compile projects read this file again: hand the setting on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ROUTER_ARM64_SYSROOT ROUTER_ARM64_STATIC)

# qemu's -L makes the cross libc's loader and libraries those of the guest.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64-static -L ${ROUTER_CROSS_LIBC})

set(CMAKE_FIND_ROOT_PATH ${ROUTER_ARM64_SYSROOT} ${ROUTER_CROSS_LIBC})
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config (json-c) looks only at the arm64 tree.
if(ROUTER_ARM64_SYSROOT)
  set(ENV{PKG_CONFIG_LIBDIR}
      "${ROUTER_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:${ROUTER_ARM64_SYSROOT}/usr/share/pkgconfig")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "${ROUTER_ARM64_SYSROOT}")
  unset(ENV{PKG_CONFIG_PATH})
endif()

if(ROUTER_ARM64_STATIC)
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()
