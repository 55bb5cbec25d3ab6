// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// --help and --version for the programs a person may start by hand.
#pragma once

// When argv[1] is "--help" or "--version", prints `usage` or the program's
// name, version and licence on standard output and returns the status to
// end with (1 when standard output failed). Returns -1 for any other
// command line.
int AnswerInfoOption(int argc, char** argv, const char* program, const char* usage);
