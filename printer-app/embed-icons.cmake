# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# cmake -DOUTPUT=IconData.cpp -DICONS=small.png,medium.png,large.png -P embed-icons.cmake
# Writes the three PNG files as the byte arrays kPrinterIcons (Icons.h).
string(REPLACE "," ";" ICONS "${ICONS}")
set(text "// Generated from the printer's icons by embed-icons.cmake.\n")
string(APPEND text "#include \"printer-app/Icons.h\"\n\nnamespace {\n")
set(index 0)
foreach(icon IN LISTS ICONS)
  file(READ ${icon} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
         bytes "${bytes}")
  string(APPEND text "const unsigned char kIcon${index}[] = {\n${bytes}};\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND text "}  // namespace\n\nconst PrinterIcon kPrinterIcons[3] = {\n")
foreach(i 0 1 2)
  string(APPEND text "    {kIcon${i}, sizeof kIcon${i}},\n")
endforeach()
string(APPEND text "};\n")
file(WRITE ${OUTPUT} "${text}")
