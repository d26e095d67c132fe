#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The player tests' own movies, written with tools/swf. Sizes are in pixels.
namespace pw::test {

// A coloured background and one square that moves across the stage, one step per frame,
// looping.
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

struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// A white stage with one dynamic text field in the device font "_sans", black text.
struct TextMovie {
    int version = 8;
    int widthPx = 400;
    int heightPx = 300;
    PixelRect field{40, 110, 320, 60};
    int fontPx = 32;
    std::string text;  // the field's bytes: UTF-8 from version 6, the author's encoding before
    bool border = false;
    std::string fontName = "_sans";
};
std::vector<std::uint8_t> MakeTextMovie(const TextMovie& movie);

// A still picture of shapes only (solid, gradient, outlined, curved), then stop.
struct ShapesMovie {
    int widthPx = 400;
    int heightPx = 300;
};
std::vector<std::uint8_t> MakeShapesMovie(const ShapesMovie& movie);

// A white stage with one button: red at rest, green under the pointer, blue while pressed.
// With swatch colours, every press also paints the swatch in its next colour, as a
// colouring game does; the last colour stays.
struct ButtonMovie {
    int widthPx = 400;
    int heightPx = 300;
    PixelRect button{100, 100, 200, 100};
    std::uint32_t upRgb = 0xE02020;
    std::uint32_t overRgb = 0x20B040;
    std::uint32_t downRgb = 0x2040C0;
    PixelRect swatch{20, 20, 60, 60};
    std::vector<std::uint32_t> swatchColours{};
};
std::vector<std::uint8_t> MakeButtonMovie(const ButtonMovie& movie);

}  // namespace pw::test
