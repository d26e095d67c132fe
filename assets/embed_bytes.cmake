# Turns a binary file into a C++ source that defines its bytes as an array.
# Usage: cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> -P embed_bytes.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
# 16 bytes to a line keep the generated file readable.
string(REPEAT "[0-9a-f]" 32 line_pattern)
string(REGEX REPLACE "(${line_pattern})" "\\1\n    " hex "${hex}")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}" "// Generated at build time from ${name}; do not edit.
#include <cstddef>
#include <cstdint>

namespace pw::embedded {
extern const std::uint8_t ${SYMBOL}[${size}];
extern const std::size_t ${SYMBOL}Size;
const std::uint8_t ${SYMBOL}[${size}] = {
    ${bytes}
};
const std::size_t ${SYMBOL}Size = ${size};
}  // namespace pw::embedded
")
