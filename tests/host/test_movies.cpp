#include "tests/host/test_movies.h"

#include "tools/swf/swf_writer.h"

namespace pw::test {

namespace {

constexpr std::int32_t kTwipsPerPixel = 20;

swf::Rect StageRect(int widthPx, int heightPx) {
    return {0, widthPx * kTwipsPerPixel, 0, heightPx * kTwipsPerPixel};
}

swf::Rgb RgbOf(std::uint32_t rgb) {
    return {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8), static_cast<std::uint8_t>(rgb)};
}

swf::Rgba RgbaOf(std::uint32_t rgb) {
    const swf::Rgb c = RgbOf(rgb);
    return {c.r, c.g, c.b, 255};
}

swf::Tag SolidRectangle(std::uint16_t id, const PixelRect& r, std::uint32_t rgb) {
    swf::ShapeBuilder shape;
    const int fill = shape.AddFill(swf::FillStyle::Solid(RgbaOf(rgb)));
    shape.Rectangle(r.x * kTwipsPerPixel, r.y * kTwipsPerPixel, r.width * kTwipsPerPixel,
                    r.height * kTwipsPerPixel, fill);
    return swf::DefineShapeTag(id, shape, 1);
}

swf::Tag Place(std::uint16_t depth, std::uint16_t id) {
    swf::Placement place;
    place.depth = depth;
    place.characterId = id;
    return swf::PlaceObject2Tag(place);
}

swf::ButtonRecord ButtonState(std::uint16_t id, std::uint16_t depth, bool up, bool over, bool down) {
    swf::ButtonRecord record;
    record.characterId = id;
    record.depth = depth;
    record.up = up;
    record.over = over;
    record.down = down;
    record.hitTest = up;  // the resting shape is where the pointer counts
    return record;
}

}  // namespace

std::vector<std::uint8_t> MakeSquareMovie(const SquareMovie& movie) {
    const std::int32_t width = movie.widthPx * kTwipsPerPixel;
    const std::int32_t height = movie.heightPx * kTwipsPerPixel;
    const std::int32_t side = movie.squarePx * kTwipsPerPixel;
    swf::Movie out(6, StageRect(movie.widthPx, movie.heightPx), movie.framesPerSecond);
    out.Add(swf::SetBackgroundColorTag(RgbOf(movie.backgroundRgb)));
    out.Add(SolidRectangle(1, {0, 0, movie.squarePx, movie.squarePx}, movie.squareRgb));
    const std::int32_t y = (height - side) / 2;
    for (int frame = 0; frame < movie.frames; ++frame) {
        const std::int32_t x = (width - side) * frame / (movie.frames > 1 ? movie.frames - 1 : 1);
        swf::Placement place;
        place.hasMatrix = true;
        place.matrix = swf::Matrix::Translate(x, y);
        if (frame == 0) {
            place.characterId = 1;
        } else {
            place.move = true;
        }
        out.Add(swf::PlaceObject2Tag(place));
        out.ShowFrame();
    }
    return out.Finish();
}

std::vector<std::uint8_t> MakeTextMovie(const TextMovie& movie) {
    swf::Movie out(movie.version, StageRect(movie.widthPx, movie.heightPx), 12);
    out.Add(swf::SetBackgroundColorTag({255, 255, 255}));
    out.Add(swf::DeviceFontTag(1, movie.fontName));
    const PixelRect& f = movie.field;
    swf::EditText field;
    field.bounds = {f.x * kTwipsPerPixel, (f.x + f.width) * kTwipsPerPixel, f.y * kTwipsPerPixel,
                    (f.y + f.height) * kTwipsPerPixel};
    field.fontId = 1;
    field.fontHeight = static_cast<std::uint16_t>(movie.fontPx * kTwipsPerPixel);
    field.color = {0, 0, 0, 255};
    field.text = movie.text;
    field.variableName = "greeting";
    field.border = movie.border;
    out.Add(swf::DefineEditTextTag(2, field));
    out.Add(Place(1, 2));
    out.Add(swf::StopActionTag());
    out.ShowFrame();
    return out.Finish();
}

std::vector<std::uint8_t> MakeShapesMovie(const ShapesMovie& movie) {
    constexpr std::int32_t t = kTwipsPerPixel;
    swf::Movie out(8, StageRect(movie.widthPx, movie.heightPx), 12);
    out.Add(swf::SetBackgroundColorTag({250, 240, 200}));
    swf::ShapeBuilder shape;
    const int red = shape.AddFill(swf::FillStyle::Solid({220, 40, 40, 255}));
    const int radial = shape.AddFill(
        swf::FillStyle::Radial(280 * t, 90 * t, 70 * t, {{0, {255, 255, 0, 255}}, {255, {0, 120, 220, 255}}}));
    const int linear = shape.AddFill(
        swf::FillStyle::Linear(20 * t, 380 * t, 240 * t, {{0, {40, 160, 60, 255}}, {255, {120, 40, 160, 255}}}));
    const int outline = shape.AddLine({.width = 6 * t, .color = {20, 20, 20, 255}});
    shape.Rectangle(30 * t, 30 * t, 140 * t, 100 * t, red, outline);
    shape.Ellipse(280 * t, 90 * t, 70 * t, 60 * t, radial);
    shape.Polygon({{20 * t, 200 * t}, {200 * t, 170 * t}, {380 * t, 280 * t}, {40 * t, 285 * t}}, linear, outline);
    out.Add(swf::DefineShapeTag(1, shape, 3));
    out.Add(Place(1, 1));
    out.Add(swf::StopActionTag());
    out.ShowFrame();
    return out.Finish();
}

std::vector<std::uint8_t> MakeButtonMovie(const ButtonMovie& movie) {
    swf::Movie out(8, StageRect(movie.widthPx, movie.heightPx), 24);
    out.Add(swf::SetBackgroundColorTag({255, 255, 255}));
    out.Add(SolidRectangle(1, movie.button, movie.upRgb));
    out.Add(SolidRectangle(2, movie.button, movie.overRgb));
    out.Add(SolidRectangle(3, movie.button, movie.downRgb));
    const bool colouring = !movie.swatchColours.empty();
    out.Add(swf::DefineButton2Tag(4, {ButtonState(1, 1, true, false, false), ButtonState(2, 2, false, true, false),
                                      ButtonState(3, 3, false, false, true)},
                                  colouring ? swf::Bytes{swf::kActionNextFrame} : swf::Bytes{}));
    out.Add(Place(1, 4));
    if (!colouring) {
        out.Add(swf::StopActionTag());
        out.ShowFrame();
        return out.Finish();
    }
    // One frame per colour; a press moves on to the next.
    constexpr std::uint16_t kSwatchDepth = 2;
    for (std::size_t i = 0; i < movie.swatchColours.size(); ++i) {
        const auto swatch = static_cast<std::uint16_t>(10 + i);
        out.Add(SolidRectangle(swatch, movie.swatch, movie.swatchColours[i]));
        if (i > 0) out.Add(swf::RemoveObject2Tag(kSwatchDepth));
        out.Add(Place(kSwatchDepth, swatch));
        out.Add(swf::StopActionTag());
        out.ShowFrame();
    }
    return out.Finish();
}

}  // namespace pw::test
