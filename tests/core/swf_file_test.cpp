#include <gtest/gtest.h>
#include <lzma.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/swf_file.h"
#include "tests/support/temp_dir.h"

namespace pw {
namespace {

using testing::TempDir;

std::string LittleEndian32(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i) & 0xff);
    return bytes;
}

// A movie body that is neither all alike nor all noise, long enough to span several of the
// checker's 64 KiB pieces.
std::string Body(std::size_t length) {
    std::mt19937 random(7);
    std::string body(length, '\0');
    for (std::size_t i = 0; i < length; ++i) {
        body[i] = (i / 4096) % 2 ? static_cast<char>(random() & 0xff) : static_cast<char>('a' + i % 13);
    }
    return body;
}

std::string Header(const char* signature, std::uint32_t claimedLength) {
    return std::string(signature, 3) + '\x0a' + LittleEndian32(claimedLength);
}

std::string Fws(const std::string& body, std::uint32_t claimedLength) {
    return Header("FWS", claimedLength) + body;
}

// A tag in its long form, whatever its length.
std::string Tag(std::uint16_t code, const std::string& body) {
    const auto word = static_cast<std::uint16_t>(code << 6 | 0x3F);
    return std::string{static_cast<char>(word & 0xff), static_cast<char>(word >> 8)} +
           LittleEndian32(static_cast<std::uint32_t>(body.size())) + body;
}

// An uncompressed movie whose header claims its length: a stage rectangle of 11-bit
// values, frame rate and count, then `tags`.
std::string FwsOf(const std::string& tags) {
    const std::string body = std::string("\x58\x00\x00\x00\x00\x00\x00", 7) + std::string("\x00\x0c\x01\x00", 4) + tags;
    return Fws(body, static_cast<std::uint32_t>(body.size() + 8));
}

const std::string kEndTag(2, '\0');

// A whole one: `tags`, then the End tag.
std::string FwsMovie(const std::string& tags) { return FwsOf(tags + kEndTag); }

std::string Zlib(const std::string& data) {
    uLongf length = compressBound(data.size());
    std::string out(length, '\0');
    const int result = compress2(reinterpret_cast<Bytef*>(out.data()), &length,
                                 reinterpret_cast<const Bytef*>(data.data()), data.size(), 9);
    EXPECT_EQ(result, Z_OK);
    out.resize(length);
    return out;
}

std::string Cws(const std::string& body, std::uint32_t claimedLength) {
    return Header("CWS", claimedLength) + Zlib(body);
}

// A ZWS movie as the SWF lays it out: header, compressed length, the five LZMA1 property
// bytes, then the raw LZMA1 data, with or without its end marker.
std::string Zws(const std::string& body, std::uint32_t claimedLength, bool endMarker) {
    lzma_options_lzma options{};
    EXPECT_FALSE(lzma_lzma_preset(&options, 6));
    options.dict_size = 1 << 20;
    options.ext_flags = endMarker ? LZMA_LZMA1EXT_ALLOW_EOPM : 0;
    lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    std::string data(body.size() + body.size() / 2 + 1024, '\0');
    std::size_t written = 0;
    EXPECT_EQ(lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const std::uint8_t*>(body.data()),
                                     body.size(), reinterpret_cast<std::uint8_t*>(data.data()), &written,
                                     data.size()),
              LZMA_OK);
    data.resize(written);

    lzma_filter plain{LZMA_FILTER_LZMA1, &options};
    std::string properties(5, '\0');
    EXPECT_EQ(lzma_properties_encode(&plain, reinterpret_cast<std::uint8_t*>(properties.data())), LZMA_OK);
    return Header("ZWS", claimedLength) + LittleEndian32(static_cast<std::uint32_t>(data.size())) + properties + data;
}

std::uint32_t Claim(const std::string& body) { return static_cast<std::uint32_t>(body.size() + 8); }

// Serves the bytes at most `piece` at a time, as a slow or fragmented file would. When
// given, `served` holds the position: what has been served or passed over.
SwfByteSource Source(const std::string& bytes, std::size_t piece, std::size_t* served = nullptr) {
    return [&bytes, piece, served, own = std::size_t{0}](std::span<std::uint8_t> into) mutable -> std::ptrdiff_t {
        std::size_t& at = served ? *served : own;
        const std::size_t n = std::min({piece, into.size(), bytes.size() - at});
        std::memcpy(into.data(), bytes.data() + at, n);
        at += n;
        return static_cast<std::ptrdiff_t>(n);
    };
}

struct Case {
    const char* name;
    std::string bytes;
    bool whole;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

std::vector<Case> Cases() {
    const std::string body = Body(200 * 1024);
    const std::string small = Body(3000);
    // Tags of several sizes, one of them longer than the checker's 64 KiB pieces.
    const std::string fws = FwsMovie(Tag(77, body.substr(0, 100)) + Tag(2, body.substr(100, 150000)) +
                                     Tag(1, "") + Tag(12, body.substr(150100)));
    // The same length, its tags laid out otherwise: a download joined from the start of
    // one and the end of the other keeps the length but not the tags.
    const std::string other = FwsMovie(Tag(2, body.substr(0, 70000)) + Tag(12, body.substr(70000)));
    const std::string joined = fws.substr(0, 100000) + other.substr(100000);
    const std::string cws = Cws(body, Claim(body));
    const std::string zws = Zws(body, Claim(body), true);
    std::string corrupt = cws;
    corrupt[corrupt.size() / 2] = static_cast<char>(corrupt[corrupt.size() / 2] ^ 0x55);
    std::string badProperties = Zws(small, Claim(small), true);
    badProperties[12] = '\xff';  // lc/lp/pb out of range
    // A dictionary of 4 GiB asked for: the movie's length is all the decoder needs.
    std::string hugeDictionary = Zws(small, Claim(small), true);
    hugeDictionary.replace(13, 4, "\xff\xff\xff\xff");

    return {
        {"FwsWhole", fws, true},
        {"FwsOtherLayoutWhole", other, true},
        {"FwsJoinedFromTwoMoviesOfOneLength", joined, false},
        {"FwsWithoutEndTag", FwsOf(Tag(2, small)), false},
        {"FwsBytesAfterItsEndTag", FwsOf(Tag(2, small) + kEndTag + "xx"), false},
        {"FwsTagRunsPastItsEnd", FwsOf(Tag(2, small).substr(0, 100) + kEndTag), false},
        {"FwsHeaderAloneClaimingEight", Fws("", 8), false},
        {"FwsOneByteShort", fws.substr(0, fws.size() - 1), false},
        {"FwsOneByteExtra", fws + 'x', false},
        {"FwsClaims4GB", Fws(small, 0xffffffffu), false},
        {"FwsClaimsLessThanItsHeader", Fws("", 4), false},

        {"CwsWhole", cws, true},
        {"CwsEmptyBody", Cws("", 8), true},
        {"CwsCutMidStream", cws.substr(0, cws.size() / 2), false},
        {"CwsCutInChecksum", cws.substr(0, cws.size() - 1), false},
        {"CwsCutAfterHeader", cws.substr(0, 8), false},
        {"CwsInflatesToMoreThanClaimed", Cws(body, Claim(body) - 1), false},
        {"CwsInflatesToLessThanClaimed", Cws(body, Claim(body) + 1), false},
        {"CwsClaims4GB", Cws(small, 0xffffffffu), false},
        {"CwsClaimsLessThanItsHeader", Cws("", 7), false},
        {"CwsBytesAfterTheStream", cws + "junk", false},
        {"CwsSecondMovieAfterTheFirst", cws + cws, false},
        {"CwsCorruptData", corrupt, false},
        {"CwsNotZlibAtAll", Header("CWS", Claim(small)) + small, false},

        {"ZwsWholeWithEndMarker", zws, true},
        {"ZwsWholeWithoutEndMarker", Zws(body, Claim(body), false), true},
        {"ZwsSmallWhole", Zws(small, Claim(small), false), true},
        {"ZwsCutMidStream", zws.substr(0, zws.size() / 2), false},
        {"ZwsCutLastByte", zws.substr(0, zws.size() - 1), false},
        {"ZwsCutInProperties", zws.substr(0, 14), false},
        {"ZwsDecodesToMoreThanClaimed", Zws(small, Claim(small) - 1, false), false},
        {"ZwsDecodesToLessThanClaimed", Zws(small, Claim(small) + 1, false), false},
        {"ZwsBytesAfterTheStream", zws + "junk", false},
        {"ZwsBadProperties", badProperties, false},
        {"ZwsAsksForA4GiBDictionary", hugeDictionary, true},

        {"Empty", "", false},
        {"SevenBytes", fws.substr(0, 7), false},
        {"WrongSignature", "GWS" + fws.substr(3), false},
        {"LowerCaseSignature", "fws" + fws.substr(3), false},
        {"TextFile", std::string(64, 'x'), false},
    };
}

class WholeSwf : public ::testing::TestWithParam<Case> {};

TEST_P(WholeSwf, SameAnswerWhateverThePiecesAndFromAFile) {
    const Case& c = GetParam();
    for (const std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{4096}, std::size_t{1} << 20}) {
        EXPECT_EQ(IsWholeSwf(Source(c.bytes, piece)), c.whole) << "pieces of " << piece;
        // Tag bodies passed over instead of read: the same answer.
        std::size_t at = 0;
        const SwfByteSkip skip = [&](std::uint64_t count) {
            if (count > c.bytes.size() - at) return false;
            at += count;
            return true;
        };
        EXPECT_EQ(IsWholeSwf(Source(c.bytes, piece, &at), skip), c.whole) << "pieces of " << piece << ", tag bodies passed over";
    }
    TempDir dir;
    const std::string path = dir.File("7.ylq");
    testing::WriteWholeFile(path, c.bytes);
    EXPECT_EQ(IsWholeSwfFile(path), c.whole) << "from a file";
}

INSTANTIATE_TEST_SUITE_P(Movies, WholeSwf, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(WholeSwfFile, NoRegularFileIsWhole) {
    TempDir dir;
    EXPECT_FALSE(IsWholeSwfFile(dir.File("missing.ylq")));
    EXPECT_FALSE(IsWholeSwfFile(dir.Path()));
    EXPECT_FALSE(IsWholeSwfFile(""));
    // A FIFO would block a plain open until someone writes to it.
    const std::string fifo = dir.File("fifo.ylq");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(IsWholeSwfFile(fifo));
}

TEST(WholeSwf, AReadErrorIsNeverWhole) {
    const std::string fws = FwsMovie(Tag(2, Body(100)));
    ASSERT_TRUE(IsWholeSwf(Source(fws, 1 << 20)));
    // Every byte delivered, then the source fails instead of ending: more may have followed.
    const SwfByteSource whole = Source(fws, 1 << 20);
    std::size_t delivered = 0;
    EXPECT_FALSE(IsWholeSwf([&](std::span<std::uint8_t> into) -> std::ptrdiff_t {
        const std::ptrdiff_t got = delivered < fws.size() ? whole(into) : -1;
        delivered += got > 0 ? static_cast<std::size_t>(got) : 0;
        return got;
    }));
    EXPECT_EQ(delivered, fws.size());
    // A source that claims more bytes than it was given room for is a failure too.
    EXPECT_FALSE(IsWholeSwf([](std::span<std::uint8_t> into) -> std::ptrdiff_t {
        return static_cast<std::ptrdiff_t>(into.size() + 1);
    }));
}

// A stream that goes on past its claim is given up at the first piece, not read to its end.
TEST(WholeSwf, StopsReadingAtTheFirstContradiction) {
    const std::string noise = [] {
        std::mt19937 random(3);
        std::string bytes(2 << 20, '\0');
        for (char& b : bytes) b = static_cast<char>(random() & 0xff);
        return bytes;
    }();
    struct Stop {
        const char* name;
        std::string bytes;
        std::size_t mostRead;
    };
    const std::vector<Stop> stops{
        {"FWS", Fws(noise, 100), 101},
        {"CWS", Cws(noise, 100), 8 + 64 * 1024},
        {"ZWS", Zws(noise, 100, true), 17 + 64 * 1024 + 256},
    };
    for (const Stop& stop : stops) {
        std::size_t served = 0;
        EXPECT_FALSE(IsWholeSwf(Source(stop.bytes, 1 << 20, &served))) << stop.name;
        EXPECT_LE(served, stop.mostRead) << stop.name;
        EXPECT_GT(stop.bytes.size(), 16 * stop.mostRead) << stop.name;
    }
}

}  // namespace
}  // namespace pw
