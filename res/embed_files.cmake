# Writes the given files into a C++ include file as byte arrays, so that the program carries its
# icon, its style sheet and its font alias and never has to find them on disk.
#   cmake -DOUTPUT=<file.inc> -DENTRIES="NAME=path;NAME=path" -P embed_files.cmake
cmake_minimum_required(VERSION 3.22)

set(text "// Generated from res/ at build time; do not edit.\n")
foreach(entry IN LISTS ENTRIES)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 name)
  list(GET parts 1 path)
  file(READ "${path}" hex HEX)
  string(LENGTH "${hex}" hexLength)
  math(EXPR size "${hexLength} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Twenty bytes a line keeps the file readable in a diff viewer.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){20})" "\\1\n    " bytes "${bytes}")
  string(APPEND text "inline constexpr unsigned char ${name}[${size}] = {\n    ${bytes}};\n")
endforeach()

# Only touch the output when it changed, so that an unchanged build stays up to date.
set(old "")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
