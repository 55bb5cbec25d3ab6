// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/FilterDriver.h"

int main(int argc, char* argv[]) { return RunFilter(argc, argv, SleepMilliseconds); }
