# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake: 32-bit ARM with hardware floating point.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QV46_TRIPLET arm-linux-gnueabihf)
set(QV46_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/Qv46DebianCross.cmake)
