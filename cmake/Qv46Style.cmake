# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# The style checks run with every other test (label "style"): the layout the
# .clang-format files ask for, and cppcheck without findings. Both read the
# source tree, so they need no build products.
find_program(QV46_CLANG_FORMAT clang-format REQUIRED)
find_program(QV46_CPPCHECK cppcheck REQUIRED)
foreach(check format cppcheck)
  add_test(NAME style.${check}
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-style ${check} ${PROJECT_SOURCE_DIR})
  set_tests_properties(style.${check} PROPERTIES LABELS style TIMEOUT 300)
endforeach()
