#include "swf_reader.h"

namespace pw::testing {

std::uint32_t BitReader::Unsigned(int bits) {
    std::uint32_t value = 0;
    for (int i = 0; i < bits; ++i) {
        if (byte_ >= bytes_.size()) {
            overrun_ = true;
            return 0;
        }
        value = (value << 1) | ((bytes_[byte_] >> (7 - bit_)) & 1u);
        if (++bit_ == 8) {
            bit_ = 0;
            ++byte_;
        }
    }
    return value;
}

std::int32_t BitReader::Signed(int bits) {
    if (bits == 0) return 0;
    const std::uint32_t raw = Unsigned(bits);
    const std::uint32_t sign = 1u << (bits - 1);
    return static_cast<std::int32_t>((raw ^ sign)) - static_cast<std::int32_t>(sign);
}

std::uint8_t BitReader::U8() {
    Align();
    return static_cast<std::uint8_t>(Unsigned(8));
}

std::uint16_t BitReader::U16() {
    const std::uint16_t low = U8();
    return static_cast<std::uint16_t>(low | (U8() << 8));
}

std::uint32_t BitReader::U32() {
    const std::uint32_t low = U16();
    return low | (static_cast<std::uint32_t>(U16()) << 16);
}

std::vector<SwfTag> ReadTags(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end, bool& walkedToEnd) {
    std::vector<SwfTag> tags;
    BitReader in(file.first(end), begin);
    walkedToEnd = false;
    while (in.Offset() < end) {
        const std::uint16_t header = in.U16();
        SwfTag tag;
        tag.code = static_cast<std::uint16_t>(header >> 6);
        tag.length = header & 0x3F;
        if (tag.length == 0x3F) tag.length = in.U32();
        if (in.Overrun()) return tags;
        tag.bodyOffset = in.Offset();
        if (tag.bodyOffset + tag.length > end) return tags;
        tags.push_back(tag);
        in = BitReader(file.first(end), tag.bodyOffset + tag.length);
        if (tag.code == 0) break;
    }
    walkedToEnd = !tags.empty() && tags.back().code == 0 && tags.back().bodyOffset + tags.back().length == end;
    return tags;
}

std::optional<SwfFile> ReadSwf(std::span<const std::uint8_t> file) {
    if (file.size() < 8) return std::nullopt;
    SwfFile swf;
    swf.signature.assign(file.begin(), file.begin() + 3);
    swf.version = file[3];
    BitReader in(file, 4);
    swf.lengthField = in.U32();
    const int bits = static_cast<int>(in.Unsigned(5));
    swf.stage.xMin = in.Signed(bits);
    swf.stage.xMax = in.Signed(bits);
    swf.stage.yMin = in.Signed(bits);
    swf.stage.yMax = in.Signed(bits);
    swf.frameRate = in.U16();
    swf.frameCount = in.U16();
    if (in.Overrun()) return std::nullopt;
    swf.tags = ReadTags(file, in.Offset(), file.size(), swf.walkedToEnd);
    return swf;
}

namespace {

SwfMatrix ReadMatrix(BitReader& in) {
    SwfMatrix m;
    in.Align();
    if (in.Unsigned(1)) {
        const int bits = static_cast<int>(in.Unsigned(5));
        m.scaleX = in.Signed(bits) / 65536.0;
        m.scaleY = in.Signed(bits) / 65536.0;
    }
    if (in.Unsigned(1)) {
        const int bits = static_cast<int>(in.Unsigned(5));
        m.skew0 = in.Signed(bits) / 65536.0;
        m.skew1 = in.Signed(bits) / 65536.0;
    }
    const int bits = static_cast<int>(in.Unsigned(5));
    m.translateX = in.Signed(bits);
    m.translateY = in.Signed(bits);
    in.Align();
    return m;
}

SwfColorTransform ReadColorTransformWithAlpha(BitReader& in) {
    SwfColorTransform cx;
    in.Align();
    cx.hasAdd = in.Unsigned(1) != 0;
    cx.hasMult = in.Unsigned(1) != 0;
    const int bits = static_cast<int>(in.Unsigned(4));
    if (cx.hasMult)
        for (std::int32_t& v : cx.mult) v = in.Signed(bits);
    if (cx.hasAdd)
        for (std::int32_t& v : cx.add) v = in.Signed(bits);
    in.Align();
    return cx;
}

}  // namespace

SwfPlacement ReadPlaceObject2(std::span<const std::uint8_t> file, const SwfTag& tag) {
    BitReader in(file.first(tag.bodyOffset + tag.length), tag.bodyOffset);
    SwfPlacement p;
    const std::uint8_t flags = in.U8();
    p.move = (flags & 0x01) != 0;
    p.depth = in.U16();
    if (flags & 0x02) p.characterId = in.U16();
    if (flags & 0x04) p.matrix = ReadMatrix(in);
    if (flags & 0x08) p.colorTransform = ReadColorTransformWithAlpha(in);
    return p;
}

}  // namespace pw::testing
