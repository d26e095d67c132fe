#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "assets/idle_movie.h"
#include "swf_reader.h"
#include "tools/swf/idle_movie_maker.h"

namespace pw {
namespace {

using testing::ReadPlaceObject2;
using testing::ReadSwf;
using testing::SwfTag;

constexpr std::uint16_t kShowFrame = 1, kDefineShape = 2, kSetBackgroundColor = 9, kDefineShape2 = 22,
                        kProtect = 24, kPlaceObject2 = 26, kDefineShape3 = 32, kDefineSprite = 39;

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

TEST(IdleMovie, HeaderIsTheFixedOne) {
    const auto bytes = IdleMovieBytes();
    ASSERT_EQ(bytes.size(), 2066u);
    const auto swf = ReadSwf(bytes);
    ASSERT_TRUE(swf);
    EXPECT_EQ(swf->signature, "FWS");
    EXPECT_EQ(swf->version, 4);
    EXPECT_EQ(swf->lengthField, 2066u);
    EXPECT_EQ(swf->stage.xMin, 0);
    EXPECT_EQ(swf->stage.xMax, 4200);
    EXPECT_EQ(swf->stage.yMin, 0);
    EXPECT_EQ(swf->stage.yMax, 2800);
    EXPECT_EQ(swf->frameRate, 12 * 256);
    EXPECT_EQ(swf->frameCount, 30);
}

TEST(IdleMovie, TagsWalkToTheEndAndEndWithEnd) {
    const auto bytes = IdleMovieBytes();
    const auto swf = ReadSwf(bytes);
    ASSERT_TRUE(swf);
    EXPECT_TRUE(swf->walkedToEnd);
    ASSERT_FALSE(swf->tags.empty());
    EXPECT_EQ(swf->tags.back().code, 0);
    EXPECT_EQ(std::count_if(swf->tags.begin(), swf->tags.end(), [](const SwfTag& t) { return t.code == 0; }), 1);
    EXPECT_EQ(std::count_if(swf->tags.begin(), swf->tags.end(), [](const SwfTag& t) { return t.code == kShowFrame; }), 30);
}

TEST(IdleMovie, BlackProtectedOneShapeOneSpriteThatPlacesIt) {
    const auto bytes = IdleMovieBytes();
    const auto swf = ReadSwf(bytes);
    ASSERT_TRUE(swf);
    std::vector<SwfTag> shapes, sprites, backgrounds, protects;
    for (const SwfTag& tag : swf->tags) {
        if (tag.code == kDefineShape || tag.code == kDefineShape2 || tag.code == kDefineShape3) shapes.push_back(tag);
        if (tag.code == kDefineSprite) sprites.push_back(tag);
        if (tag.code == kSetBackgroundColor) backgrounds.push_back(tag);
        if (tag.code == kProtect) protects.push_back(tag);
    }
    ASSERT_EQ(backgrounds.size(), 1u);
    ASSERT_EQ(backgrounds[0].length, 3u);
    EXPECT_EQ(bytes[backgrounds[0].bodyOffset], 0);
    EXPECT_EQ(bytes[backgrounds[0].bodyOffset + 1], 0);
    EXPECT_EQ(bytes[backgrounds[0].bodyOffset + 2], 0);
    EXPECT_EQ(protects.size(), 1u);
    ASSERT_EQ(shapes.size(), 1u);
    ASSERT_EQ(sprites.size(), 1u);

    const std::uint16_t shapeId = ReadU16(bytes, shapes[0].bodyOffset);
    const SwfTag& sprite = sprites[0];
    bool innerWalked = false;
    const auto inner = testing::ReadTags(bytes, sprite.bodyOffset + 4, sprite.bodyOffset + sprite.length, innerWalked);
    EXPECT_TRUE(innerWalked);
    std::vector<std::uint16_t> placed;
    for (const SwfTag& tag : inner)
        if (tag.code == kPlaceObject2)
            if (auto id = ReadPlaceObject2(bytes, tag).characterId) placed.push_back(*id);
    EXPECT_EQ(placed, std::vector<std::uint16_t>{shapeId});
    // Definitions come before the frames that use them.
    EXPECT_LT(shapes[0].bodyOffset, sprite.bodyOffset);
}

TEST(IdleMovie, ThreeSpritesDriftAndChangeColourEveryFrame) {
    const auto bytes = IdleMovieBytes();
    const auto swf = ReadSwf(bytes);
    ASSERT_TRUE(swf);
    std::uint16_t spriteId = 0;
    for (const SwfTag& tag : swf->tags)
        if (tag.code == kDefineSprite) spriteId = ReadU16(bytes, tag.bodyOffset);
    ASSERT_NE(spriteId, 0);

    struct State {
        std::int32_t x, y;
        std::vector<std::int32_t> colour;
    };
    std::vector<std::map<std::uint16_t, State>> frames(1);
    std::set<std::uint16_t> spriteDepths;
    for (const SwfTag& tag : swf->tags) {
        if (tag.code == kShowFrame) {
            frames.push_back(frames.back());
            continue;
        }
        if (tag.code != kPlaceObject2) continue;
        const auto p = ReadPlaceObject2(bytes, tag);
        if (p.characterId) {
            EXPECT_EQ(*p.characterId, spriteId);
            EXPECT_FALSE(p.move);
            spriteDepths.insert(p.depth);
        } else {
            EXPECT_TRUE(p.move);
            EXPECT_TRUE(spriteDepths.count(p.depth)) << "moves a depth nothing was placed at";
        }
        ASSERT_TRUE(p.matrix);
        ASSERT_TRUE(p.colorTransform);
        const auto& cx = *p.colorTransform;
        frames.back()[p.depth] = {p.matrix->translateX, p.matrix->translateY,
                                  {cx.mult[0], cx.mult[1], cx.mult[2], cx.mult[3], cx.add[0], cx.add[1], cx.add[2], cx.add[3]}};
    }
    frames.pop_back();  // the state after the last ShowFrame
    ASSERT_EQ(frames.size(), 30u);
    EXPECT_EQ(spriteDepths.size(), 3u);
    for (std::size_t f = 1; f < frames.size(); ++f) {
        ASSERT_EQ(frames[f].size(), 3u);
        for (const auto& [depth, now] : frames[f]) {
            const State& before = frames[f - 1].at(depth);
            EXPECT_TRUE(now.x != before.x || now.y != before.y) << "frame " << f << " depth " << depth;
            EXPECT_NE(now.colour, before.colour) << "frame " << f << " depth " << depth;
            EXPECT_GE(now.x, 0);
            EXPECT_LE(now.x, 4200);
            EXPECT_GE(now.y, 0);
            EXPECT_LE(now.y, 2800);
        }
    }
}

TEST(IdleMovie, CommittedFileIsWhatTheGeneratorWrites) {
    const auto embedded = IdleMovieBytes();
    const swf::Bytes generated = swf::MakeIdleMovie();
    EXPECT_TRUE(std::equal(embedded.begin(), embedded.end(), generated.begin(), generated.end()))
        << "run make_idle_movie assets/3.swf after changing the generator";
}

}  // namespace
}  // namespace pw
