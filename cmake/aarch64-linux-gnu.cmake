# SPDX-License-Identifier: GPL-2.0-or-later
# Cross build for 64-bit Arm with Debian's aarch64-linux-gnu toolchain against
# the multiarch arm64 development packages (GLFW, GL, X11) installed beside
# the native ones. The result runs under qemu-aarch64 with -L /, where the
# arm64 libraries and their dynamic loader live.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)

# Libraries only from the arm64 multiarch directory; headers are shared.
set(CMAKE_FIND_ROOT_PATH /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/aarch64-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# The multiarch libraries name their own dependencies (libX11 and the rest),
# which the linker must find in the same directory.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,/usr/lib/aarch64-linux-gnu")

# Test and install checks run the Arm binaries through qemu.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /)
