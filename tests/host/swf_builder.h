#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pw::test {

// Writes small, valid, uncompressed SWF movies by hand: a coloured background and one
// square that moves across the stage, one step per frame, looping.
struct SquareMovie {
    int widthPx = 600;
    int heightPx = 500;
    std::uint32_t backgroundRgb = 0x2040C0;
    std::uint32_t squareRgb = 0xE02020;
    int squarePx = 120;
    int frames = 48;
    int framesPerSecond = 24;
};

std::vector<std::uint8_t> MakeSquareMovie(const SquareMovie& movie);

}  // namespace pw::test
