# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# Cross build with Debian's cross compilers against the target's multiarch
# libraries (dpkg --add-architecture; libcups2-dev:<arch> and the like), so
# the system root stays "/". Included by cmake/toolchain-<arch>.cmake after
# they set QV46_TRIPLET and QV46_QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${QV46_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QV46_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${QV46_TRIPLET})

# pkg-config reads the target's .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${QV46_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
unset(ENV{PKG_CONFIG_PATH})

# Target programs (test discovery, `run`) start under qemu-user; its loader
# and libraries are the multiarch ones under /.
find_program(QV46_QEMU_PROGRAM ${QV46_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QV46_QEMU_PROGRAM})
