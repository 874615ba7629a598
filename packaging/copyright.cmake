# Writes the Debian copyright file (machine-readable format 1.0) from
# LICENSE, so that the license text is kept in one file.
#   cmake -DLICENSE=... -DOUTPUT=... -P copyright.cmake
file(READ ${LICENSE} text)
if(NOT text MATCHES "^BSD 2-Clause License\n\nCopyright \\(c\\) ([0-9]+), ([^\n]+)\n\n(.*[^\n])\n*$")
  message(FATAL_ERROR "${LICENSE}: not the BSD 2-Clause license with one Copyright (c) line")
endif()
set(holder "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
# The license's text as a field's continuation lines: each line indented by
# one space, and an empty line written as " .".
string(REPLACE "\n\n" "\n.\n" body "${CMAKE_MATCH_3}")
string(REPLACE "\n" "\n " body " ${body}")
file(WRITE ${OUTPUT}
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: ferrik\n"
  "\n"
  "Files: *\n"
  "Copyright: ${holder}\n"
  "License: BSD-2-Clause\n"
  "\n"
  "License: BSD-2-Clause\n"
  "${body}\n")
