# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# Runs after a Qt Test program is built: asks it for its test functions
# (-functions) and writes them as the list FUNCTIONS into TEST_FILE, which
# the program's CTest include file turns into one test per function.
set(ENV{QT_QPA_PLATFORM} offscreen)
# Listing is not a test run; a sanitizer build must not fail it on leaks.
set(ENV{ASAN_OPTIONS} detect_leaks=0:verify_asan_link_order=0)
execute_process(COMMAND ${TEST_PROGRAM} -functions
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${TEST_PROGRAM} -functions failed (${result}):\n${listing}")
endif()
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*\\(\\)" calls "${listing}")
string(REPLACE "()" "" functions "${calls}")
if(NOT functions)
  message(FATAL_ERROR "${TEST_PROGRAM} -functions listed no test function")
endif()
file(WRITE ${TEST_FILE} "set(FUNCTIONS ${functions})\n")
