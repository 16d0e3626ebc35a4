# Cross build for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu and the :arm64
# development packages (multiarch: libraries in /usr/lib/aarch64-linux-gnu).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(PKG_CONFIG_EXECUTABLE aarch64-linux-gnu-pkg-config CACHE FILEPATH "pkg-config for the arm64 packages")

# Only the target's libraries and headers, never the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The tests run under user-mode qemu. The arm64 C library that the :arm64 packages bring
# (libc6:arm64, in /lib/aarch64-linux-gnu) is the one their libraries were built against, so
# the emulator loads programs with it rather than with the cross compiler's copy.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
