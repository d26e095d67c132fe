#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>

#include "swf_reader.h"
#include "tools/swf/swf_writer.h"

namespace pw::swf {
namespace {

TEST(SwfBits, FieldsPackMostSignificantBitFirstAndBytesAreLittleEndian) {
    BitWriter out;
    out.WriteUnsigned(0b101, 3);
    out.WriteSigned(-1, 2);
    out.WriteUnsigned(0b1, 1);  // 6 bits: 101 11 1 -> 1011 1100
    out.U16(0x1234);            // aligns first
    EXPECT_EQ(out.Finish(), (Bytes{0xBC, 0x34, 0x12}));
}

TEST(SwfBits, SignedAndUnsignedWidthsAtTheirBoundaries) {
    struct Case {
        std::int32_t value;
        int bits;
    };
    for (const Case c : {Case{0, 1}, {-1, 1}, {1, 2}, {-2, 2}, {2, 3}, {63, 7}, {64, 8}, {-64, 7}, {-65, 8}, {65535, 17}, {-65536, 17}})
        EXPECT_EQ(SignedBits(c.value), c.bits) << c.value;
    for (const Case c : {Case{0, 0}, {1, 1}, {2, 2}, {3, 2}, {255, 8}, {256, 9}})
        EXPECT_EQ(UnsignedBits(static_cast<std::uint32_t>(c.value)), c.bits) << c.value;
}

TEST(SwfBits, NegativeFieldsReadBackThroughAnIndependentReader) {
    BitWriter out;
    const std::int32_t values[] = {-4200, 4200, -1, 0, 16383, -16384};
    for (std::int32_t v : values) out.WriteSigned(v, 15);
    const Bytes bytes = out.Finish();
    testing::BitReader in(bytes);
    for (std::int32_t v : values) EXPECT_EQ(in.Signed(15), v);
    EXPECT_FALSE(in.Overrun());
}

TEST(SwfTags, ShortFormUpTo62BytesLongFormFrom63) {
    for (std::size_t length : {0u, 1u, 62u, 63u, 64u, 300u}) {
        const Bytes encoded = EncodeTag({code::FrameLabel, Bytes(length, 'a')});
        const bool longForm = length >= 63;
        ASSERT_EQ(encoded.size(), length + (longForm ? 6 : 2)) << length;
        const std::uint16_t header = static_cast<std::uint16_t>(encoded[0] | encoded[1] << 8);
        EXPECT_EQ(header >> 6, code::FrameLabel);
        if (longForm) {
            EXPECT_EQ(header & 0x3F, 0x3F);
            EXPECT_EQ(encoded[2] | encoded[3] << 8 | encoded[4] << 16 | encoded[5] << 24, static_cast<int>(length));
        } else {
            EXPECT_EQ(header & 0x3Fu, length);
        }
    }
}

TEST(SwfTags, PlacementRoundTripsMatrixAndColourTransform) {
    Placement p;
    p.depth = 7;
    p.characterId = 12;
    p.hasMatrix = true;
    p.matrix = Matrix::Transform(1.5, 0.5, -300, 7000);
    p.hasColorTransform = true;
    p.colorTransform.hasMult = true;
    p.colorTransform.multR = 200;
    p.colorTransform.multA = 128;
    p.colorTransform.hasAdd = true;
    p.colorTransform.addB = -60;
    Movie movie(8, {0, 100, 0, 100}, 24);
    movie.Add(PlaceObject2Tag(p));
    movie.ShowFrame();
    const Bytes file = movie.Finish();
    const auto swf = testing::ReadSwf(file);
    ASSERT_TRUE(swf);
    ASSERT_TRUE(swf->walkedToEnd);
    ASSERT_EQ(swf->tags.size(), 3u);
    const auto read = testing::ReadPlaceObject2(file, swf->tags[0]);
    EXPECT_EQ(read.depth, 7);
    EXPECT_EQ(read.characterId, 12);
    EXPECT_FALSE(read.move);
    ASSERT_TRUE(read.matrix);
    EXPECT_NEAR(read.matrix->scaleX, 1.5 * std::cos(0.5), 1e-4);
    EXPECT_NEAR(read.matrix->skew0, 1.5 * std::sin(0.5), 1e-4);
    EXPECT_NEAR(read.matrix->skew1, -1.5 * std::sin(0.5), 1e-4);
    EXPECT_EQ(read.matrix->translateX, -300);
    EXPECT_EQ(read.matrix->translateY, 7000);
    ASSERT_TRUE(read.colorTransform);
    EXPECT_EQ(read.colorTransform->mult[0], 200);
    EXPECT_EQ(read.colorTransform->mult[3], 128);
    EXPECT_EQ(read.colorTransform->add[2], -60);
    EXPECT_EQ(swf->frameCount, 1);
    EXPECT_EQ(swf->lengthField, file.size());
}

TEST(SwfShapes, BoundsCoverCurveControlPointsAndHalfTheLineWidth) {
    ShapeBuilder shape;
    const int line = shape.AddLine({40, {}});
    shape.MoveTo(0, 0, shape.AddFill(FillStyle::Solid({})), line);
    shape.CurveTo(500, -800, 1000, 0);
    shape.LineTo(0, 0);
    const Rect bounds = shape.Bounds();
    EXPECT_EQ(bounds.xMin, -20);
    EXPECT_EQ(bounds.xMax, 1020);
    EXPECT_EQ(bounds.yMin, -820);
    EXPECT_EQ(bounds.yMax, 20);
}

TEST(SwfShapes, MoreThan254FillsUseTheExtendedCount) {
    ShapeBuilder shape;
    for (int i = 0; i < 300; ++i) shape.Rectangle(i * 10, 0, 10, 10, shape.AddFill(FillStyle::Solid({})));
    const Bytes body = shape.DefineShapeBody(1, 3);
    // id (2) + rect; the rect here is 5 + 4 * 13 bits = 8 bytes.
    ASSERT_GT(body.size(), 13u);
    EXPECT_EQ(body[10], 0xFF);
    EXPECT_EQ(body[11] | body[12] << 8, 300);
    EXPECT_THROW(shape.DefineShapeBody(1, 1), std::invalid_argument);
}

}  // namespace
}  // namespace pw::swf

namespace pw::swf {
namespace {

// A version 5 field keeps its text as the author's bytes (here GBK), written verbatim.
TEST(SwfText, EditTextKeepsRawBytesAndItsFontAndBorder) {
    const std::string gbk = "\xC4\xE3\xBA\xC3";  // 你好 in GBK
    EditText field;
    field.bounds = {0, 2000, 0, 400};
    field.fontId = 3;
    field.fontHeight = 480;
    field.color = {1, 2, 3, 255};
    field.text = gbk;
    field.variableName = "v";
    field.border = true;
    Movie movie(5, {0, 2000, 0, 400}, 12);
    movie.Add(DeviceFontTag(3, "_sans"));
    movie.Add(DefineEditTextTag(4, field));
    movie.ShowFrame();
    const Bytes file = movie.Finish();
    const auto swf = testing::ReadSwf(file);
    ASSERT_TRUE(swf);
    ASSERT_TRUE(swf->walkedToEnd);
    EXPECT_EQ(swf->version, 5);
    ASSERT_EQ(swf->tags.size(), 4u);

    ASSERT_EQ(swf->tags[0].code, code::DefineFont2);
    testing::BitReader font(file, swf->tags[0].bodyOffset);
    EXPECT_EQ(font.U16(), 3);
    font.U8();  // flags
    font.U8();  // language
    ASSERT_EQ(font.U8(), 5);
    std::string name;
    for (int i = 0; i < 5; ++i) name += static_cast<char>(font.U8());
    EXPECT_EQ(name, "_sans");
    EXPECT_EQ(font.U16(), 0);  // no glyphs

    ASSERT_EQ(swf->tags[1].code, code::DefineEditText);
    testing::BitReader text(file, swf->tags[1].bodyOffset);
    EXPECT_EQ(text.U16(), 4);
    const int bits = static_cast<int>(text.Unsigned(5));
    for (int i = 0; i < 4; ++i) text.Signed(bits);
    text.Align();
    const std::uint8_t first = text.U8();
    const std::uint8_t second = text.U8();
    EXPECT_EQ(first & 0x81, 0x81);   // text and font
    EXPECT_EQ(second & 0x08, 0x08);  // border
    EXPECT_EQ(second & 0x01, 0x00);  // device font, not outlines
    EXPECT_EQ(text.U16(), 3);
    EXPECT_EQ(text.U16(), 480);
    EXPECT_EQ(text.U8(), 1);
    text.U8();
    text.U8();
    text.U8();
    EXPECT_EQ(text.U8(), 'v');
    EXPECT_EQ(text.U8(), 0);
    std::string initial;
    for (std::uint8_t c = text.U8(); c != 0 && !text.Overrun(); c = text.U8()) initial += static_cast<char>(c);
    EXPECT_EQ(initial, gbk);
    EXPECT_EQ(text.Offset(), swf->tags[1].bodyOffset + swf->tags[1].length);
}

TEST(SwfText, RejectsWhatTheFormatCannotHold) {
    EditText withNul;
    const std::string nul("a\0b", 3);
    withNul.text = nul;
    EXPECT_THROW(DefineEditTextTag(1, withNul), std::invalid_argument);
    EXPECT_THROW(DeviceFontTag(1, ""), std::invalid_argument);
    EXPECT_THROW(Movie(11, {}, 12), std::invalid_argument);
    EXPECT_THROW(Movie(0, {}, 12), std::invalid_argument);
}

// Each record says in which states its character shows; the list ends with a zero byte.
TEST(SwfButtons, RecordsCarryTheirStatesAndEndTheTag) {
    ButtonRecord up;
    up.characterId = 1;
    up.up = true;
    up.hitTest = true;
    ButtonRecord over;
    over.characterId = 2;
    over.depth = 2;
    over.over = true;
    ButtonRecord down;
    down.characterId = 3;
    down.depth = 3;
    down.down = true;
    const Tag tag = DefineButton2Tag(9, {up, over, down});
    ASSERT_EQ(tag.code, code::DefineButton2);
    testing::BitReader in(tag.body);
    EXPECT_EQ(in.U16(), 9);
    EXPECT_EQ(in.U8(), 0);
    EXPECT_EQ(in.U16(), 0);  // no actions
    for (const auto& [states, id] : {std::pair{0x09, 1}, {0x02, 2}, {0x04, 3}}) {
        EXPECT_EQ(in.U8(), states);
        EXPECT_EQ(in.U16(), id);
        EXPECT_EQ(in.U16(), id);  // depth equals id here
        // MATRIX without scale or rotation, translate bits 0
        EXPECT_EQ(in.Unsigned(1), 0u);
        EXPECT_EQ(in.Unsigned(1), 0u);
        EXPECT_EQ(in.Unsigned(5), 0u);
        in.Align();
        // CXFORMWITHALPHA without terms
        EXPECT_EQ(in.Unsigned(2), 0u);
        in.Unsigned(4);
        in.Align();
    }
    EXPECT_EQ(in.U8(), 0);
    EXPECT_EQ(in.Offset(), tag.body.size());
    EXPECT_FALSE(in.Overrun());
}

}  // namespace
}  // namespace pw::swf
