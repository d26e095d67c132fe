#include "tools/swf/sample_lessons.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>

#include "tools/swf/swf_writer.h"

namespace pw::swf {
namespace {

constexpr int kGroupSizes[] = {16, 10, 6};
constexpr std::int32_t kStageWidth = 11000;  // 550 x 400 pixels
constexpr std::int32_t kStageHeight = 8000;
constexpr double kFramesPerSecond = 24.0;
constexpr double kTurn = 2.0 * std::numbers::pi;

using Point = std::pair<std::int32_t, std::int32_t>;

// Small deterministic generator, so every build writes the same bytes.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed * 2654435761u + 12345u) {}
    std::uint32_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return state_ >> 8;
    }
    int Between(int low, int high) { return low + static_cast<int>(Next() % static_cast<std::uint32_t>(high - low + 1)); }

private:
    std::uint32_t state_;
};

struct Palette {
    Rgb background;
    Rgba hill;
    Rgba actors[3];
};

constexpr Palette kPalettes[] = {
    {{255, 244, 214}, {140, 210, 110, 255}, {{240, 90, 80, 255}, {255, 190, 40, 255}, {90, 150, 240, 255}}},
    {{220, 240, 255}, {100, 180, 230, 255}, {{255, 120, 170, 255}, {120, 200, 120, 255}, {250, 220, 60, 255}}},
    {{240, 228, 255}, {170, 130, 220, 255}, {{255, 150, 60, 255}, {80, 200, 200, 255}, {230, 80, 150, 255}}},
    {{225, 255, 225}, {90, 170, 90, 255}, {{255, 100, 100, 255}, {120, 120, 240, 255}, {255, 210, 90, 255}}},
    {{255, 228, 236}, {240, 150, 180, 255}, {{110, 190, 250, 255}, {250, 200, 70, 255}, {150, 220, 120, 255}}},
    {{255, 250, 200}, {230, 190, 80, 255}, {{200, 90, 220, 255}, {60, 170, 240, 255}, {250, 110, 90, 255}}},
    {{210, 250, 245}, {70, 190, 170, 255}, {{255, 160, 80, 255}, {240, 90, 140, 255}, {100, 130, 230, 255}}},
    {{245, 235, 220}, {200, 150, 100, 255}, {{90, 180, 90, 255}, {240, 200, 50, 255}, {230, 100, 80, 255}}},
};

enum class Figure { Ball, Star, Square, Triangle, Heart, Flower };
enum class Motion { Orbit, Bounce, Wave, Spin };

std::vector<Point> StarPoints(std::int32_t cx, std::int32_t cy, double outer, double inner, int tips) {
    std::vector<Point> points;
    for (int i = 0; i < tips * 2; ++i) {
        const double angle = -std::numbers::pi / 2 + i * std::numbers::pi / tips;
        const double r = i % 2 == 0 ? outer : inner;
        points.emplace_back(static_cast<std::int32_t>(std::lround(cx + r * std::cos(angle))),
                            static_cast<std::int32_t>(std::lround(cy + r * std::sin(angle))));
    }
    return points;
}

// One figure of radius about 500 twips around the origin, with a dark outline.
ShapeBuilder FigureShape(Figure figure, Rgba colour) {
    ShapeBuilder shape;
    const int line = shape.AddLine({50, {60, 40, 50, 255}});
    const Rgba light{static_cast<std::uint8_t>((colour.r + 255) / 2), static_cast<std::uint8_t>((colour.g + 255) / 2),
                     static_cast<std::uint8_t>((colour.b + 255) / 2), 255};
    switch (figure) {
    case Figure::Ball: {
        const int fill = shape.AddFill(FillStyle::Radial(-150, -150, 750, {{0, {255, 255, 255, 255}}, {90, light}, {255, colour}}));
        shape.Ellipse(0, 0, 500, 500, fill, line, 12);
        break;
    }
    case Figure::Star:
        shape.Polygon(StarPoints(0, 0, 560, 240, 5), shape.AddFill(FillStyle::Solid(colour)), line);
        break;
    case Figure::Square: {
        const int fill = shape.AddFill(FillStyle::Linear(-450, 450, 0, {{0, light}, {255, colour}}));
        shape.MoveTo(-300, -450, fill, line);
        shape.LineTo(300, -450);
        shape.CurveTo(450, -450, 450, -300);
        shape.LineTo(450, 300);
        shape.CurveTo(450, 450, 300, 450);
        shape.LineTo(-300, 450);
        shape.CurveTo(-450, 450, -450, 300);
        shape.LineTo(-450, -300);
        shape.CurveTo(-450, -450, -300, -450);
        break;
    }
    case Figure::Triangle:
        shape.Polygon({{0, -520}, {500, 400}, {-500, 400}}, shape.AddFill(FillStyle::Solid(colour)), line);
        break;
    case Figure::Heart: {
        const int fill = shape.AddFill(FillStyle::Solid(colour));
        shape.MoveTo(0, -200, fill, line);
        shape.CurveTo(150, -520, 420, -380);
        shape.CurveTo(650, -200, 400, 150);
        shape.LineTo(0, 500);
        shape.LineTo(-400, 150);
        shape.CurveTo(-650, -200, -420, -380);
        shape.CurveTo(-150, -520, 0, -200);
        break;
    }
    case Figure::Flower: {
        const int petals = shape.AddFill(FillStyle::Solid(colour));
        for (int i = 0; i < 6; ++i) {
            const double angle = i * kTurn / 6;
            shape.Ellipse(static_cast<std::int32_t>(std::lround(300 * std::cos(angle))),
                          static_cast<std::int32_t>(std::lround(300 * std::sin(angle))), 200, 200, petals, line, 8);
        }
        shape.Ellipse(0, 0, 220, 220, shape.AddFill(FillStyle::Solid({255, 230, 80, 255})), line, 8);
        break;
    }
    }
    // Two friendly eyes.
    const int eye = shape.AddFill(FillStyle::Solid({40, 30, 40, 255}));
    shape.Ellipse(-130, -60, 50, 65, eye, 0, 6);
    shape.Ellipse(130, -60, 50, 65, eye, 0, 6);
    return shape;
}

// Block digits: segments a (top), b, c (right), d (bottom), e, f (left), g (middle).
constexpr std::array<std::uint8_t, 10> kDigitSegments = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
constexpr std::uint8_t kDash = 0x40;

void AddGlyph(ShapeBuilder& shape, std::uint8_t segments, std::int32_t left, std::int32_t top, int fill, int line) {
    constexpr std::int32_t w = 560, h = 1000, t = 160;
    constexpr std::int32_t midTop = h / 2 - t / 2;
    const auto has = [segments](std::uint8_t bit) { return (segments & bit) != 0; };
    // Horizontal bars span the cell; vertical bars fill the rows between them and reach
    // into a bar's row where that bar is absent, so strokes join without overlapping.
    if (has(0x01)) shape.Rectangle(left, top, w, t, fill, line);
    if (has(0x40)) shape.Rectangle(left, top + midTop, w, t, fill, line);
    if (has(0x08)) shape.Rectangle(left, top + h - t, w, t, fill, line);
    const auto vertical = [&](std::int32_t x, std::uint8_t upper, std::uint8_t lower) {
        const bool middleFree = !has(0x40);
        if (has(upper)) {
            const std::int32_t y0 = has(0x01) ? t : 0;
            const std::int32_t y1 = middleFree ? midTop + t : midTop;
            shape.Rectangle(x, top + y0, t, y1 - y0, fill, line);
        }
        if (has(lower)) {
            const std::int32_t y0 = (middleFree && !has(upper)) ? midTop : midTop + t;
            const std::int32_t y1 = has(0x08) ? h - t : h;
            shape.Rectangle(x, top + y0, t, y1 - y0, fill, line);
        }
    };
    vertical(left + w - t, 0x02, 0x04);
    vertical(left, 0x20, 0x10);
}

// "<group+1>-<item+1>" in block digits, centred on the origin, with the group's emblem
// (a book for stories, a crown for fairy tales, a brush for colouring) on its left.
ShapeBuilder TitleShape(int group, int item, Rgba colour) {
    ShapeBuilder shape;
    const int fill = shape.AddFill(FillStyle::Linear(-1500, 1500, 0, {{0, {255, 255, 255, 255}}, {255, colour}}));
    const int line = shape.AddLine({60, {50, 40, 60, 255}});
    std::vector<std::uint8_t> glyphs = {kDigitSegments[static_cast<std::size_t>(group + 1)], kDash};
    const int number = item + 1;
    if (number >= 10) glyphs.push_back(kDigitSegments[static_cast<std::size_t>(number / 10)]);
    glyphs.push_back(kDigitSegments[static_cast<std::size_t>(number % 10)]);
    constexpr std::int32_t advance = 720;
    const auto width = static_cast<std::int32_t>(glyphs.size()) * advance;
    std::int32_t left = -width / 2 + 500;
    for (std::uint8_t g : glyphs) {
        AddGlyph(shape, g, left, -500, fill, line);
        left += advance;
    }
    const std::int32_t ex = -width / 2 - 300;
    const int emblem = shape.AddFill(FillStyle::Solid({255, 215, 60, 255}));
    if (group == 0) {  // an open book
        const int page = shape.AddFill(FillStyle::Solid({255, 255, 255, 255}));
        shape.Polygon({{ex - 600, -350}, {ex, -250}, {ex, 450}, {ex - 600, 350}}, page, line);
        shape.Polygon({{ex + 600, -350}, {ex, -250}, {ex, 450}, {ex + 600, 350}}, page, line);
    } else if (group == 1) {  // a crown
        shape.Polygon({{ex - 550, 400}, {ex - 550, -300}, {ex - 275, 0}, {ex, -450}, {ex + 275, 0}, {ex + 550, -300}, {ex + 550, 400}},
                      emblem, line);
    } else {  // a paint brush
        shape.Polygon({{ex - 100, 450}, {ex - 100, -100}, {ex + 100, -100}, {ex + 100, 450}}, shape.AddFill(FillStyle::Solid({180, 120, 70, 255})), line);
        shape.MoveTo(ex - 160, -100, emblem, line);
        shape.LineTo(ex + 160, -100);
        shape.CurveTo(ex + 160, -400, ex, -550);
        shape.CurveTo(ex - 160, -400, ex - 160, -100);
    }
    return shape;
}

ShapeBuilder HillShape(Rgba colour, int bumps) {
    ShapeBuilder shape;
    const int fill = shape.AddFill(FillStyle::Solid(colour));
    const std::int32_t top = kStageHeight - 1500;
    shape.MoveTo(0, kStageHeight, fill);
    shape.LineTo(0, top);
    const std::int32_t step = kStageWidth / bumps;
    for (int i = 0; i < bumps; ++i) {
        const std::int32_t x = i * step;
        shape.CurveTo(x + step / 2, top - (i % 2 == 0 ? 700 : 300), x + step, top);
    }
    shape.LineTo(kStageWidth, kStageHeight);
    shape.LineTo(0, kStageHeight);
    return shape;
}

// Little sparkles across the sky, each of its own colour; their number varies per lesson.
ShapeBuilder SparkleShape(Random& random, int count) {
    ShapeBuilder shape;
    for (int i = 0; i < count; ++i) {
        const Rgba colour{static_cast<std::uint8_t>(random.Between(150, 255)), static_cast<std::uint8_t>(random.Between(150, 255)),
                          static_cast<std::uint8_t>(random.Between(150, 255)), static_cast<std::uint8_t>(random.Between(120, 220))};
        const int fill = shape.AddFill(FillStyle::Solid(colour));
        const double size = random.Between(40, 110);
        shape.Polygon(StarPoints(random.Between(200, kStageWidth - 200), random.Between(200, kStageHeight - 1800), size, size * 0.4, 4),
                      fill);
    }
    return shape;
}

// A gentle melody on a pentatonic scale, one note per beat, as long as the loop.
std::vector<std::int16_t> Melody(Random& random, int sampleRate, double seconds) {
    constexpr double kScale[] = {261.63, 293.66, 329.63, 392.00, 440.00, 523.25, 587.33, 659.25};
    const auto total = static_cast<std::size_t>(sampleRate * seconds);
    const std::size_t beat = static_cast<std::size_t>(sampleRate) / 4;
    std::vector<std::int16_t> samples(total);
    double frequency = kScale[0];
    for (std::size_t i = 0; i < total; ++i) {
        if (i % beat == 0) frequency = kScale[random.Between(0, 7)];
        const double t = static_cast<double>(i % beat) / sampleRate;
        const double envelope = std::exp(-t * 9.0) * std::min(1.0, t * 400.0);
        const double wave = std::sin(kTurn * frequency * t) + 0.3 * std::sin(kTurn * 2 * frequency * t);
        samples[i] = static_cast<std::int16_t>(std::lround(5000.0 * envelope * wave));
    }
    return samples;
}

// The lesson's place among all lessons; -1 when the pair is not a lesson.
int LessonIndex(int group, int item) {
    if (group < 0 || group > 2 || item < 0 || item >= kGroupSizes[group]) return -1;
    int index = item;
    for (int g = 0; g < group; ++g) index += kGroupSizes[g];
    return index;
}

// An RGB picture drawn with filled rectangles and discs, written as a PNG.
class Canvas {
public:
    Canvas(int width, int height, Rgb background)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width * height * 3)) {
        FillRect(0, 0, width, height, background);
    }
    void Set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
        const auto at = static_cast<std::size_t>((y * width_ + x) * 3);
        pixels_[at] = c.r;
        pixels_[at + 1] = c.g;
        pixels_[at + 2] = c.b;
    }
    void FillRect(int left, int top, int width, int height, Rgb c) {
        for (int y = top; y < top + height; ++y)
            for (int x = left; x < left + width; ++x) Set(x, y, c);
    }
    void FillDisc(double cx, double cy, double r, Rgb c) {
        for (int y = static_cast<int>(cy - r); y <= static_cast<int>(cy + r) + 1; ++y)
            for (int x = static_cast<int>(cx - r); x <= static_cast<int>(cx + r) + 1; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r) Set(x, y, c);
    }
    // Everything below y = top(x).
    template <class Top>
    void FillBelow(Top top, Rgb c) {
        for (int x = 0; x < width_; ++x) FillRect(x, static_cast<int>(top(x)), 1, height_, c);
    }
    std::vector<std::uint8_t> Png() const {
        std::vector<std::uint8_t> rows;
        for (int y = 0; y < height_; ++y) {
            rows.push_back(0);  // no filter
            const auto at = pixels_.begin() + y * width_ * 3;
            rows.insert(rows.end(), at, at + width_ * 3);
        }
        uLongf packedSize = compressBound(static_cast<uLong>(rows.size()));
        std::vector<std::uint8_t> packed(packedSize);
        compress2(packed.data(), &packedSize, rows.data(), static_cast<uLong>(rows.size()), 9);
        packed.resize(packedSize);
        std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        const auto chunk = [&png](std::string_view type, const std::vector<std::uint8_t>& data) {
            for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(data.size() >> shift));
            std::vector<std::uint8_t> body(type.begin(), type.end());
            body.insert(body.end(), data.begin(), data.end());
            png.insert(png.end(), body.begin(), body.end());
            const uLong crc = crc32(0, body.data(), static_cast<uInt>(body.size()));
            for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<std::uint8_t>(crc >> shift));
        };
        std::vector<std::uint8_t> header;
        for (int value : {width_, height_})
            for (int shift = 24; shift >= 0; shift -= 8) header.push_back(static_cast<std::uint8_t>(value >> shift));
        header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB
        chunk("IHDR", header);
        chunk("IDAT", packed);
        chunk("IEND", {});
        return png;
    }

private:
    int width_, height_;
    std::vector<std::uint8_t> pixels_;
};

}  // namespace

std::vector<std::uint8_t> MakeSamplePicture(int group, int item) {
    const int index = LessonIndex(group, item);
    if (index < 0) return {};
    constexpr int kWidth = 320, kHeight = 240;
    const Palette& palette = kPalettes[index % std::size(kPalettes)];
    const auto rgb = [](Rgba c) { return Rgb{c.r, c.g, c.b}; };
    Canvas canvas(kWidth, kHeight, palette.background);
    const int bumps = 3 + index % 5;
    canvas.FillBelow([&](int x) { return kHeight * 0.8 - 14 * std::abs(std::sin(kTurn * bumps * x / (2.0 * kWidth))); },
                     rgb(palette.hill));
    // The figures in a row across the middle, outlined, with their two eyes.
    const int actors = 3 + index % 4;
    for (int a = 0; a < actors; ++a) {
        const double cx = kWidth * (a + 0.5) / actors, cy = kHeight * 0.58, r = std::min(26.0, kWidth / (2.6 * actors));
        canvas.FillDisc(cx, cy, r + 2, {60, 40, 50});
        canvas.FillDisc(cx, cy, r, rgb(palette.actors[a % 3]));
        canvas.FillDisc(cx - r / 3.5, cy - r / 6, r / 7, {40, 30, 40});
        canvas.FillDisc(cx + r / 3.5, cy - r / 6, r / 7, {40, 30, 40});
    }
    // The title's block digits, "<group+1>-<item+1>", across the top.
    std::vector<std::uint8_t> glyphs = {kDigitSegments[static_cast<std::size_t>(group + 1)], kDash};
    if (item + 1 >= 10) glyphs.push_back(kDigitSegments[static_cast<std::size_t>((item + 1) / 10)]);
    glyphs.push_back(kDigitSegments[static_cast<std::size_t>((item + 1) % 10)]);
    constexpr int w = 22, h = 40, t = 6, advance = 32;
    int left = (kWidth - static_cast<int>(glyphs.size()) * advance) / 2;
    const Rgb ink = rgb(palette.actors[index % 3]);
    for (std::uint8_t g : glyphs) {
        const auto has = [g](std::uint8_t bit) { return (g & bit) != 0; };
        constexpr int top = 24;
        if (has(0x01)) canvas.FillRect(left, top, w, t, ink);
        if (has(0x40)) canvas.FillRect(left, top + (h - t) / 2, w, t, ink);
        if (has(0x08)) canvas.FillRect(left, top + h - t, w, t, ink);
        if (has(0x20)) canvas.FillRect(left, top, t, h / 2, ink);
        if (has(0x10)) canvas.FillRect(left, top + h / 2, t, h / 2, ink);
        if (has(0x02)) canvas.FillRect(left + w - t, top, t, h / 2, ink);
        if (has(0x04)) canvas.FillRect(left + w - t, top + h / 2, t, h / 2, ink);
        left += advance;
    }
    return canvas.Png();
}

std::vector<std::uint8_t> MakeSampleLesson(int group, int item) {
    const int index = LessonIndex(group, item);
    if (index < 0) return {};
    Random random(static_cast<std::uint32_t>(index + 1));

    const Palette& palette = kPalettes[index % std::size(kPalettes)];
    const auto figure = static_cast<Figure>(index % 6);
    const auto motion = static_cast<Motion>((index / 2 + index) % 4);
    const int frames = 48 + 24 * (index % 3);  // a loop of 2 to 4 seconds
    const int actorCount = 3 + index % 4;

    Movie movie(8, Rect{0, kStageWidth, 0, kStageHeight}, kFramesPerSecond);
    movie.Add(SetBackgroundColorTag(palette.background));

    constexpr std::uint16_t kHill = 1, kSparkles = 2, kTitle = 3, kFirstFigure = 10, kMelody = 20;
    movie.Add(DefineShapeTag(kHill, HillShape(palette.hill, 3 + index % 5)));
    movie.Add(DefineShapeTag(kSparkles, SparkleShape(random, 320 + (index * 53) % 400)));
    movie.Add(DefineShapeTag(kTitle, TitleShape(group, item, palette.actors[index % 3])));
    for (std::uint16_t i = 0; i < 3; ++i)
        movie.Add(DefineShapeTag(static_cast<std::uint16_t>(kFirstFigure + i), FigureShape(figure, palette.actors[i])));

    const bool hasMelody = index % 3 != 1;
    if (hasMelody) {
        const int sampleRate = index % 2 == 0 ? 44100 : 22050;
        movie.Add(DefineSoundTag(kMelody, sampleRate, Melody(random, sampleRate, frames / kFramesPerSecond)));
    }

    std::vector<double> phases;
    for (int a = 0; a < actorCount; ++a) phases.push_back(random.Between(0, 999) / 1000.0);

    for (int frame = 0; frame < frames; ++frame) {
        const double t = static_cast<double>(frame) / frames;
        const bool first = frame == 0;
        if (first && hasMelody) movie.Add(StartSoundTag(kMelody));

        Placement sparkles;
        sparkles.depth = 2;
        sparkles.move = !first;
        sparkles.characterId = first ? kSparkles : 0;
        sparkles.hasColorTransform = true;
        sparkles.colorTransform.hasMult = true;
        sparkles.colorTransform.multA = static_cast<std::int16_t>(std::lround(256 * (0.65 + 0.35 * std::sin(kTurn * 2 * t))));
        if (first) {
            Placement hill;
            hill.depth = 1;
            hill.characterId = kHill;
            movie.Add(PlaceObject2Tag(hill));
        }
        movie.Add(PlaceObject2Tag(sparkles));

        for (int a = 0; a < actorCount; ++a) {
            const double phase = phases[static_cast<std::size_t>(a)];
            const double lane = (a + 0.5) / actorCount;
            double x = kStageWidth * lane, y = kStageHeight * 0.6, scale = 1.0, angle = 0.0;
            switch (motion) {
            case Motion::Orbit:
                x = kStageWidth / 2 + 3400 * std::cos(kTurn * (t + static_cast<double>(a) / actorCount));
                y = 4300 + 1700 * std::sin(kTurn * (t + static_cast<double>(a) / actorCount));
                angle = kTurn * t;
                break;
            case Motion::Bounce:
                y = kStageHeight - 2000 - 2800 * std::abs(std::sin(kTurn * (t * 2 + phase) / 2));
                scale = 0.9 + 0.1 * std::cos(kTurn * (t * 2 + phase));
                break;
            case Motion::Wave:
                x = std::fmod(kStageWidth * (lane + t), static_cast<double>(kStageWidth)) ;
                y = 4200 + 1300 * std::sin(kTurn * (2 * t + phase));
                angle = 0.3 * std::sin(kTurn * (2 * t + phase));
                break;
            case Motion::Spin:
                y = 4300 + (a % 2 == 0 ? -900 : 900);
                angle = kTurn * t * (a % 2 == 0 ? 1 : -1);
                scale = 1.0 + 0.25 * std::sin(kTurn * (t + phase));
                break;
            }
            Placement p;
            p.depth = static_cast<std::uint16_t>(10 + a);
            p.move = !first;
            p.characterId = first ? static_cast<std::uint16_t>(kFirstFigure + a % 3) : 0;
            p.hasMatrix = true;
            p.matrix = Matrix::Transform(scale, angle, static_cast<std::int32_t>(std::lround(x)), static_cast<std::int32_t>(std::lround(y)));
            if (group == 2) {
                // Colouring games: the figures take on colours in turn.
                p.hasColorTransform = true;
                p.colorTransform.hasAdd = true;
                p.colorTransform.addR = static_cast<std::int16_t>(std::lround(60 * std::sin(kTurn * (t + phase))));
                p.colorTransform.addG = static_cast<std::int16_t>(std::lround(60 * std::sin(kTurn * (t + phase + 1.0 / 3))));
                p.colorTransform.addB = static_cast<std::int16_t>(std::lround(60 * std::sin(kTurn * (t + phase + 2.0 / 3))));
            }
            movie.Add(PlaceObject2Tag(p));
        }

        Placement title;
        title.depth = 100;
        title.move = !first;
        title.characterId = first ? kTitle : 0;
        title.hasMatrix = true;
        const double pulse = 1.0 + 0.06 * std::sin(kTurn * 2 * t);
        title.matrix = Matrix::Transform(pulse, 0.04 * std::sin(kTurn * t), kStageWidth / 2, 1300);
        movie.Add(PlaceObject2Tag(title));
        movie.ShowFrame();
    }
    return movie.Finish();
}

}  // namespace pw::swf
