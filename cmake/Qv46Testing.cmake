# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# qv46_add_gtest(<name> LABEL <label> SOURCES <src...> [LIBS <lib...>] [ENV <VAR=value...>])
# Builds a GoogleTest program and registers each of its tests with CTest,
# labelled with the module it belongs to (or e2e).
find_package(GTest REQUIRED)
include(GoogleTest)

function(qv46_add_gtest name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_LABEL)
    message(FATAL_ERROR "qv46_add_gtest(${name}): LABEL is required")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # ENV reaches the tests through env(1) as their launcher: as a property
  # value, gtest_discover_tests would keep only the first of several entries.
  if(T_ENV)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR /usr/bin/env ${T_ENV})
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${T_LABEL}."
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT})
endfunction()
