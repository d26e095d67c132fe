#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "core/swf_text.h"
#include "core/text.h"
#include "tests/assets/swf_reader.h"
#include "tools/swf/swf_writer.h"

namespace pw {
namespace {

using swf::Bytes;
using swf::BitWriter;
using swf::Tag;

const std::string kChildUtf8 = "小朋友";
const std::string kChildGbk = FromUtf8(kChildUtf8);  // D0 A1 C5 F3 D3 D1

namespace code {
constexpr std::uint16_t DefineButton = 7;
constexpr std::uint16_t DoAction = 12;
constexpr std::uint16_t DefineFontInfo = 13;
constexpr std::uint16_t PlaceObject2 = 26;
constexpr std::uint16_t DefineButton2 = 34;
constexpr std::uint16_t DefineEditText = 37;
constexpr std::uint16_t DefineSprite = 39;
constexpr std::uint16_t FrameLabel = 43;
constexpr std::uint16_t DefineFont2 = 48;
constexpr std::uint16_t ExportAssets = 56;
constexpr std::uint16_t DoInitAction = 59;
}  // namespace code

// ---- Building movies -------------------------------------------------------------------

Bytes Action(std::uint8_t op, const Bytes& payload = {}) {
    BitWriter out;
    out.U8(op);
    if (op >= 0x80) {
        out.U16(static_cast<std::uint16_t>(payload.size()));
        out.Append(payload);
    }
    return out.Finish();
}

Bytes Strings(std::initializer_list<std::string_view> texts) {
    BitWriter out;
    for (auto text : texts) out.String(text);
    return out.Finish();
}

Bytes PushString(std::string_view text) {
    BitWriter out;
    out.U8(0);
    out.String(text);
    return Action(0x96, out.Finish());
}

Bytes U16Bytes(std::uint16_t value) { return {static_cast<std::uint8_t>(value & 0xFF), static_cast<std::uint8_t>(value >> 8)}; }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Branch(std::uint8_t op, std::int16_t offset) { return Action(op, U16Bytes(static_cast<std::uint16_t>(offset))); }

Bytes MakeMovie(int version, const std::vector<Tag>& tags) {
    swf::Movie movie(version, {0, 4000, 0, 3000}, 12);
    for (const Tag& tag : tags) movie.Add(tag);
    movie.ShowFrame();
    return movie.Finish();
}

Tag EditTextTag(std::string_view variable, std::string_view text, std::uint16_t id = 1) {
    BitWriter out;
    out.U16(id);
    swf::WriteRect(out, {0, 2000, 0, 400});
    out.U16(0x0080 | 0x0001 | 0x0004);  // has text, has font, has colour
    out.U16(2);                          // font
    out.U16(240);                        // height
    swf::WriteRgba(out, {0, 0, 0, 255});
    out.String(variable);
    out.String(text);
    return {code::DefineEditText, out.Finish()};
}

Tag PlaceWithClipActions(std::string_view name, const Bytes& actions) {
    BitWriter out;
    out.U8(0x80 | 0x20 | 0x02);  // clip actions, name, character
    out.U16(1);                  // depth
    out.U16(3);                  // character
    out.String(name);
    out.U16(0);            // reserved
    out.U16(0x0001);       // all events: load (two bytes in version 5)
    out.U16(0x0001);       // this record: load
    out.U32(static_cast<std::uint32_t>(actions.size()));
    out.Append(actions);
    out.U16(0);            // end of records
    return {code::PlaceObject2, out.Finish()};
}

Tag Button2Tag(const Bytes& first, const Bytes& second) {
    BitWriter out;
    out.U16(4);   // id
    out.U8(0);    // flags
    out.U16(2 + 7 + 1);  // from this field past one record (7 bytes) and the records' end
    out.U8(0x08);  // state: up
    out.U16(3);    // character
    out.U16(1);    // depth
    out.U8(0);     // identity matrix
    out.U8(0);     // colour transform: nothing
    out.U8(0);     // end of records
    out.U16(static_cast<std::uint16_t>(4 + first.size()));
    out.U16(0x0008);  // release
    out.Append(first);
    out.U16(0);       // last record
    out.U16(0x0004);  // press
    out.Append(second);
    return {code::DefineButton2, out.Finish()};
}

// ---- Reading them back ---------------------------------------------------------------

struct Decoded {
    std::size_t offset = 0;
    std::uint8_t op = 0;
    Bytes payload;
};

// The action records of a block; fails the test unless they tile it exactly.
std::vector<Decoded> DecodeActions(std::span<const std::uint8_t> block) {
    std::vector<Decoded> actions;
    std::size_t at = 0;
    while (at < block.size()) {
        Decoded a;
        a.offset = at;
        a.op = block[at++];
        if (a.op >= 0x80) {
            if (at + 2 > block.size()) break;
            const std::size_t length = block[at] | (block[at + 1] << 8);
            at += 2;
            if (at + length > block.size()) {
                ADD_FAILURE() << "action at " << a.offset << " runs past the block";
                return actions;
            }
            a.payload.assign(block.begin() + static_cast<std::ptrdiff_t>(at), block.begin() + static_cast<std::ptrdiff_t>(at + length));
            at += length;
        }
        actions.push_back(a);
    }
    EXPECT_EQ(at, block.size()) << "the records do not tile the block";
    return actions;
}

std::string Str(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

std::span<const std::uint8_t> Body(const Bytes& file, const testing::SwfTag& tag) {
    return std::span<const std::uint8_t>(file).subspan(tag.bodyOffset, tag.length);
}

const testing::SwfTag* FindTag(const testing::SwfFile& swf, std::uint16_t tagCode) {
    for (const auto& tag : swf.tags) {
        if (tag.code == tagCode) return &tag;
    }
    return nullptr;
}

bool Contains(std::span<const std::uint8_t> haystack, std::string_view needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                       [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }) != haystack.end();
}

// The movie's bytes as a source, handed out in pieces of at most `piece` bytes.
SwfByteSource Source(std::span<const std::uint8_t> bytes, std::size_t piece = 1000) {
    return [bytes, at = std::size_t{0}, piece](std::span<std::uint8_t> into) mutable -> std::ptrdiff_t {
        const std::size_t count = std::min({into.size(), bytes.size() - at, piece});
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), count, into.begin());
        at += count;
        return static_cast<std::ptrdiff_t>(count);
    };
}

std::optional<Bytes> Recode(std::span<const std::uint8_t> movie, std::size_t maxBytes = kMaxRecodedMovieBytes) {
    const auto copy = RecodeGbkMovie([movie] { return Source(movie); }, maxBytes);
    if (!copy) return std::nullopt;
    return Bytes(copy->Span().begin(), copy->Span().end());
}

// Recodes and checks the copy's frame: version 6, uncompressed, right length, and a tag
// list that walks to its End tag.
testing::SwfFile RecodeAndRead(const Bytes& movie, Bytes& copy) {
    auto recoded = Recode(movie);
    if (!recoded) {
        ADD_FAILURE() << "no copy";
        return {};
    }
    copy = *recoded;
    auto swf = testing::ReadSwf(copy);
    if (!swf) {
        ADD_FAILURE() << "the copy does not read";
        return {};
    }
    EXPECT_EQ(swf->signature, "FWS");
    EXPECT_EQ(swf->version, 6);
    EXPECT_EQ(swf->lengthField, copy.size());
    EXPECT_TRUE(swf->walkedToEnd);
    return *swf;
}

// ---- Every kind of string ------------------------------------------------------------

struct StringCase {
    const char* name;
    std::uint16_t tagCode;
    Tag (*make)(std::string_view text);
};

void PrintTo(const StringCase& c, std::ostream* os) { *os << c.name; }

Tag DoActionWith(const Bytes& actions) { return {code::DoAction, Cat({actions, Action(0)})}; }

const StringCase kStringCases[] = {
    {"EditTextVariable", code::DefineEditText, [](std::string_view t) { return EditTextTag(t, "abc"); }},
    {"EditTextInitialText", code::DefineEditText, [](std::string_view t) { return EditTextTag("v", t); }},
    {"ConstantPool", code::DoAction, [](std::string_view t) {
         return DoActionWith(Action(0x88, Cat({U16Bytes(2), Strings({"x", t})})));
     }},
    {"PushString", code::DoAction, [](std::string_view t) {
         BitWriter p;
         p.U8(7), p.U32(5), p.U8(0), p.String(t), p.U8(8), p.U8(0);  // int, string, constant
         return DoActionWith(Action(0x96, p.Finish()));
     }},
    {"GetUrlAddress", code::DoAction, [](std::string_view t) { return DoActionWith(Action(0x83, Strings({t, "_blank"}))); }},
    {"GetUrlTarget", code::DoAction, [](std::string_view t) { return DoActionWith(Action(0x83, Strings({"a.html", t}))); }},
    {"GotoLabel", code::DoAction, [](std::string_view t) { return DoActionWith(Action(0x8C, Strings({t}))); }},
    {"SetTarget", code::DoAction, [](std::string_view t) { return DoActionWith(Action(0x8B, Strings({t}))); }},
    {"FunctionName", code::DoAction, [](std::string_view t) {
         return DoActionWith(Action(0x9B, Cat({Strings({t}), U16Bytes(0), U16Bytes(0)})));
     }},
    {"FunctionParameter", code::DoAction, [](std::string_view t) {
         return DoActionWith(Action(0x9B, Cat({Strings({"f"}), U16Bytes(2), Strings({"a", t}), U16Bytes(0)})));
     }},
    {"InitAction", code::DoInitAction, [](std::string_view t) {
         return Tag{code::DoInitAction, Cat({U16Bytes(3), PushString(t), Action(0)})};
     }},
    {"ButtonAction", code::DefineButton, [](std::string_view t) {
         BitWriter b;
         b.U16(4), b.U8(0x08), b.U16(3), b.U16(1), b.U8(0), b.U8(0);  // id, one record, end
         b.Append(PushString(t));
         b.U8(0);
         return Tag{code::DefineButton, b.Finish()};
     }},
    {"Button2Action", code::DefineButton2, [](std::string_view t) {
         return Button2Tag(Cat({PushString(t), Action(0)}), Cat({PushString("ok"), Action(0)}));
     }},
    {"ClipAction", code::PlaceObject2, [](std::string_view t) { return PlaceWithClipActions("clip", Cat({PushString(t), Action(0)})); }},
    {"InstanceName", code::PlaceObject2, [](std::string_view t) { return PlaceWithClipActions(t, Action(0)); }},
    {"FrameLabel", code::FrameLabel, [](std::string_view t) { return swf::FrameLabelTag(t); }},
    {"ExportName", code::ExportAssets, [](std::string_view t) {
         return Tag{code::ExportAssets, Cat({U16Bytes(1), U16Bytes(3), Strings({t})})};
     }},
    {"Font2Name", code::DefineFont2, [](std::string_view t) {
         BitWriter f;
         f.U16(2), f.U8(0), f.U8(0), f.U8(static_cast<std::uint8_t>(t.size()));
         for (char c : t) f.U8(static_cast<std::uint8_t>(c));
         f.U16(0);  // no glyphs
         return Tag{code::DefineFont2, f.Finish()};
     }},
    {"FontInfoName", code::DefineFontInfo, [](std::string_view t) {
         BitWriter f;
         f.U16(2), f.U8(static_cast<std::uint8_t>(t.size() + 1));
         for (char c : t) f.U8(static_cast<std::uint8_t>(c));
         f.U8(0), f.U8(0);  // terminating NUL inside the length, flags
         return Tag{code::DefineFontInfo, f.Finish()};
     }},
};

class EveryString : public ::testing::TestWithParam<StringCase> {};

TEST_P(EveryString, IsUtf8InTheCopyAndTheCopyReads) {
    const StringCase& c = GetParam();
    const Bytes movie = MakeMovie(5, {c.make(kChildGbk)});
    Bytes copy;
    const auto swf = RecodeAndRead(movie, copy);
    const auto* tag = FindTag(swf, c.tagCode);
    ASSERT_NE(tag, nullptr);
    EXPECT_TRUE(Contains(Body(copy, *tag), kChildUtf8));
    EXPECT_FALSE(Contains(copy, kChildGbk));
    // The copy is the movie the same tag would make with the UTF-8 text, but for the
    // version and (clip actions) the wider event flags.
    if (c.tagCode != code::PlaceObject2) {
        Bytes expected = MakeMovie(6, {c.make(kChildUtf8)});
        EXPECT_EQ(copy, expected);
    }
}

// A string that is not GBK stays as it was, and so does the movie when it holds nothing else.
TEST_P(EveryString, MalformedGbkIsLeftByteForByte) {
    const StringCase& c = GetParam();
    const std::string bad = "a\x81";  // a lead byte with nothing after it
    EXPECT_FALSE(Recode(MakeMovie(5, {c.make(bad)})));
    // Beside a good string, the bad one is kept as it was.
    Bytes copy;
    const auto swf = RecodeAndRead(MakeMovie(5, {c.make(bad), EditTextTag("w", kChildGbk, 9)}), copy);
    const auto* tag = FindTag(swf, c.tagCode);
    ASSERT_NE(tag, nullptr);
    EXPECT_TRUE(Contains(Body(copy, *tag), bad));
}

INSTANTIATE_TEST_SUITE_P(SwfText, EveryString, ::testing::ValuesIn(kStringCases),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(SwfText, ClipEventFlagsAreWidenedToFourBytes) {
    const Bytes actions = Cat({PushString(kChildGbk), Action(0)});
    Bytes copy;
    const auto swf = RecodeAndRead(MakeMovie(5, {PlaceWithClipActions("clip", actions)}), copy);
    const auto* tag = FindTag(swf, code::PlaceObject2);
    ASSERT_NE(tag, nullptr);
    testing::BitReader in(copy, tag->bodyOffset);
    EXPECT_EQ(in.U8(), 0x80 | 0x20 | 0x02);
    in.U16();  // depth
    in.U16();  // character
    while (in.U8() != 0) {}  // name
    EXPECT_EQ(in.U16(), 0u);
    EXPECT_EQ(in.U32(), 1u);  // all events
    EXPECT_EQ(in.U32(), 1u);  // load
    const std::uint32_t size = in.U32();
    const std::size_t actionsAt = in.Offset();
    const auto decoded = DecodeActions(std::span<const std::uint8_t>(copy).subspan(actionsAt, size));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_EQ(Str(decoded[0].payload), std::string(1, '\0') + kChildUtf8 + '\0');
    testing::BitReader end(copy, actionsAt + size);
    EXPECT_EQ(end.U32(), 0u);
    EXPECT_EQ(end.Offset(), tag->bodyOffset + tag->length);
}

TEST(SwfText, TagHeaderTurnsLongWhenTheBodyGrowsPast62Bytes) {
    // Twenty GBK characters in the initial text: 40 bytes become 60.
    std::string text;
    for (int i = 0; i < 20; ++i) text += kChildGbk.substr(0, 2);
    const Tag tag = EditTextTag("v", text);
    ASSERT_LT(tag.body.size(), 63u);
    ASSERT_GE(tag.body.size() + 20, 63u);
    Bytes copy;
    const auto swf = RecodeAndRead(MakeMovie(5, {tag}), copy);
    const auto* edit = FindTag(swf, code::DefineEditText);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->length, tag.body.size() + 20);
    EXPECT_EQ(copy[edit->bodyOffset - 6] & 0x3F, 0x3F);  // the long form
}

// ---- Branches and sizes ----------------------------------------------------------------

// The action that a branch or size lands on, found by its offset.
const Decoded* At(const std::vector<Decoded>& actions, std::size_t offset) {
    for (const auto& a : actions) {
        if (a.offset == offset) return &a;
    }
    return nullptr;
}
std::size_t EndOf(const Decoded& a) { return a.offset + 1 + (a.op >= 0x80 ? 2 + a.payload.size() : 0); }
std::int16_t S16(const Bytes& payload, std::size_t at) {
    return static_cast<std::int16_t>(payload[at] | (payload[at + 1] << 8));
}
std::string Marker(const Decoded* a) { return a && a->op == 0x96 ? Str(a->payload).substr(1) : "(none)"; }

TEST(SwfText, BranchesAndBodiesLandOnTheSameActions) {
    const Bytes changed = PushString(kChildGbk);
    const Bytes functionBody = Cat({changed, PushString("body end")});  // the last action is outside
    const Bytes withBody = Cat({changed});
    const Bytes prefix = Cat({
        Branch(0x99, static_cast<std::int16_t>(changed.size() * 2)),   // forward over two changed strings
        changed, changed,
        PushString("after jump"),
        Action(0x9B, Cat({Strings({kChildGbk}), U16Bytes(0), U16Bytes(static_cast<std::uint16_t>(changed.size()))})),
        functionBody,
        Action(0x94, U16Bytes(static_cast<std::uint16_t>(withBody.size()))),
        withBody,
        PushString("after with"),
    });
    // The If goes back to "after jump", over every changed string but the first two.
    const std::size_t afterJump = 5 + 2 * changed.size();
    const auto back = static_cast<std::int16_t>(static_cast<std::ptrdiff_t>(afterJump) - static_cast<std::ptrdiff_t>(prefix.size() + 5));
    const Bytes block = Cat({prefix, Branch(0x9D, back), Action(0)});
    const auto before = DecodeActions(block);
    const auto& jumpIf = before[before.size() - 2];
    const auto ifTarget = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(EndOf(jumpIf)) + S16(jumpIf.payload, 0));
    const std::string ifMarker = Marker(At(before, ifTarget));
    ASSERT_EQ(ifMarker, std::string("after jump") + '\0');

    Bytes copy;
    const auto swf = RecodeAndRead(MakeMovie(5, {{code::DoAction, block}}), copy);
    const auto* tag = FindTag(swf, code::DoAction);
    ASSERT_NE(tag, nullptr);
    const auto actions = DecodeActions(Body(copy, *tag));
    ASSERT_EQ(actions.size(), before.size());

    const auto& jump = actions[0];
    EXPECT_EQ(Marker(At(actions, EndOf(jump) + static_cast<std::size_t>(S16(jump.payload, 0)))), std::string("after jump") + '\0');
    const auto& function = actions[4];
    ASSERT_EQ(function.op, 0x9B);
    EXPECT_EQ(Str(function.payload).substr(0, kChildUtf8.size()), kChildUtf8);
    const std::size_t codeSize = static_cast<std::uint16_t>(S16(function.payload, function.payload.size() - 2));
    EXPECT_EQ(Marker(At(actions, EndOf(function) + codeSize)), std::string("body end") + '\0');
    const auto& with = actions[7];
    ASSERT_EQ(with.op, 0x94);
    EXPECT_EQ(Marker(At(actions, EndOf(with) + static_cast<std::uint16_t>(S16(with.payload, 0)))), std::string("after with") + '\0');
    const auto& ifAction = actions[actions.size() - 2];
    ASSERT_EQ(ifAction.op, 0x9D);
    const auto target = static_cast<std::ptrdiff_t>(EndOf(ifAction)) + S16(ifAction.payload, 0);
    ASSERT_GE(target, 0);
    EXPECT_EQ(Marker(At(actions, static_cast<std::size_t>(target))), ifMarker);
}

TEST(SwfText, TryBlockSizesFollowTheirBlocks) {
    const Bytes changed = PushString(kChildGbk);
    BitWriter tryPayload;
    tryPayload.U8(0x01);  // has catch
    tryPayload.U16(static_cast<std::uint16_t>(changed.size()));
    tryPayload.U16(static_cast<std::uint16_t>(changed.size() * 2));
    tryPayload.U16(0);
    tryPayload.String(kChildGbk);  // the catch variable
    const Bytes block = Cat({Action(0x8F, tryPayload.Finish()), changed, changed, changed, PushString("end"), Action(0)});
    Bytes copy;
    const auto swf = RecodeAndRead(MakeMovie(5, {{code::DoAction, block}}), copy);
    const auto actions = DecodeActions(Body(copy, *FindTag(swf, code::DoAction)));
    ASSERT_EQ(actions.size(), 6u);
    const auto& t = actions[0];
    const auto trySize = static_cast<std::uint16_t>(S16(t.payload, 1));
    const auto catchSize = static_cast<std::uint16_t>(S16(t.payload, 3));
    EXPECT_EQ(trySize, changed.size() + 3);
    EXPECT_EQ(catchSize, 2 * (changed.size() + 3));
    EXPECT_EQ(Marker(At(actions, EndOf(t) + trySize + catchSize)), std::string("end") + '\0');
    EXPECT_EQ(Str(t.payload).substr(7, kChildUtf8.size()), kChildUtf8);
}

TEST(SwfText, ABlockWithAJumpIntoAStringIsLeftWholeWhileOthersAreRecoded) {
    const Bytes changed = PushString(kChildGbk);
    const Bytes tangled = Cat({Branch(0x99, 4), changed, Action(0)});  // lands inside the push
    Bytes copy;
    const auto swf = RecodeAndRead(MakeMovie(5, {{code::DoAction, tangled}, EditTextTag("v", kChildGbk)}), copy);
    const auto* tag = FindTag(swf, code::DoAction);
    ASSERT_NE(tag, nullptr);
    const auto body = Body(copy, *tag);
    EXPECT_TRUE(std::equal(body.begin(), body.end(), tangled.begin(), tangled.end()));
    EXPECT_TRUE(Contains(Body(copy, *FindTag(swf, code::DefineEditText)), kChildUtf8));
}

TEST(SwfText, ButtonConditionSizesAndSpritesAreRebuilt) {
    const Bytes first = Cat({PushString(kChildGbk), Action(0)});
    const Tag sprite = swf::DefineSpriteTag(5, 1, {{code::DoAction, first}, swf::ShowFrameTag()});
    Bytes copy;
    const auto swf = RecodeAndRead(MakeMovie(5, {Button2Tag(first, first), sprite}), copy);
    const auto* button = FindTag(swf, code::DefineButton2);
    ASSERT_NE(button, nullptr);
    testing::BitReader in(copy, button->bodyOffset + 13);  // past id, flags, offset and the record
    const std::uint16_t size = in.U16();
    EXPECT_EQ(size, 4 + first.size() + 3);
    const auto firstBlock = DecodeActions(std::span<const std::uint8_t>(copy).subspan(in.Offset() + 2, size - 4u));
    ASSERT_EQ(firstBlock.size(), 2u);
    EXPECT_EQ(Str(firstBlock[0].payload), std::string(1, '\0') + kChildUtf8 + '\0');
    const auto* spriteTag = FindTag(swf, code::DefineSprite);
    ASSERT_NE(spriteTag, nullptr);
    bool walked = false;
    const auto inner = testing::ReadTags(copy, spriteTag->bodyOffset + 4, spriteTag->bodyOffset + spriteTag->length, walked);
    EXPECT_TRUE(walked);
    ASSERT_GE(inner.size(), 1u);
    EXPECT_TRUE(Contains(Body(copy, inner[0]), kChildUtf8));
}

// ---- What is handed over unchanged ---------------------------------------------------

Bytes Deflate(std::span<const std::uint8_t> data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    EXPECT_EQ(compress(out.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
    out.resize(size);
    return out;
}

Bytes Compressed(const Bytes& plain, std::uint32_t claimedLength) {
    Bytes out = {'C', 'W', 'S', plain[3]};
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(claimedLength >> (8 * i)));
    const Bytes packed = Deflate(std::span<const std::uint8_t>(plain).subspan(8));
    out.insert(out.end(), packed.begin(), packed.end());
    return out;
}

TEST(SwfText, CompressedOldMovieGivesAnUncompressedCopy) {
    const Bytes plain = MakeMovie(5, {EditTextTag("v", kChildGbk)});
    Bytes copy;
    RecodeAndRead(Compressed(plain, static_cast<std::uint32_t>(plain.size())), copy);
    EXPECT_EQ(copy, MakeMovie(6, {EditTextTag("v", kChildUtf8)}));
}

TEST(SwfText, NothingForNewerMoviesOrMoviesWithoutGbkText) {
    for (int version : {6, 7, 8, 10}) {
        EXPECT_FALSE(Recode(MakeMovie(version, {EditTextTag("v", kChildGbk)}))) << version;
    }
    EXPECT_FALSE(Recode(MakeMovie(5, {EditTextTag("v", "plain")})));
    Bytes zws = MakeMovie(5, {EditTextTag("v", kChildGbk)});
    zws[0] = 'Z';
    EXPECT_FALSE(Recode(zws));
    EXPECT_FALSE(Recode(Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0}));
    EXPECT_FALSE(Recode(Bytes{}));
}

TEST(SwfText, AFourGigabyteClaimAllocatesNothingOfTheKind) {
    const Bytes plain = MakeMovie(5, {EditTextTag("v", kChildGbk)});
    EXPECT_FALSE(Recode(Compressed(plain, 0xFFFFFFFFu)));
    // A small stream that really inflates far beyond the bounds.
    Bytes zeros(8 + 8 * 1024 * 1024, 0);
    zeros[3] = 5;
    EXPECT_FALSE(Recode(Compressed(zeros, 0xFFFFFFFFu)));
    Bytes claim = plain;
    claim[4] = claim[5] = claim[6] = claim[7] = 0xFF;
    EXPECT_FALSE(Recode(claim));
}

TEST(SwfText, AMoviePastTheCapBeforeOrAfterIsHandedOverUnchanged) {
    const Bytes plain = MakeMovie(5, {EditTextTag("v", kChildGbk), {code::DoAction, Cat({PushString(kChildGbk), Action(0)})}});
    const auto copy = Recode(plain);
    ASSERT_TRUE(copy);
    ASSERT_GT(copy->size(), plain.size());
    for (const Bytes& movie : {plain, Compressed(plain, static_cast<std::uint32_t>(plain.size()))}) {
        EXPECT_EQ(Recode(movie, copy->size()), copy);
        EXPECT_FALSE(Recode(movie, copy->size() - 1)) << "the copy is past the cap";
        EXPECT_FALSE(Recode(movie, plain.size() - 1)) << "the movie is past the cap";
    }
}

TEST(SwfText, EveryTruncationIsHandedOverUnchanged) {
    const Bytes plain = MakeMovie(5, {EditTextTag("v", kChildGbk), {code::DoAction, Cat({PushString(kChildGbk), Action(0)})}});
    ASSERT_TRUE(Recode(plain));
    for (std::size_t size = 0; size < plain.size(); ++size) {
        EXPECT_FALSE(Recode(std::span<const std::uint8_t>(plain).first(size))) << size;
    }
    // A compressed movie cut anywhere in its data; only the stream's tail (its checksum and
    // the end-of-block code, once every byte is out) may be missing, as players accept that.
    const Bytes packed = Compressed(plain, static_cast<std::uint32_t>(plain.size()));
    const auto whole = Recode(packed);
    ASSERT_TRUE(whole);
    for (std::size_t size = 0; size < packed.size(); ++size) {
        const auto copy = Recode(std::span<const std::uint8_t>(packed).first(size));
        if (size < packed.size() - 8) {
            EXPECT_FALSE(copy) << size;
        } else if (copy) {
            EXPECT_EQ(*copy, *whole) << size;
        }
    }
}

TEST(SwfText, UnreadableClipActionsLeaveTheMovieAlone) {
    Tag place = PlaceWithClipActions("clip", Cat({PushString(kChildGbk), Action(0)}));
    place.body.resize(place.body.size() - 1);  // the end of the records cut short
    EXPECT_FALSE(Recode(MakeMovie(5, {place, EditTextTag("v", kChildGbk)})));
}

}  // namespace
}  // namespace pw
