#include "tools/swf/swf_writer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace pw::swf {

void BitWriter::WriteUnsigned(std::uint32_t value, int bitCount) {
    for (int bit = bitCount - 1; bit >= 0; --bit) {
        if (bitsUsed_ == 0) bytes_.push_back(0);
        if ((value >> bit) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> bitsUsed_);
        bitsUsed_ = (bitsUsed_ + 1) % 8;
    }
}

void BitWriter::WriteSigned(std::int32_t value, int bitCount) {
    // Two's complement: the low bitCount bits of the value.
    WriteUnsigned(static_cast<std::uint32_t>(value), bitCount);
}

void BitWriter::Align() { bitsUsed_ = 0; }

void BitWriter::U8(std::uint8_t value) {
    Align();
    bytes_.push_back(value);
}

void BitWriter::U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value & 0xFF));
    U8(static_cast<std::uint8_t>(value >> 8));
}

void BitWriter::U32(std::uint32_t value) {
    U16(static_cast<std::uint16_t>(value & 0xFFFF));
    U16(static_cast<std::uint16_t>(value >> 16));
}

void BitWriter::Append(const Bytes& bytes) {
    Align();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void BitWriter::String(std::string_view text) {
    Align();
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
}

const Bytes& BitWriter::Finish() {
    Align();
    return bytes_;
}

int SignedBits(std::int32_t value) {
    int bits = 1;
    while (bits < 32) {
        const std::int64_t low = -(std::int64_t{1} << (bits - 1));
        const std::int64_t high = (std::int64_t{1} << (bits - 1)) - 1;
        if (value >= low && value <= high) break;
        ++bits;
    }
    return bits;
}

int UnsignedBits(std::uint32_t value) {
    int bits = 0;
    while (bits < 32 && (value >> bits) != 0) ++bits;
    return bits;
}

namespace {

std::int32_t Fixed16(double value) { return static_cast<std::int32_t>(std::lround(value * 65536.0)); }

int MaxSignedBits(std::initializer_list<std::int32_t> values) {
    int bits = 1;
    for (std::int32_t v : values) bits = std::max(bits, SignedBits(v));
    return bits;
}

void WriteGradient(BitWriter& out, const FillStyle& fill, bool withAlpha) {
    if (fill.stops.empty() || fill.stops.size() > 8) throw std::invalid_argument("gradient needs 1 to 8 stops");
    WriteMatrix(out, fill.gradientMatrix);
    out.WriteUnsigned(0, 2);  // spread: pad
    out.WriteUnsigned(0, 2);  // interpolation: normal RGB
    out.WriteUnsigned(static_cast<std::uint32_t>(fill.stops.size()), 4);
    for (const GradientStop& stop : fill.stops) {
        out.U8(stop.ratio);
        withAlpha ? WriteRgba(out, stop.color) : WriteRgb(out, {stop.color.r, stop.color.g, stop.color.b});
    }
}

void WriteStyleCount(BitWriter& out, std::size_t count, int shapeVersion) {
    if (count < 0xFF) {
        out.U8(static_cast<std::uint8_t>(count));
    } else {
        if (shapeVersion < 2) throw std::invalid_argument("too many styles for DefineShape");
        out.U8(0xFF);
        out.U16(static_cast<std::uint16_t>(count));
    }
}

}  // namespace

void WriteRect(BitWriter& out, const Rect& rect) {
    const int bits = MaxSignedBits({rect.xMin, rect.xMax, rect.yMin, rect.yMax});
    out.Align();
    out.WriteUnsigned(static_cast<std::uint32_t>(bits), 5);
    out.WriteSigned(rect.xMin, bits);
    out.WriteSigned(rect.xMax, bits);
    out.WriteSigned(rect.yMin, bits);
    out.WriteSigned(rect.yMax, bits);
    out.Align();
}

void WriteRgb(BitWriter& out, Rgb color) {
    out.U8(color.r);
    out.U8(color.g);
    out.U8(color.b);
}

void WriteRgba(BitWriter& out, Rgba color) {
    out.U8(color.r);
    out.U8(color.g);
    out.U8(color.b);
    out.U8(color.a);
}

void WriteMatrix(BitWriter& out, const Matrix& m) {
    out.Align();
    out.WriteUnsigned(m.hasScale ? 1 : 0, 1);
    if (m.hasScale) {
        const std::int32_t sx = Fixed16(m.scaleX), sy = Fixed16(m.scaleY);
        const int bits = MaxSignedBits({sx, sy});
        out.WriteUnsigned(static_cast<std::uint32_t>(bits), 5);
        out.WriteSigned(sx, bits);
        out.WriteSigned(sy, bits);
    }
    out.WriteUnsigned(m.hasRotate ? 1 : 0, 1);
    if (m.hasRotate) {
        const std::int32_t r0 = Fixed16(m.rotateSkew0), r1 = Fixed16(m.rotateSkew1);
        const int bits = MaxSignedBits({r0, r1});
        out.WriteUnsigned(static_cast<std::uint32_t>(bits), 5);
        out.WriteSigned(r0, bits);
        out.WriteSigned(r1, bits);
    }
    const int bits = (m.translateX == 0 && m.translateY == 0) ? 0 : MaxSignedBits({m.translateX, m.translateY});
    out.WriteUnsigned(static_cast<std::uint32_t>(bits), 5);
    out.WriteSigned(m.translateX, bits);
    out.WriteSigned(m.translateY, bits);
    out.Align();
}

namespace {

void WriteCx(BitWriter& out, const ColorTransform& cx, bool withAlpha) {
    out.Align();
    int bits = 1;
    if (cx.hasMult) {
        bits = std::max({bits, SignedBits(cx.multR), SignedBits(cx.multG), SignedBits(cx.multB)});
        if (withAlpha) bits = std::max(bits, SignedBits(cx.multA));
    }
    if (cx.hasAdd) {
        bits = std::max({bits, SignedBits(cx.addR), SignedBits(cx.addG), SignedBits(cx.addB)});
        if (withAlpha) bits = std::max(bits, SignedBits(cx.addA));
    }
    if (bits > 15) throw std::invalid_argument("colour transform term out of range");
    out.WriteUnsigned(cx.hasAdd ? 1 : 0, 1);
    out.WriteUnsigned(cx.hasMult ? 1 : 0, 1);
    out.WriteUnsigned(static_cast<std::uint32_t>(bits), 4);
    if (cx.hasMult) {
        out.WriteSigned(cx.multR, bits);
        out.WriteSigned(cx.multG, bits);
        out.WriteSigned(cx.multB, bits);
        if (withAlpha) out.WriteSigned(cx.multA, bits);
    }
    if (cx.hasAdd) {
        out.WriteSigned(cx.addR, bits);
        out.WriteSigned(cx.addG, bits);
        out.WriteSigned(cx.addB, bits);
        if (withAlpha) out.WriteSigned(cx.addA, bits);
    }
    out.Align();
}

}  // namespace

void WriteColorTransform(BitWriter& out, const ColorTransform& cx) { WriteCx(out, cx, false); }
void WriteColorTransformWithAlpha(BitWriter& out, const ColorTransform& cx) { WriteCx(out, cx, true); }

Matrix Matrix::Translate(std::int32_t x, std::int32_t y) {
    Matrix m;
    m.translateX = x;
    m.translateY = y;
    return m;
}

Matrix Matrix::ScaleTranslate(double sx, double sy, std::int32_t x, std::int32_t y) {
    Matrix m = Translate(x, y);
    m.hasScale = true;
    m.scaleX = sx;
    m.scaleY = sy;
    return m;
}

Matrix Matrix::Transform(double scale, double radians, std::int32_t x, std::int32_t y) {
    Matrix m = ScaleTranslate(scale * std::cos(radians), scale * std::cos(radians), x, y);
    if (radians != 0.0) {
        m.hasRotate = true;
        m.rotateSkew0 = scale * std::sin(radians);
        m.rotateSkew1 = -scale * std::sin(radians);
    }
    return m;
}

FillStyle FillStyle::Solid(Rgba color) {
    FillStyle fill;
    fill.color = color;
    return fill;
}

FillStyle FillStyle::Radial(std::int32_t cx, std::int32_t cy, std::int32_t radius,
                            std::vector<GradientStop> stops) {
    FillStyle fill;
    fill.kind = Kind::RadialGradient;
    const double scale = radius / 16384.0;
    fill.gradientMatrix = Matrix::ScaleTranslate(scale, scale, cx, cy);
    fill.stops = std::move(stops);
    return fill;
}

FillStyle FillStyle::Linear(std::int32_t x0, std::int32_t x1, std::int32_t cy,
                            std::vector<GradientStop> stops) {
    FillStyle fill;
    fill.kind = Kind::LinearGradient;
    const double scale = (x1 - x0) / 32768.0;
    fill.gradientMatrix = Matrix::ScaleTranslate(scale, scale, (x0 + x1) / 2, cy);
    fill.stops = std::move(stops);
    return fill;
}

int ShapeBuilder::AddFill(const FillStyle& fill) {
    fills_.push_back(fill);
    return static_cast<int>(fills_.size());
}

int ShapeBuilder::AddLine(const LineStyle& line) {
    lines_.push_back(line);
    return static_cast<int>(lines_.size());
}

void ShapeBuilder::Extend(std::int32_t x, std::int32_t y) {
    if (!hasBounds_) {
        bounds_ = {x, x, y, y};
        hasBounds_ = true;
        return;
    }
    bounds_.xMin = std::min(bounds_.xMin, x);
    bounds_.xMax = std::max(bounds_.xMax, x);
    bounds_.yMin = std::min(bounds_.yMin, y);
    bounds_.yMax = std::max(bounds_.yMax, y);
}

void ShapeBuilder::MoveTo(std::int32_t x, std::int32_t y, int fill, int line) {
    Record r{Record::Type::Style};
    r.x = x;
    r.y = y;
    r.fill = fill;
    r.line = line;
    records_.push_back(r);
    penX_ = x;
    penY_ = y;
    Extend(x, y);
}

void ShapeBuilder::LineTo(std::int32_t x, std::int32_t y) {
    if (x == penX_ && y == penY_) return;
    Record r{Record::Type::Line};
    r.x = x - penX_;
    r.y = y - penY_;
    records_.push_back(r);
    penX_ = x;
    penY_ = y;
    Extend(x, y);
}

void ShapeBuilder::CurveTo(std::int32_t controlX, std::int32_t controlY, std::int32_t x, std::int32_t y) {
    Record r{Record::Type::Curve};
    r.cx = controlX - penX_;
    r.cy = controlY - penY_;
    r.x = x - controlX;
    r.y = y - controlY;
    records_.push_back(r);
    penX_ = x;
    penY_ = y;
    Extend(controlX, controlY);
    Extend(x, y);
}

void ShapeBuilder::Rectangle(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                             int fill, int line) {
    MoveTo(x, y, fill, line);
    LineTo(x + width, y);
    LineTo(x + width, y + height);
    LineTo(x, y + height);
    LineTo(x, y);
}

void ShapeBuilder::Ellipse(std::int32_t cx, std::int32_t cy, std::int32_t rx, std::int32_t ry, int fill,
                           int line, int segments) {
    segments = std::max(segments, 4);
    const double step = 2.0 * std::numbers::pi / segments;
    const double reach = 1.0 / std::cos(step / 2.0);  // control points lie outside the circle
    auto at = [&](double angle, double k, bool isX) {
        return static_cast<std::int32_t>(std::lround(isX ? cx + k * rx * std::cos(angle) : cy + k * ry * std::sin(angle)));
    };
    MoveTo(at(0, 1, true), at(0, 1, false), fill, line);
    for (int i = 0; i < segments; ++i) {
        const double mid = (i + 0.5) * step;
        const double end = (i + 1) * step;
        CurveTo(at(mid, reach, true), at(mid, reach, false), at(end, 1, true), at(end, 1, false));
    }
}

void ShapeBuilder::Polygon(const std::vector<std::pair<std::int32_t, std::int32_t>>& points, int fill, int line) {
    if (points.empty()) return;
    MoveTo(points.front().first, points.front().second, fill, line);
    for (std::size_t i = 1; i < points.size(); ++i) LineTo(points[i].first, points[i].second);
    LineTo(points.front().first, points.front().second);
}

Rect ShapeBuilder::Bounds() const {
    std::int32_t pad = 0;
    for (const LineStyle& line : lines_) pad = std::max<std::int32_t>(pad, (line.width + 1) / 2);
    Rect r = bounds_;
    r.xMin -= pad;
    r.yMin -= pad;
    r.xMax += pad;
    r.yMax += pad;
    return r;
}

Bytes ShapeBuilder::DefineShapeBody(std::uint16_t shapeId, int shapeVersion) const {
    const bool withAlpha = shapeVersion >= 3;
    BitWriter out;
    out.U16(shapeId);
    WriteRect(out, Bounds());

    WriteStyleCount(out, fills_.size(), shapeVersion);
    for (const FillStyle& fill : fills_) {
        out.U8(static_cast<std::uint8_t>(fill.kind));
        if (fill.kind == FillStyle::Kind::Solid) {
            withAlpha ? WriteRgba(out, fill.color) : WriteRgb(out, {fill.color.r, fill.color.g, fill.color.b});
        } else {
            WriteGradient(out, fill, withAlpha);
        }
    }
    WriteStyleCount(out, lines_.size(), shapeVersion);
    for (const LineStyle& line : lines_) {
        out.U16(line.width);
        withAlpha ? WriteRgba(out, line.color) : WriteRgb(out, {line.color.r, line.color.g, line.color.b});
    }

    const int fillBits = UnsignedBits(static_cast<std::uint32_t>(fills_.size()));
    const int lineBits = UnsignedBits(static_cast<std::uint32_t>(lines_.size()));
    out.WriteUnsigned(static_cast<std::uint32_t>(fillBits), 4);
    out.WriteUnsigned(static_cast<std::uint32_t>(lineBits), 4);

    for (const Record& r : records_) {
        switch (r.type) {
        case Record::Type::Style: {
            out.WriteUnsigned(0, 1);  // non-edge record
            out.WriteUnsigned(0, 1);  // no new styles
            out.WriteUnsigned(1, 1);  // line style
            out.WriteUnsigned(1, 1);  // fill style 1
            out.WriteUnsigned(1, 1);  // fill style 0
            out.WriteUnsigned(1, 1);  // move to
            const int bits = MaxSignedBits({r.x, r.y});
            out.WriteUnsigned(static_cast<std::uint32_t>(bits), 5);
            out.WriteSigned(r.x, bits);
            out.WriteSigned(r.y, bits);
            out.WriteUnsigned(static_cast<std::uint32_t>(r.fill), fillBits);
            out.WriteUnsigned(0, fillBits);
            out.WriteUnsigned(static_cast<std::uint32_t>(r.line), lineBits);
            break;
        }
        case Record::Type::Line: {
            out.WriteUnsigned(1, 1);  // edge
            out.WriteUnsigned(1, 1);  // straight
            if (r.x != 0 && r.y != 0) {
                const int bits = std::max(2, MaxSignedBits({r.x, r.y}));
                out.WriteUnsigned(static_cast<std::uint32_t>(bits - 2), 4);
                out.WriteUnsigned(1, 1);  // general line
                out.WriteSigned(r.x, bits);
                out.WriteSigned(r.y, bits);
            } else {
                const bool vertical = r.x == 0;
                const std::int32_t delta = vertical ? r.y : r.x;
                const int bits = std::max(2, SignedBits(delta));
                out.WriteUnsigned(static_cast<std::uint32_t>(bits - 2), 4);
                out.WriteUnsigned(0, 1);
                out.WriteUnsigned(vertical ? 1 : 0, 1);
                out.WriteSigned(delta, bits);
            }
            break;
        }
        case Record::Type::Curve: {
            out.WriteUnsigned(1, 1);  // edge
            out.WriteUnsigned(0, 1);  // curved
            const int bits = std::max(2, MaxSignedBits({r.cx, r.cy, r.x, r.y}));
            out.WriteUnsigned(static_cast<std::uint32_t>(bits - 2), 4);
            out.WriteSigned(r.cx, bits);
            out.WriteSigned(r.cy, bits);
            out.WriteSigned(r.x, bits);
            out.WriteSigned(r.y, bits);
            break;
        }
        }
    }
    out.WriteUnsigned(0, 6);  // end of shape
    return out.Finish();
}

Bytes EncodeTag(const Tag& tag) {
    BitWriter out;
    if (tag.body.size() < 0x3F) {
        out.U16(static_cast<std::uint16_t>(tag.code << 6 | tag.body.size()));
    } else {
        out.U16(static_cast<std::uint16_t>(tag.code << 6 | 0x3F));
        out.U32(static_cast<std::uint32_t>(tag.body.size()));
    }
    out.Append(tag.body);
    return out.Finish();
}

Tag EndTag() { return {code::End, {}}; }
Tag ShowFrameTag() { return {code::ShowFrame, {}}; }
Tag ProtectTag() { return {code::Protect, {}}; }

Tag SetBackgroundColorTag(Rgb color) {
    BitWriter out;
    WriteRgb(out, color);
    return {code::SetBackgroundColor, out.Finish()};
}

Tag FrameLabelTag(std::string_view name) {
    BitWriter out;
    out.String(name);
    return {code::FrameLabel, out.Finish()};
}

Tag DefineShapeTag(std::uint16_t shapeId, const ShapeBuilder& shape, int shapeVersion) {
    const std::uint16_t tagCode = shapeVersion >= 3   ? code::DefineShape3
                                  : shapeVersion == 2 ? code::DefineShape2
                                                      : code::DefineShape;
    return {tagCode, shape.DefineShapeBody(shapeId, shapeVersion)};
}

Tag DefineSpriteTag(std::uint16_t spriteId, std::uint16_t frameCount, const std::vector<Tag>& frames) {
    BitWriter out;
    out.U16(spriteId);
    out.U16(frameCount);
    for (const Tag& tag : frames) out.Append(EncodeTag(tag));
    out.Append(EncodeTag(EndTag()));
    return {code::DefineSprite, out.Finish()};
}

Tag PlaceObject2Tag(const Placement& p) {
    BitWriter out;
    std::uint8_t flags = 0;
    if (p.hasColorTransform) flags |= 0x08;
    if (p.hasMatrix) flags |= 0x04;
    if (p.characterId != 0) flags |= 0x02;
    if (p.move) flags |= 0x01;
    out.U8(flags);
    out.U16(p.depth);
    if (p.characterId != 0) out.U16(p.characterId);
    if (p.hasMatrix) WriteMatrix(out, p.matrix);
    if (p.hasColorTransform) WriteColorTransformWithAlpha(out, p.colorTransform);
    return {code::PlaceObject2, out.Finish()};
}

Tag RemoveObject2Tag(std::uint16_t depth) {
    BitWriter out;
    out.U16(depth);
    return {code::RemoveObject2, out.Finish()};
}

Tag StopActionTag() {
    constexpr std::uint8_t kActionStop = 0x07;
    return {code::DoAction, {kActionStop, 0x00}};
}

Tag DeviceFontTag(std::uint16_t fontId, std::string_view name, bool bold, bool italic) {
    if (name.empty() || name.size() > 255) throw std::invalid_argument("font name of 1 to 255 bytes");
    constexpr std::uint8_t kWideCodes = 0x04, kItalic = 0x02, kBold = 0x01;
    BitWriter out;
    out.U16(fontId);
    out.U8(static_cast<std::uint8_t>(kWideCodes | (italic ? kItalic : 0) | (bold ? kBold : 0)));
    out.U8(0);  // no language code: the player's locale decides
    out.U8(static_cast<std::uint8_t>(name.size()));
    out.Append(Bytes(name.begin(), name.end()));
    out.U16(0);  // no glyphs
    // The code table's offset, as authoring tools write it even without glyphs; the
    // (empty) code table follows at once.
    out.U16(2);
    return {code::DefineFont2, out.Finish()};
}

Tag DefineEditTextTag(std::uint16_t fieldId, const EditText& field) {
    if (field.text.find('\0') != std::string_view::npos ||
        field.variableName.find('\0') != std::string_view::npos) {
        throw std::invalid_argument("text with a NUL byte");
    }
    constexpr std::uint8_t kHasText = 0x80, kWordWrap = 0x40, kMultiline = 0x20, kReadOnly = 0x08,
                           kHasTextColor = 0x04, kHasFont = 0x01;
    constexpr std::uint8_t kNoSelect = 0x10, kBorder = 0x08;
    std::uint8_t first = kHasTextColor;
    if (!field.text.empty()) first |= kHasText;
    if (field.wordWrap) first |= kWordWrap;
    if (field.multiline) first |= kMultiline;
    if (field.readOnly) first |= kReadOnly;
    if (field.fontId != 0) first |= kHasFont;
    std::uint8_t second = 0;
    if (!field.selectable) second |= kNoSelect;
    if (field.border) second |= kBorder;

    BitWriter out;
    out.U16(fieldId);
    WriteRect(out, field.bounds);
    out.U8(first);
    out.U8(second);
    if (field.fontId != 0) {
        out.U16(field.fontId);
        out.U16(field.fontHeight);
    }
    WriteRgba(out, field.color);
    out.String(field.variableName);
    if (!field.text.empty()) out.String(field.text);
    return {code::DefineEditText, out.Finish()};
}

Tag DefineButton2Tag(std::uint16_t buttonId, const std::vector<ButtonRecord>& records, const Bytes& onPress) {
    BitWriter characters;
    for (const ButtonRecord& r : records) {
        std::uint8_t states = 0;
        if (r.hitTest) states |= 0x08;
        if (r.down) states |= 0x04;
        if (r.over) states |= 0x02;
        if (r.up) states |= 0x01;
        characters.U8(states);
        characters.U16(r.characterId);
        characters.U16(r.depth);
        WriteMatrix(characters, r.matrix);
        WriteColorTransformWithAlpha(characters, ColorTransform{});
    }
    characters.U8(0);  // end of the records
    const Bytes& recordBytes = characters.Finish();

    BitWriter out;
    out.U16(buttonId);
    out.U8(0);  // a push button, not a menu item
    // The actions' offset counts from this field itself; 0: none.
    out.U16(onPress.empty() ? 0 : static_cast<std::uint16_t>(2 + recordBytes.size()));
    out.Append(recordBytes);
    if (!onPress.empty()) {
        constexpr std::uint8_t kOverUpToOverDown = 0x04;  // the pointer goes down over the button
        out.U16(0);  // the last (only) condition
        out.U8(kOverUpToOverDown);
        out.U8(0);  // no key, no other transition
        out.Append(onPress);
        out.U8(0);  // end of the actions
    }
    return {code::DefineButton2, out.Finish()};
}

Tag DefineSoundTag(std::uint16_t soundId, int sampleRate, const std::vector<std::int16_t>& samples) {
    std::uint32_t rateCode = 0;
    switch (sampleRate) {
    case 5512: rateCode = 0; break;
    case 11025: rateCode = 1; break;
    case 22050: rateCode = 2; break;
    case 44100: rateCode = 3; break;
    default: throw std::invalid_argument("unsupported sample rate");
    }
    constexpr std::uint32_t kUncompressedLittleEndian = 3;
    BitWriter out;
    out.U16(soundId);
    out.WriteUnsigned(kUncompressedLittleEndian, 4);
    out.WriteUnsigned(rateCode, 2);
    out.WriteUnsigned(1, 1);  // 16-bit samples
    out.WriteUnsigned(0, 1);  // mono
    out.U32(static_cast<std::uint32_t>(samples.size()));
    for (std::int16_t s : samples) out.U16(static_cast<std::uint16_t>(s));
    return {code::DefineSound, out.Finish()};
}

Tag StartSoundTag(std::uint16_t soundId, bool noMultiple) {
    BitWriter out;
    out.U16(soundId);
    out.U8(noMultiple ? 0x10 : 0x00);
    return {code::StartSound, out.Finish()};
}

Movie::Movie(int version, Rect stage, double framesPerSecond)
    : version_(version), stage_(stage), framesPerSecond_(framesPerSecond) {
    if (version < 1 || version > 10) throw std::invalid_argument("SWF version 1 to 10");
}

void Movie::Add(Tag tag) {
    if (tag.code == code::ShowFrame) ++frameCount_;
    const Bytes encoded = EncodeTag(tag);
    tags_.insert(tags_.end(), encoded.begin(), encoded.end());
}

void Movie::ShowFrame() { Add(ShowFrameTag()); }

Bytes Movie::Header(std::uint32_t fileLength) const {
    BitWriter out;
    out.U8('F');
    out.U8('W');
    out.U8('S');
    out.U8(static_cast<std::uint8_t>(version_));
    out.U32(fileLength);
    WriteRect(out, stage_);
    out.U16(static_cast<std::uint16_t>(std::lround(framesPerSecond_ * 256.0)));  // 8.8 fixed point
    out.U16(static_cast<std::uint16_t>(frameCount_));
    return out.Finish();
}

std::size_t Movie::Size() const { return Header(0).size() + tags_.size() + EncodeTag(EndTag()).size(); }

Bytes Movie::Finish() const {
    const Bytes end = EncodeTag(EndTag());
    Bytes file = Header(static_cast<std::uint32_t>(Size()));
    file.insert(file.end(), tags_.begin(), tags_.end());
    file.insert(file.end(), end.begin(), end.end());
    return file;
}

}  // namespace pw::swf
