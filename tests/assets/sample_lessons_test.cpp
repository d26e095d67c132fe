#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "lessons/catalogue.h"
#include "swf_reader.h"
#include "tools/swf/sample_lessons.h"

namespace pw {
namespace {

constexpr std::uint16_t kShowFrame = 1, kDefineSound = 14, kStartSound = 15;

TEST(SampleLessons, EveryLessonIsAWholeMovieOfItsOwn) {
    std::set<std::vector<std::uint8_t>> distinct;
    std::size_t smallest = SIZE_MAX, largest = 0, withSound = 0;
    for (const LessonRow& row : LessonCatalogue()) {
        SCOPED_TRACE(::testing::Message() << row.group << "-" << row.item);
        const auto movie = swf::MakeSampleLesson(row.group, row.item);
        const auto swf = testing::ReadSwf(movie);
        ASSERT_TRUE(swf);
        EXPECT_EQ(swf->signature, "FWS");
        EXPECT_EQ(swf->version, 8);
        EXPECT_EQ(swf->lengthField, movie.size());
        EXPECT_TRUE(swf->walkedToEnd);
        const auto frames = std::count_if(swf->tags.begin(), swf->tags.end(), [](const testing::SwfTag& t) { return t.code == kShowFrame; });
        EXPECT_EQ(frames, swf->frameCount);
        EXPECT_GE(frames, 24) << "at least a second of animation";

        const auto sound = std::find_if(swf->tags.begin(), swf->tags.end(), [](const testing::SwfTag& t) { return t.code == kDefineSound; });
        if (sound != swf->tags.end()) {
            ++withSound;
            // 16-bit mono samples: the count in the tag matches the data that follows.
            const std::size_t at = sound->bodyOffset + 3;
            const std::uint32_t samples = movie[at] | movie[at + 1] << 8 | movie[at + 2] << 16 | static_cast<std::uint32_t>(movie[at + 3]) << 24;
            EXPECT_EQ(sound->length, 7 + 2 * static_cast<std::size_t>(samples));
            EXPECT_TRUE(std::any_of(swf->tags.begin(), swf->tags.end(), [](const testing::SwfTag& t) { return t.code == kStartSound; }));
        }
        smallest = std::min(smallest, movie.size());
        largest = std::max(largest, movie.size());
        distinct.insert(movie);
    }
    EXPECT_EQ(distinct.size(), LessonCatalogue().size());
    EXPECT_GT(withSound, 0u);
    EXPECT_LT(withSound, LessonCatalogue().size());
    // Sizes spread so that downloads show progress over a range of lengths.
    EXPECT_GE(smallest, 15'000u);
    EXPECT_LE(largest, 450'000u);
    EXPECT_GE(largest, 10 * smallest);
}

TEST(SampleLessons, SameBytesOnEveryCall) {
    for (auto [group, item] : {std::pair{0, 0}, {1, 9}, {2, 5}}) EXPECT_EQ(swf::MakeSampleLesson(group, item), swf::MakeSampleLesson(group, item));
}

TEST(SampleLessons, PairsThatAreNoLessonGiveNothing) {
    for (auto [group, item] : {std::pair{0, 16}, {1, 10}, {2, 6}, {3, 0}, {4, 0}, {-1, 0}, {0, -1}})
        EXPECT_TRUE(swf::MakeSampleLesson(group, item).empty()) << group << "-" << item;
}

}  // namespace
}  // namespace pw
