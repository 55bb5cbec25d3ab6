# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# CUPS looks for backends, filters and PPDs in its own folders, not under the
# install prefix: QV46_CUPS_SERVERBIN and QV46_CUPS_DATADIR name them.
execute_process(COMMAND cups-config --serverbin OUTPUT_VARIABLE QV46_CUPS_SERVERBIN
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
execute_process(COMMAND cups-config --datadir OUTPUT_VARIABLE QV46_CUPS_DATADIR
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT QV46_CUPS_SERVERBIN)
  set(QV46_CUPS_SERVERBIN /usr/lib/cups)
endif()
if(NOT QV46_CUPS_DATADIR)
  set(QV46_CUPS_DATADIR /usr/share/cups)
endif()
