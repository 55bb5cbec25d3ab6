# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm64.cmake: 64-bit ARM (Raspberry Pi 3 and later).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QV46_TRIPLET aarch64-linux-gnu)
set(QV46_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/Qv46DebianCross.cmake)
