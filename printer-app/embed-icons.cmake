# SPDX-License-Identifier: Apache-2.0
# SPDX-FileCopyrightText: 2026 VALDREN
# cmake -DOUTPUT=IconData.cpp -DICONS=small.png,medium.png,large.png
#       -DPICTURES=PrtStsIdle.png,... -P embed-icons.cmake
# Writes the three icons as kPrinterIcons and the state pictures, named by
# their file names without extension, as kStatePictures (Icons.h).
string(REPLACE "," ";" ICONS "${ICONS}")
string(REPLACE "," ";" PICTURES "${PICTURES}")
set(text "// Generated from the printer's icons by embed-icons.cmake.\n")
string(APPEND text "#include \"printer-app/Icons.h\"\n\nnamespace {\n")
set(index 0)
foreach(file IN LISTS ICONS PICTURES)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
         bytes "${bytes}")
  string(APPEND text "const unsigned char kFile${index}[] = {\n${bytes}};\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND text "}  // namespace\n\nconst PrinterIcon kPrinterIcons[3] = {\n")
foreach(i 0 1 2)
  string(APPEND text "    {kFile${i}, sizeof kFile${i}},\n")
endforeach()
list(LENGTH PICTURES count)
string(APPEND text "};\n\nconst StatePicture kStatePictures[${count}] = {\n")
set(index 3)
foreach(file IN LISTS PICTURES)
  get_filename_component(name ${file} NAME_WE)
  string(APPEND text "    {\"${name}\", {kFile${index}, sizeof kFile${index}}},\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND text "};\n")
file(WRITE ${OUTPUT} "${text}")
