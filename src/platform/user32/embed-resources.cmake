# Writes the compiled resource file RESOURCE_FILE as a C++ byte array into
# OUTPUT, defining the functions of program_resources.h.
#   cmake -DRESOURCE_FILE=<.res> -DOUTPUT=<.cpp> -P embed-resources.cmake
file(READ "${RESOURCE_FILE}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
# 16 bytes a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${RESOURCE_FILE} by embed-resources.cmake.
#include \"program_resources.h\"

namespace {
const unsigned char kResources[${size}] = {
    ${bytes}
};
}  // namespace

namespace user32 {
const unsigned char* ProgramResourceData() { return kResources; }
size_t ProgramResourceSize() { return sizeof kResources; }
}  // namespace user32
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
