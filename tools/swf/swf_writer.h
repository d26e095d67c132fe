#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// A small writer for Flash movies (SWF), enough for the program's idle movie, the
// demo site's sample lessons and the player's test movies: shapes with solid and
// gradient fills, sprites, placements with matrices and colour transforms, frame
// actions, uncompressed sounds, device-font text fields and buttons.
// Coordinates are in twips (1/20 pixel).
namespace pw::swf {

using Bytes = std::vector<std::uint8_t>;

// Writes bit fields most significant bit first, as SWF records are packed; byte-sized
// values are little-endian and always start on a byte boundary.
class BitWriter {
public:
    void WriteUnsigned(std::uint32_t value, int bitCount);
    void WriteSigned(std::int32_t value, int bitCount);
    void Align();
    void U8(std::uint8_t value);
    void U16(std::uint16_t value);
    void U32(std::uint32_t value);
    void Append(const Bytes& bytes);
    void String(std::string_view text);  // null-terminated
    // The bytes written so far; a partly filled last byte is padded with zero bits.
    const Bytes& Finish();

private:
    Bytes bytes_;
    int bitsUsed_ = 0;  // bits used in the last byte, 0 when aligned
};

// Bits needed to hold the value as a signed or unsigned bit field.
int SignedBits(std::int32_t value);
int UnsignedBits(std::uint32_t value);

struct Rect {
    std::int32_t xMin = 0;
    std::int32_t xMax = 0;
    std::int32_t yMin = 0;
    std::int32_t yMax = 0;
};

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

struct Rgba {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 255;
};

// Affine transform: x' = scaleX*x + rotateSkew1*y + translateX,
//                   y' = rotateSkew0*x + scaleY*y + translateY.
struct Matrix {
    bool hasScale = false;
    double scaleX = 1.0;
    double scaleY = 1.0;
    bool hasRotate = false;
    double rotateSkew0 = 0.0;
    double rotateSkew1 = 0.0;
    std::int32_t translateX = 0;
    std::int32_t translateY = 0;

    static Matrix Translate(std::int32_t x, std::int32_t y);
    static Matrix ScaleTranslate(double sx, double sy, std::int32_t x, std::int32_t y);
    // Uniform scale, rotation by `radians` (clockwise on screen), then translation.
    static Matrix Transform(double scale, double radians, std::int32_t x, std::int32_t y);
};

// Colour transform: channel' = channel * mult / 256 + add. Multipliers are 8.8 fixed
// point (256 is 1.0).
struct ColorTransform {
    bool hasMult = false;
    std::int16_t multR = 256, multG = 256, multB = 256, multA = 256;
    bool hasAdd = false;
    std::int16_t addR = 0, addG = 0, addB = 0, addA = 0;
};

void WriteRect(BitWriter& out, const Rect& rect);
void WriteRgb(BitWriter& out, Rgb color);
void WriteRgba(BitWriter& out, Rgba color);
void WriteMatrix(BitWriter& out, const Matrix& matrix);
void WriteColorTransform(BitWriter& out, const ColorTransform& cx);           // CXFORM
void WriteColorTransformWithAlpha(BitWriter& out, const ColorTransform& cx);  // CXFORMWITHALPHA

struct GradientStop {
    std::uint8_t ratio = 0;
    Rgba color;
};

struct FillStyle {
    enum class Kind : std::uint8_t { Solid = 0x00, LinearGradient = 0x10, RadialGradient = 0x12 };
    Kind kind = Kind::Solid;
    Rgba color;                    // Solid
    Matrix gradientMatrix;         // gradients: maps the -16384..16384 gradient square
    std::vector<GradientStop> stops;  // gradients: 1 to 8 stops

    static FillStyle Solid(Rgba color);
    // A radial gradient centred on (cx, cy) reaching `radius` twips.
    static FillStyle Radial(std::int32_t cx, std::int32_t cy, std::int32_t radius,
                            std::vector<GradientStop> stops);
    // A linear gradient running left to right across [x0, x1], vertically centred on cy.
    static FillStyle Linear(std::int32_t x0, std::int32_t x1, std::int32_t cy,
                            std::vector<GradientStop> stops);
};

struct LineStyle {
    std::uint16_t width = 20;
    Rgba color;
};

// Collects fill and line styles and the outline of one shape. Paths are given in
// absolute coordinates; the builder writes the relative edge records.
class ShapeBuilder {
public:
    // Style indexes are 1-based; 0 means "none".
    int AddFill(const FillStyle& fill);
    int AddLine(const LineStyle& line);

    // Starts a new path at (x, y), drawn with the given fill (on the edges' left side)
    // and line style.
    void MoveTo(std::int32_t x, std::int32_t y, int fill, int line = 0);
    void LineTo(std::int32_t x, std::int32_t y);
    void CurveTo(std::int32_t controlX, std::int32_t controlY, std::int32_t x, std::int32_t y);

    // Closed figures, each a new path.
    void Rectangle(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   int fill, int line = 0);
    // A circle (or ellipse) of `segments` quadratic curves (at least 4).
    void Ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry, int fill,
                 int line = 0, int segments = 8);
    void Polygon(const std::vector<std::pair<std::int32_t, std::int32_t>>& points, int fill,
                 int line = 0);

    // The body of a DefineShape tag (version 1, 2 or 3; version 3 writes colours with alpha).
    Bytes DefineShapeBody(std::uint16_t shapeId, int shapeVersion) const;
    Rect Bounds() const;

private:
    struct Record {
        enum class Type { Style, Line, Curve } type;
        std::int32_t x = 0, y = 0;    // Style: absolute move; Line/Curve: anchor delta
        std::int32_t cx = 0, cy = 0;  // Curve: control delta
        int fill = 0, line = 0;
    };
    void Extend(std::int32_t x, std::int32_t y);

    std::vector<FillStyle> fills_;
    std::vector<LineStyle> lines_;
    std::vector<Record> records_;
    std::int32_t penX_ = 0, penY_ = 0;
    bool hasBounds_ = false;
    Rect bounds_;
};

// One tag: its code and body.
struct Tag {
    std::uint16_t code = 0;
    Bytes body;
};

namespace code {
inline constexpr std::uint16_t End = 0;
inline constexpr std::uint16_t ShowFrame = 1;
inline constexpr std::uint16_t DefineShape = 2;
inline constexpr std::uint16_t SetBackgroundColor = 9;
inline constexpr std::uint16_t DoAction = 12;
inline constexpr std::uint16_t DefineSound = 14;
inline constexpr std::uint16_t StartSound = 15;
inline constexpr std::uint16_t DefineShape2 = 22;
inline constexpr std::uint16_t Protect = 24;
inline constexpr std::uint16_t PlaceObject2 = 26;
inline constexpr std::uint16_t RemoveObject2 = 28;
inline constexpr std::uint16_t DefineShape3 = 32;
inline constexpr std::uint16_t DefineButton2 = 34;
inline constexpr std::uint16_t DefineEditText = 37;
inline constexpr std::uint16_t DefineSprite = 39;
inline constexpr std::uint16_t FrameLabel = 43;
inline constexpr std::uint16_t DefineFont2 = 48;
}  // namespace code

// The tag with its record header (short form below 63 body bytes, long form otherwise).
Bytes EncodeTag(const Tag& tag);

Tag EndTag();
Tag ShowFrameTag();
Tag ProtectTag();
Tag SetBackgroundColorTag(Rgb color);
Tag FrameLabelTag(std::string_view name);
Tag DefineShapeTag(std::uint16_t shapeId, const ShapeBuilder& shape, int shapeVersion = 3);
// `frames` are the sprite's control tags; the End tag is added here.
Tag DefineSpriteTag(std::uint16_t spriteId, std::uint16_t frameCount, const std::vector<Tag>& frames);

struct Placement {
    std::uint16_t depth = 1;
    bool move = false;               // modify the character already at this depth
    std::uint16_t characterId = 0;   // 0: keep the character (only with move)
    bool hasMatrix = false;
    Matrix matrix;
    bool hasColorTransform = false;
    ColorTransform colorTransform;
};
Tag PlaceObject2Tag(const Placement& placement);
Tag RemoveObject2Tag(std::uint16_t depth);

// Frame actions: stop the timeline, or go on playing.
Tag StopActionTag();

// A font without glyphs that names a device font ("_sans", "_serif", "_typewriter" or
// a font of the player's machine): text fields using it are drawn by the player.
Tag DeviceFontTag(std::uint16_t fontId, std::string_view name, bool bold = false, bool italic = false);

// A dynamic text field (DefineEditText). The text is written as given, byte for byte:
// UTF-8 for movies of version 6 and later; movies of version 5 and earlier hold text in
// the encoding of the author's machine (GBK for Chinese ones).
struct EditText {
    Rect bounds;
    std::uint16_t fontId = 0;      // 0: no font
    std::uint16_t fontHeight = 240;  // twips
    Rgba color;
    std::string_view text;  // no NUL inside; empty: no initial text
    std::string_view variableName;
    bool border = false;     // a black frame on a white ground
    bool readOnly = true;
    bool selectable = false;
    bool multiline = false;
    bool wordWrap = false;
};
Tag DefineEditTextTag(std::uint16_t fieldId, const EditText& field);

// One character of a button and the states it shows in (DefineButton2).
struct ButtonRecord {
    std::uint16_t characterId = 0;
    std::uint16_t depth = 1;
    bool up = false;
    bool over = false;
    bool down = false;
    bool hitTest = false;
    Matrix matrix;
};
// A button that changes its look under the pointer and when pressed, and runs `onPress`
// (action records, without the end flag; none: no actions) each time it is pressed.
Tag DefineButton2Tag(std::uint16_t buttonId, const std::vector<ButtonRecord>& records, const Bytes& onPress = {});

// The action that moves the timeline to its next frame and stops there.
inline constexpr std::uint8_t kActionNextFrame = 0x04;

// Uncompressed little-endian 16-bit mono PCM at 5512, 11025, 22050 or 44100 Hz.
Tag DefineSoundTag(std::uint16_t soundId, int sampleRate, const std::vector<std::int16_t>& samples);
// Starts the sound; with `noMultiple` a sound that is still playing is not started again.
Tag StartSoundTag(std::uint16_t soundId, bool noMultiple = true);

// A whole movie: header, then the tags in order, then End. The header's frame count is
// the number of ShowFrame tags on the main timeline.
class Movie {
public:
    // Versions 1 to 10 (the file format this writer produces is the same for all of them);
    // any other throws std::invalid_argument.
    Movie(int version, Rect stage, double framesPerSecond);
    void Add(Tag tag);
    void ShowFrame();
    int FrameCount() const { return frameCount_; }
    // The complete uncompressed file ("FWS"); its length field equals its size.
    Bytes Finish() const;
    // The size Finish() would produce.
    std::size_t Size() const;

private:
    Bytes Header(std::uint32_t fileLength) const;

    int version_;
    Rect stage_;
    double framesPerSecond_;
    int frameCount_ = 0;
    Bytes tags_;
};

}  // namespace pw::swf
