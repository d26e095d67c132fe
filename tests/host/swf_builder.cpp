#include "tests/host/swf_builder.h"


namespace pw::test {

namespace {

constexpr int kTwipsPerPixel = 20;

class BitWriter {
public:
    void Bits(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            if (used_ == 0) bytes_.push_back(0);
            if ((value >> i) & 1U) bytes_.back() = static_cast<std::uint8_t>(bytes_.back() | (0x80U >> used_));
            used_ = (used_ + 1) % 8;
        }
    }
    void Signed(std::int32_t value, int count) { Bits(static_cast<std::uint32_t>(value) & ((1U << count) - 1), count); }
    void Align() { used_ = 0; }
    void U8(std::uint32_t v) { Align(); bytes_.push_back(static_cast<std::uint8_t>(v)); }
    void U16(std::uint32_t v) { U8(v & 0xFF); U8(v >> 8); }
    void U32(std::uint32_t v) { U16(v & 0xFFFF); U16(v >> 16); }
    void Rgb(std::uint32_t rgb) { U8(rgb >> 16); U8((rgb >> 8) & 0xFF); U8(rgb & 0xFF); }
    void Append(const std::vector<std::uint8_t>& more) { Align(); bytes_.insert(bytes_.end(), more.begin(), more.end()); }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
    int used_ = 0;
};

// Bits needed to hold every value as a signed field.
int SignedBits(std::initializer_list<std::int32_t> values) {
    int bits = 1;
    for (std::int32_t v : values) {
        int needed = 1;
        while (v < -(1 << (needed - 1)) || v >= (1 << (needed - 1))) ++needed;
        if (needed > bits) bits = needed;
    }
    return bits;
}

void Rect(BitWriter& w, std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax) {
    const int bits = SignedBits({xMin, xMax, yMin, yMax});
    w.Bits(static_cast<std::uint32_t>(bits), 5);
    w.Signed(xMin, bits);
    w.Signed(xMax, bits);
    w.Signed(yMin, bits);
    w.Signed(yMax, bits);
    w.Align();
}

void TranslateMatrix(BitWriter& w, std::int32_t x, std::int32_t y) {
    const int bits = SignedBits({x, y});
    w.Bits(0, 1);  // no scale
    w.Bits(0, 1);  // no rotation
    w.Bits(static_cast<std::uint32_t>(bits), 5);
    w.Signed(x, bits);
    w.Signed(y, bits);
    w.Align();
}

void Tag(BitWriter& w, int code, const std::vector<std::uint8_t>& body) {
    if (body.size() < 63) {
        w.U16(static_cast<std::uint32_t>(code << 6) | static_cast<std::uint32_t>(body.size()));
    } else {
        w.U16(static_cast<std::uint32_t>(code << 6) | 0x3F);
        w.U32(static_cast<std::uint32_t>(body.size()));
    }
    w.Append(body);
}

void Line(BitWriter& w, std::int32_t dx, std::int32_t dy) {
    const int bits = SignedBits({dx, dy});
    const int numBits = bits < 2 ? 2 : bits;
    w.Bits(1, 1);  // edge
    w.Bits(1, 1);  // straight
    w.Bits(static_cast<std::uint32_t>(numBits - 2), 4);
    w.Bits(1, 1);  // general line: both deltas
    w.Signed(dx, numBits);
    w.Signed(dy, numBits);
}

std::vector<std::uint8_t> DefineSquare(int id, std::int32_t side, std::uint32_t rgb) {
    BitWriter s;
    s.U16(static_cast<std::uint32_t>(id));
    Rect(s, 0, side, 0, side);
    s.U8(1);  // one fill style
    s.U8(0x00);  // solid
    s.Rgb(rgb);
    s.U8(0);  // no line styles
    s.Bits(1, 4);  // fill index bits
    s.Bits(0, 4);  // line index bits
    // Style change: move to (0,0) with fill style 0 := 1.
    s.Bits(0, 1);
    s.Bits(0b00011, 5);
    const int moveBits = SignedBits({0, 0});
    s.Bits(static_cast<std::uint32_t>(moveBits), 5);
    s.Signed(0, moveBits);
    s.Signed(0, moveBits);
    s.Bits(1, 1);
    Line(s, side, 0);
    Line(s, 0, side);
    Line(s, -side, 0);
    Line(s, 0, -side);
    s.Bits(0, 6);  // end of shape
    s.Align();
    return s.Bytes();
}

std::vector<std::uint8_t> PlaceSquare(bool first, std::int32_t x, std::int32_t y) {
    BitWriter p;
    constexpr std::uint32_t kMove = 0x01, kHasCharacter = 0x02, kHasMatrix = 0x04;
    p.U8(first ? (kHasCharacter | kHasMatrix) : (kMove | kHasMatrix));
    p.U16(1);  // depth
    if (first) p.U16(1);  // character id
    TranslateMatrix(p, x, y);
    return p.Bytes();
}

std::vector<std::uint8_t> Movie(std::int32_t width, std::int32_t height, int framesPerSecond, int frames,
                                const std::vector<std::uint8_t>& tags) {
    BitWriter body;
    Rect(body, 0, width, 0, height);
    body.U16(static_cast<std::uint32_t>(framesPerSecond) << 8);  // 8.8 fixed point
    body.U16(static_cast<std::uint32_t>(frames));
    body.Append(tags);

    BitWriter file;
    file.U8('F');
    file.U8('W');
    file.U8('S');
    file.U8(6);
    file.U32(static_cast<std::uint32_t>(8 + body.Bytes().size()));
    file.Append(body.Bytes());
    return file.Bytes();
}

}  // namespace

std::vector<std::uint8_t> MakeSquareMovie(const SquareMovie& movie) {
    const std::int32_t width = movie.widthPx * kTwipsPerPixel;
    const std::int32_t height = movie.heightPx * kTwipsPerPixel;
    const std::int32_t side = movie.squarePx * kTwipsPerPixel;

    BitWriter body;
    Tag(body, 9, [&] { BitWriter c; c.Rgb(movie.backgroundRgb); return c.Bytes(); }());
    Tag(body, 2, DefineSquare(1, side, movie.squareRgb));
    const std::int32_t y = (height - side) / 2;
    for (int frame = 0; frame < movie.frames; ++frame) {
        const std::int32_t x = (width - side) * frame / (movie.frames > 1 ? movie.frames - 1 : 1);
        Tag(body, 26, PlaceSquare(frame == 0, x, y));
        Tag(body, 1, {});
    }
    Tag(body, 0, {});
    return Movie(width, height, movie.framesPerSecond, movie.frames, body.Bytes());
}

}  // namespace pw::test
