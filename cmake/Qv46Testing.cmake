# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# qv46_add_gtest(<name> LABEL <label> SOURCES <src...> [LIBS <lib...>] [ENV <VAR=value...>]
#                [TIMEOUT <s>] [COST <n>])
# Builds a GoogleTest program and registers each of its tests with CTest,
# labelled with the module it belongs to (or e2e). COST makes a parallel
# ctest start all the program's tests first, whatever their times; a long
# test of a program with short ones goes into tests/test-costs.txt instead.
find_package(GTest REQUIRED)
include(GoogleTest)

# Every test program with what it runs, for a tree built only to run its
# tests (make test-asan): no benchmarks, demos or tools that no test runs.
add_custom_target(test-programs)

# A parallel ctest starts the tests it expects to take longest first, from
# the times of its earlier runs. A fresh tree has none: it starts from what
# the long tests took (tests/test-costs.txt: ctest's own lines of name, runs
# and seconds, after comment lines), so that no long test is left to run
# alone at the end. ctest keeps the file up to date from then on.
set(QV46_COST_DATA ${CMAKE_BINARY_DIR}/Testing/Temporary/CTestCostData.txt)
if(NOT EXISTS ${QV46_COST_DATA})
  file(STRINGS ${PROJECT_SOURCE_DIR}/tests/test-costs.txt QV46_COSTS REGEX "^[^#]")
  list(JOIN QV46_COSTS "\n" QV46_COSTS)
  file(WRITE ${QV46_COST_DATA} "${QV46_COSTS}\n")
endif()

function(qv46_add_gtest name)
  cmake_parse_arguments(T "" "LABEL;TIMEOUT;COST" "SOURCES;LIBS;ENV" ${ARGN})
  if(NOT T_LABEL)
    message(FATAL_ERROR "qv46_add_gtest(${name}): LABEL is required")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  if(NOT T_COST)
    set(T_COST 0)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  add_dependencies(test-programs ${name})
  # Tests that start programs of this build start them through it: empty
  # natively, qemu-user in a cross build (cmake/toolchain-<arch>.cmake).
  target_compile_definitions(${name} PRIVATE QV46_TARGET_LAUNCHER="${CMAKE_CROSSCOMPILING_EMULATOR}")
  # ENV reaches the tests through env(1) as their launcher: as a property
  # value, gtest_discover_tests would keep only the first of several entries.
  if(T_ENV)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR /usr/bin/env ${T_ENV})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under qemu-user each start costs more than most tests take, so a cross
    # build runs each program once, as one CTest test.
    add_test(NAME ${T_LABEL}.${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${T_LABEL}.${name} PROPERTIES LABELS ${T_LABEL} TIMEOUT 1200)
    return()
  endif()
  gtest_discover_tests(${name}
    TEST_PREFIX "${T_LABEL}."
    NO_PRETTY_VALUES
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS ${T_LABEL} TIMEOUT ${T_TIMEOUT} COST ${T_COST})
endfunction()
