// SPDX-License-Identifier: Apache-2.0
// SPDX-FileCopyrightText: 2026 VALDREN
// qv46-statusart OUTPUT_DIR: writes the status pictures and the icon.
#include "statusart.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    return writeStatusArt(QString::fromLocal8Bit(argv[1]));
}
