# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# The Qt the monitor and its tools build on: QV46_QT=5 (the default) or 6.
# Users write find_package(Qt${QV46_QT} ...) and Qt${QV46_QT}::<module>.
include_guard(GLOBAL)
set(QV46_QT 5 CACHE STRING "Qt major version for the status monitor and its tools: 5 or 6")
set_property(CACHE QV46_QT PROPERTY STRINGS 5 6)
if(NOT QV46_QT MATCHES "^[56]$")
  message(FATAL_ERROR "QV46_QT must be 5 or 6, not '${QV46_QT}'")
endif()
