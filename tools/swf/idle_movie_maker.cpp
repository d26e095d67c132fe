#include "tools/swf/idle_movie_maker.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace pw::swf {
namespace {

constexpr std::uint16_t kBallShape = 1;
constexpr std::uint16_t kBallSprite = 2;
constexpr int kFrames = 30;
constexpr int kBallRadius = 560;  // twips

struct Ball {
    double centreX, centreY;  // twips
    double swingX, swingY;    // twips
    int cyclesX, cyclesY;     // whole cycles per loop, so the loop has no seam
    double phase;             // fraction of a cycle
    Rgb from, to;             // the tint drifts between these two
};

constexpr Ball kBalls[] = {
    {1000, 1350, 420, 380, 1, 2, 0.07, {255, 140, 200}, {255, 190, 120}},
    {2100, 1450, 300, 520, 1, 1, 0.33, {120, 190, 255}, {170, 140, 255}},
    {3200, 1350, 420, 380, 1, 2, 0.66, {150, 240, 150}, {255, 235, 110}},
};

std::int16_t Mix(std::uint8_t a, std::uint8_t b, double t) {
    // 8.8 fixed-point multiplier for a channel value between a and b.
    return static_cast<std::int16_t>(std::lround((a + (b - a) * t) * 256.0 / 255.0));
}

ShapeBuilder BallShape() {
    ShapeBuilder shape;
    // A soft glow: bright core, fading to transparent at the rim. The colour comes from
    // each placement's colour transform.
    const int fill = shape.AddFill(FillStyle::Radial(
        0, 0, kBallRadius,
        {{0, {255, 255, 255, 255}}, {150, {235, 235, 235, 230}}, {255, {200, 200, 200, 0}}}));
    shape.Ellipse(0, 0, kBallRadius, kBallRadius, fill, 0, 12);
    return shape;
}

}  // namespace

Bytes MakeIdleMovie() {
    Movie movie(4, Rect{0, 4200, 0, 2800}, 12.0);
    movie.Add(SetBackgroundColorTag({0, 0, 0}));
    movie.Add(ProtectTag());
    movie.Add(DefineShapeTag(kBallShape, BallShape(), 3));

    Placement inner;
    inner.characterId = kBallShape;
    movie.Add(DefineSpriteTag(kBallSprite, 1, {PlaceObject2Tag(inner), ShowFrameTag()}));

    // Names the loop's first frame; the label's length also brings the file to its
    // fixed size.
    movie.Add(FrameLabelTag("gentle-drift"));

    constexpr double kTurn = 2.0 * std::numbers::pi;
    for (int frame = 0; frame < kFrames; ++frame) {
        const double t = static_cast<double>(frame) / kFrames;
        for (int i = 0; i < 3; ++i) {
            const Ball& ball = kBalls[i];
            Placement p;
            p.depth = static_cast<std::uint16_t>(i + 1);
            p.move = frame > 0;
            p.characterId = frame == 0 ? kBallSprite : 0;
            p.hasMatrix = true;
            const double scale = 1.0 + 0.12 * std::sin(kTurn * (t + ball.phase));
            const auto x = static_cast<std::int32_t>(std::lround(ball.centreX + ball.swingX * std::sin(kTurn * (ball.cyclesX * t + ball.phase))));
            const auto y = static_cast<std::int32_t>(std::lround(ball.centreY + ball.swingY * std::cos(kTurn * (ball.cyclesY * t + ball.phase))));
            p.matrix = Matrix::ScaleTranslate(scale, scale, x, y);
            p.hasColorTransform = true;
            const double tint = 0.5 - 0.5 * std::cos(kTurn * (t + ball.phase));
            p.colorTransform.hasMult = true;
            p.colorTransform.multR = Mix(ball.from.r, ball.to.r, tint);
            p.colorTransform.multG = Mix(ball.from.g, ball.to.g, tint);
            p.colorTransform.multB = Mix(ball.from.b, ball.to.b, tint);
            p.colorTransform.multA = 256;
            movie.Add(PlaceObject2Tag(p));
        }
        movie.ShowFrame();
    }
    Bytes file = movie.Finish();
    if (file.size() != kIdleMovieSize) throw std::logic_error("idle movie is not 2066 bytes");
    return file;
}

}  // namespace pw::swf
