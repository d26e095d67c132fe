// The shelf's rows as the program keeps them: the lessons played, newest first, through a
// restart; the catalogue's pictures kept only when their hash matches, tried again later.
#include <gtest/gtest.h>

#include "lessons/lesson_pictures.h"
#include "tests/app/program_harness.h"
#include "tests/support/catalogue_json.h"
#include "tests/support/minisign_tool.h"

namespace pw {
namespace {

using testing::ProgramHarness;

std::vector<Text> RecentTitles(const Program& program) {
    const std::vector<ShelfRow> rows = program.ShelfContent();
    std::vector<Text> titles;
    if (!rows.empty() && rows.front().heading == Gbk<"最近看过">())
        for (const ShelfTile& tile : rows.front().tiles) titles.push_back(tile.title);
    return titles;
}

TEST(Shelf, TheRecentRowHoldsTheLastEightPlayedNewestFirstThroughARestart) {
    ProgramHarness h;
    for (int item = 0; item < 9; ++item) testing::WriteWholeFile(h.CacheFile(0, item), h.ServeLesson(0, item, 3000));
    for (int item : {0, 1, 2, 3, 4, 5, 6, 7, 8, 2}) {
        h.program->OnLessonMenuItemClicked(0, item);
        ASSERT_TRUE(h.Settle());
        ASSERT_TRUE(testing::Played(h.display, h.CacheFile(0, item)));
    }
    std::vector<Text> expected;
    for (int item : {2, 8, 7, 6, 5, 4, 3, 1}) expected.push_back(Lookup(0, item)->title);
    EXPECT_EQ(RecentTitles(*h.program), expected);
    h.Restart();
    EXPECT_EQ(RecentTitles(*h.program), expected);
}

// A picture whose bytes are not the catalogue's is not shown, and is asked for again at
// the next start; one that matches is shown, from the data folder once it is kept.
TEST(Shelf, ACataloguePictureShowsOnlyWhenItsHashMatches) {
    const testing::MinisignTool key;
    ProgramHarness h(testing::ShortTimeouts(), {}, {}, key.PublicKey());
    const std::string png = "\x89PNG\r\n\x1A\n" + std::string(500, 'p');
    std::string json = testing::CatalogueJson(3, testing::BuiltInGroupTitles(),
                                              testing::BuiltInLessons([](int, int) { return std::string(100, 'l'); }));
    const std::string member = "\"cache\": \"actdlh\"";
    json.replace(json.find(member), member.size(),
                 member + ", \"picture\": {\"path\": \"/tovel/pictures/actdlh.png\", \"size\": " +
                     std::to_string(png.size()) + ", \"sha256\": \"" + Sha256Hex(BytesSha256(png)) + "\"}");
    h.server.Serve("/tovel/lessons.json", {.body = json});
    h.server.Serve("/tovel/lessons.json.minisig", {.body = key.Sign(json)});
    const auto pictureOfTheTiger = [&] {
        for (const ShelfRow& row : h.program->ShelfContent())
            for (const ShelfTile& tile : row.tiles)
                if (tile.cacheName == "actdlh.ylq") return tile.picture;
        return Text("none");
    };

    std::string forged = png;
    forged[300] ^= 1;
    h.server.Serve("/tovel/pictures/actdlh.png", {.body = forged});
    h.program->OnMainWindowCreated();
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(pictureOfTheTiger(), "");

    h.server.Serve("/tovel/pictures/actdlh.png", {.body = png});
    h.Restart();
    h.program->OnMainWindowCreated();
    ASSERT_TRUE(h.Settle());
    EXPECT_EQ(pictureOfTheTiger(), CataloguePicturePath(h.dir.Path(), "actdlh.ylq"));
}

}  // namespace
}  // namespace pw
