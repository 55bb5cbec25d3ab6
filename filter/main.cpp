// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
#include "filter/FilterDriver.h"
#include "imglib/ImgLib_Platform.h"

int main(int argc, char* argv[]) {
  IL_KeepFreedPagesInHeap();
  return RunFilter(argc, argv, SleepMilliseconds);
}
