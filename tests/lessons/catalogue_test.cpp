#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/hosts.h"
#include "lessons/catalogue.h"
#include "lessons/minisign.h"
#include "lessons/site_catalogue.h"
#include "tests/support/scoped_env.h"

namespace pw {
namespace {

using testing::ScopedEnv;

// The lesson hosts as the program reads them at start, from the environment.
class CatalogueTest : public ::testing::Test {
protected:
    ScopedEnv host1_{"PEBBLEWICK_LESSON_HOST1", "one.example:81"};
    ScopedEnv host2_{"PEBBLEWICK_LESSON_HOST2", "two.example"};
    const Hosts hosts_ = ReadHosts();
};

TEST_F(CatalogueTest, FirstAndLastLessonsHaveTheirAddressesAndCacheNames) {
    auto first = Lookup(0, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(RemoteAddress(*first, hosts_), FromUtf8("http://one.example:81/erly/爱吃糖的老虎.swf"));
    EXPECT_EQ(first->cacheName, "actdlh.ylq");
    EXPECT_EQ(first->title, FromUtf8("爱吃糖的老虎"));

    auto last = Lookup(2, 5);
    ASSERT_TRUE(last);
    EXPECT_EQ(last->path, FromUtf8("/erly/填色6.swf"));
    EXPECT_EQ(last->cacheName, "ts6.ylq");
}

TEST_F(CatalogueTest, OnlyRowsElevenToFifteenOfTheFirstGroupAreOnTheSecondServer) {
    int second = 0;
    for (const LessonRow& row : LessonCatalogue()) {
        const bool expected = row.group == 0 && row.item >= 11 && row.item <= 15;
        EXPECT_EQ(row.server == 2, expected) << row.group << "," << row.item;
        second += row.server == 2;
    }
    EXPECT_EQ(second, 5);
    auto lbp = Lookup(0, 11);
    ASSERT_TRUE(lbp);
    EXPECT_EQ(RemoteAddress(*lbp, hosts_), "http://two.example/ambervale-com/2010122/201012211560954.swf");
}

TEST_F(CatalogueTest, MenuTextAndServerNameMayDiffer) {
    auto necklace = Lookup(1, 0);
    ASSERT_TRUE(necklace);
    EXPECT_EQ(necklace->title, FromUtf8("田鼠太太项链1"));
    EXPECT_EQ(necklace->path, FromUtf8("/erly/田鼠太太的项链1.swf"));
}

TEST_F(CatalogueTest, PairsOutsideTheTableMatchNothing) {
    for (auto [g, i] : {std::pair{0, 16}, {1, 10}, {2, 6}, {3, 0}, {3, 1}, {4, 0}, {-1, 0}, {0, -1}})
        EXPECT_FALSE(Lookup(g, i)) << g << "," << i;
}

TEST_F(CatalogueTest, ThirtyTwoLessonsWithUniqueCacheNamesInMenuOrder) {
    std::set<std::string> names;
    int expectedGroup = 0, expectedItem = 0;
    const int sizes[] = {16, 10, 6};
    for (const LessonRow& row : LessonCatalogue()) {
        EXPECT_EQ(row.group, expectedGroup);
        EXPECT_EQ(row.item, expectedItem);
        if (++expectedItem == sizes[expectedGroup]) ++expectedGroup, expectedItem = 0;
        EXPECT_TRUE(names.insert(row.cacheName).second) << row.cacheName;
        EXPECT_EQ(std::string(row.cacheName).substr(std::string(row.cacheName).size() - 4), ".ylq");
    }
    EXPECT_EQ(names.size(), 32u);
}

TEST(Catalogue, CompiledInHostsApplyWhenTheEnvironmentIsEmpty) {
    const ScopedEnv empty("PEBBLEWICK_LESSON_HOST1", "");
    const Hosts hosts = ReadHosts();
    auto entry = Lookup(0, 0);
    ASSERT_TRUE(entry);
    EXPECT_EQ(RemoteAddress(*entry, hosts).rfind("http://127.0.0.1:", 0), 0u) << RemoteAddress(*entry, hosts);
}

TEST(Catalogue, ItsKeyComesFromTheEnvironmentWhenSetElseFromTheBuild) {
    {
        const ScopedEnv key("PEBBLEWICK_CATALOGUE_KEY", "RWQ-a-site-owners-key");
        EXPECT_EQ(ReadCatalogueKey(), "RWQ-a-site-owners-key");
    }
    const ScopedEnv empty("PEBBLEWICK_CATALOGUE_KEY", "");
    EXPECT_TRUE(ParseMinisignPublicKey(ReadCatalogueKey()));
}

TEST(SitePageAddress, TheFourPagesAndNothingBeyondThem) {
    const Text base = "http://site.example/tovel/";
    EXPECT_EQ(SitePageAddress(base, 1), "http://site.example/tovel/hybb.html");
    EXPECT_EQ(SitePageAddress(base, 2), "http://site.example/tovel/txbb.html");
    EXPECT_EQ(SitePageAddress(base, 3), "http://site.example/tovel/bbgcs.html");
    EXPECT_EQ(SitePageAddress(base, 4), "http://site.example/tovel/mft.html");
    for (int index : {0, 5, -1}) EXPECT_EQ(SitePageAddress(base, index), "") << index;
}

}  // namespace
}  // namespace pw
