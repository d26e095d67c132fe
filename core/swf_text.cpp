#include "core/swf_text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace pw {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

// Tags that are rebuilt from a copy of their body (text fields, fonts, buttons with
// conditions, placements): one larger than this stays as it is, or, for a placement with
// clip actions, leaves the movie alone. Action blocks of any size are re-encoded in place.
constexpr std::size_t kMaxRebuiltTag = std::size_t{4} << 20;
// Branches and sized bodies in one action block, and records that grow in it: a block with
// more stays as it is (real blocks hold a few hundred at most).
constexpr std::size_t kMaxFixupsPerBlock = std::size_t{1} << 16;
// Sprites cannot nest in a well-formed movie; a little room for odd ones, and no more.
constexpr int kMaxSpriteDepth = 4;

namespace tag {
constexpr std::uint16_t End = 0;
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
constexpr std::uint16_t ImportAssets = 57;
constexpr std::uint16_t DoInitAction = 59;
constexpr std::uint16_t DefineFontInfo2 = 62;
constexpr std::uint16_t PlaceObject3 = 70;
constexpr std::uint16_t ImportAssets2 = 71;
constexpr std::uint16_t DefineFont3 = 75;
}  // namespace tag

// Reads little-endian values and bit fields from untrusted bytes. A read past the end
// yields zero and marks the reader failed; it never reads outside the span.
class Reader {
public:
    explicit Reader(ByteSpan bytes) : bytes_(bytes) {}

    bool Ok() const { return ok_; }
    std::size_t Pos() const { return pos_; }
    std::size_t Size() const { return bytes_.size(); }
    bool AtEnd() const { return pos_ >= bytes_.size(); }

    std::uint8_t U8() {
        Align();
        if (!Have(1)) return 0;
        return bytes_[pos_++];
    }
    std::uint16_t U16() {
        const unsigned low = U8();
        const unsigned high = U8();
        return static_cast<std::uint16_t>(low | (high << 8));
    }
    std::uint32_t U32() {
        const std::uint32_t low = U16();
        const std::uint32_t high = U16();
        return low | (high << 16);
    }
    ByteSpan Take(std::size_t count) {
        Align();
        if (!Have(count)) return {};
        ByteSpan taken = bytes_.subspan(pos_, count);
        pos_ += count;
        return taken;
    }
    ByteSpan Rest() {
        Align();
        return Take(bytes_.size() - std::min(pos_, bytes_.size()));
    }
    // A null-terminated string, without its terminator.
    std::string_view String() {
        Align();
        if (!ok_) return {};
        const auto begin = bytes_.begin() + static_cast<std::ptrdiff_t>(pos_);
        const auto nul = std::find(begin, bytes_.end(), std::uint8_t{0});
        if (nul == bytes_.end()) {
            ok_ = false;
            return {};
        }
        const auto length = static_cast<std::size_t>(nul - begin);
        std::string_view text(reinterpret_cast<const char*>(bytes_.data() + pos_), length);
        pos_ += length + 1;
        return text;
    }
    std::uint32_t Bits(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (!Have(1)) return 0;
            value = (value << 1) | ((bytes_[pos_] >> (7 - bit_)) & 1u);
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return value;
    }
    void Align() {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
    }

    // Bit-packed records whose values do not matter here, only their size.
    void SkipRect() {
        const int n = static_cast<int>(Bits(5));
        for (int i = 0; i < 4; ++i) Bits(n);
        Align();
    }
    void SkipMatrix() {
        if (Bits(1) != 0) {
            SkipPair();
        }
        if (Bits(1) != 0) {
            SkipPair();
        }
        SkipPair();
        Align();
    }
    void SkipColorTransformWithAlpha() {
        const bool hasAdd = Bits(1) != 0;
        const bool hasMult = Bits(1) != 0;
        const int n = static_cast<int>(Bits(4));
        for (int i = 0; i < (hasMult ? 4 : 0) + (hasAdd ? 4 : 0); ++i) Bits(n);
        Align();
    }

private:
    void SkipPair() {
        const int n = static_cast<int>(Bits(5));
        Bits(n);
        Bits(n);
    }
    bool Have(std::size_t count) {
        if (!ok_ || pos_ > bytes_.size() || bytes_.size() - pos_ < count) {
            ok_ = false;
            return false;
        }
        return true;
    }

    ByteSpan bytes_;
    std::size_t pos_ = 0;
    int bit_ = 0;
    bool ok_ = true;
};

void PutU8(Bytes& out, std::uint8_t value) { out.push_back(value); }
void PutU16(Bytes& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void PutU32(Bytes& out, std::uint32_t value) {
    PutU16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    PutU16(out, static_cast<std::uint16_t>(value >> 16));
}
void SetU16(Bytes& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}
void PutBytes(Bytes& out, ByteSpan bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
void PutBytes(GrowingBytes& out, ByteSpan bytes) {
    const std::size_t at = out.size();
    out.resize(at + bytes.size());
    if (!bytes.empty()) std::memcpy(out.data() + at, bytes.data(), bytes.size());
}
void PutBytes(Bytes& out, std::string_view bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); }
void PutString(Bytes& out, std::string_view text) {
    PutBytes(out, text);
    out.push_back(0);
}

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// GBK to UTF-8 that refuses rather than repairs: a string that is not well-formed GBK
// is reported as such and the caller keeps its bytes.
class StrictGbkToUtf8 {
public:
    StrictGbkToUtf8() {
        iconv_t cd = iconv_open("UTF-8", "GBK");
        if (cd != reinterpret_cast<iconv_t>(-1)) handle_.reset(cd);
    }

    // The UTF-8 form of `gbk`, or nothing when it is plain ASCII (the same either way)
    // or not well-formed GBK.
    std::optional<std::string> Convert(std::string_view gbk) {
        if (std::all_of(gbk.begin(), gbk.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            return std::nullopt;
        }
        if (!handle_) return std::nullopt;
        auto* cd = static_cast<iconv_t>(handle_.get());
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        // No byte of GBK becomes more than three bytes of UTF-8.
        std::string out(gbk.size() * 3 + 4, '\0');
        char* in = const_cast<char*>(gbk.data());
        std::size_t inLeft = gbk.size();
        char* outPtr = out.data();
        std::size_t outLeft = out.size();
        if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
            return std::nullopt;
        }
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            return std::nullopt;
        }
        out.resize(out.size() - outLeft);
        // A GBK string has no NUL byte; its conversion must not gain one either.
        if (out.find('\0') != std::string::npos) return std::nullopt;
        return out;
    }

private:
    std::unique_ptr<void, IconvCloser> handle_;
};

// The state of one movie's re-encoding.
struct Recoder {
    StrictGbkToUtf8 gbk;
    bool changed = false;  // some text of the movie was re-encoded
    bool broken = false;   // the movie cannot be handed over re-encoded at all
    // Only finding out whether some text changes: what stays as it is is read and dropped,
    // and the walk ends at the first change.
    bool probing = false;

    // Writes `text` re-encoded (or as it was), null-terminated; notes a change in `local`.
    void PutText(Bytes& out, std::string_view text, bool& local) {
        if (auto utf8 = gbk.Convert(text)) {
            PutString(out, *utf8);
            local = true;
        } else {
            PutString(out, text);
        }
    }
};

// ---------------------------------------------------------------------------------------
// Actions

namespace action {
constexpr std::uint8_t ConstantPool = 0x88;
constexpr std::uint8_t GetUrl = 0x83;
constexpr std::uint8_t SetTarget = 0x8B;
constexpr std::uint8_t GotoLabel = 0x8C;
constexpr std::uint8_t DefineFunction2 = 0x8E;
constexpr std::uint8_t Try = 0x8F;
constexpr std::uint8_t With = 0x94;
constexpr std::uint8_t Push = 0x96;
constexpr std::uint8_t Jump = 0x99;
constexpr std::uint8_t DefineFunction = 0x9B;
constexpr std::uint8_t If = 0x9D;
}  // namespace action

// A field of a rewritten action that measures a stretch of the block: a branch offset
// (signed, from the end of its action) or the size of a body that follows the action.
struct Fixup {
    std::size_t at = 0;       // position of the 16-bit field in the action's new bytes
    std::size_t oldFrom = 0;  // the stretch in the old block
    std::size_t oldTo = 0;
    bool isSigned = false;
};

struct RewrittenAction {
    std::size_t oldStart = 0;
    Bytes bytes;  // the whole new record
    std::vector<Fixup> fixups;
};

// Rewrites the payload of one action with a long header. Returns false when the payload
// is not laid out as its action requires (the block is then left alone).
bool RewritePayload(Recoder& recoder, std::uint8_t code, ByteSpan payload, std::size_t oldEnd,
                    RewrittenAction& result, bool& changed) {
    Reader in(payload);
    Bytes& out = result.bytes;
    const std::size_t payloadStart = out.size();
    auto sizeFixup = [&](std::size_t from, std::uint16_t size) {
        result.fixups.push_back({out.size() - payloadStart, from, from + size, false});
        PutU16(out, size);
    };
    switch (code) {
    case action::ConstantPool: {
        const std::uint16_t count = in.U16();
        PutU16(out, count);
        for (unsigned i = 0; i < count && in.Ok(); ++i) recoder.PutText(out, in.String(), changed);
        break;
    }
    case action::GetUrl:
        recoder.PutText(out, in.String(), changed);
        recoder.PutText(out, in.String(), changed);
        break;
    case action::SetTarget:
    case action::GotoLabel:
        recoder.PutText(out, in.String(), changed);
        break;
    case action::Push:
        while (in.Ok() && !in.AtEnd()) {
            const std::uint8_t type = in.U8();
            PutU8(out, type);
            switch (type) {
            case 0: recoder.PutText(out, in.String(), changed); break;         // string
            case 2: case 3: break;                                            // null, undefined
            case 4: case 5: case 8: PutBytes(out, in.Take(1)); break;         // register, bool, constant
            case 9: PutBytes(out, in.Take(2)); break;                         // constant (16 bits)
            case 1: case 7: PutBytes(out, in.Take(4)); break;                 // float, integer
            case 6: PutBytes(out, in.Take(8)); break;                         // double
            default: return false;
            }
        }
        break;
    case action::DefineFunction: {
        recoder.PutText(out, in.String(), changed);
        const std::uint16_t count = in.U16();
        PutU16(out, count);
        for (unsigned i = 0; i < count && in.Ok(); ++i) recoder.PutText(out, in.String(), changed);
        sizeFixup(oldEnd, in.U16());
        break;
    }
    case action::DefineFunction2: {
        recoder.PutText(out, in.String(), changed);
        const std::uint16_t count = in.U16();
        PutU16(out, count);
        PutBytes(out, in.Take(3));  // register count, flags
        for (unsigned i = 0; i < count && in.Ok(); ++i) {
            PutBytes(out, in.Take(1));  // register
            recoder.PutText(out, in.String(), changed);
        }
        sizeFixup(oldEnd, in.U16());
        break;
    }
    case action::With:
        sizeFixup(oldEnd, in.U16());
        break;
    case action::Try: {
        const std::uint8_t flags = in.U8();
        PutU8(out, flags);
        const std::uint16_t trySize = in.U16();
        const std::uint16_t catchSize = in.U16();
        const std::uint16_t finallySize = in.U16();
        sizeFixup(oldEnd, trySize);
        sizeFixup(oldEnd + trySize, catchSize);
        sizeFixup(oldEnd + trySize + catchSize, finallySize);
        if (flags & 0x04) {
            PutBytes(out, in.Take(1));  // catch in a register
        } else {
            recoder.PutText(out, in.String(), changed);
        }
        break;
    }
    case action::Jump:
    case action::If: {
        const auto offset = static_cast<std::int16_t>(in.U16());
        const auto target = static_cast<std::ptrdiff_t>(oldEnd) + offset;
        if (target < 0) return false;
        result.fixups.push_back({out.size() - payloadStart, oldEnd, static_cast<std::size_t>(target), true});
        PutU16(out, 0);
        break;
    }
    default:
        PutBytes(out, in.Rest());
        break;
    }
    // The payload must be exactly what its action holds: anything else is not understood.
    if (!in.Ok() || !in.AtEnd()) return false;
    for (Fixup& fixup : result.fixups) fixup.at += payloadStart;
    return true;
}

// Reads one action record and makes its new bytes in `rewritten`; false when the record
// is not laid out as its action requires, or its new payload does not fit its length.
bool RewriteRecord(Recoder& recoder, Reader& in, RewrittenAction& rewritten, bool& changed) {
    rewritten.oldStart = in.Pos();
    rewritten.bytes.clear();
    rewritten.fixups.clear();
    const std::uint8_t op = in.U8();
    rewritten.bytes.push_back(op);
    if (op < 0x80) return in.Ok();
    const std::uint16_t length = in.U16();
    const ByteSpan payload = in.Take(length);
    if (!in.Ok()) return false;
    PutU16(rewritten.bytes, 0);  // set below
    if (!RewritePayload(recoder, op, payload, in.Pos(), rewritten, changed)) return false;
    const std::size_t newLength = rewritten.bytes.size() - 3;
    // UTF-8 is never shorter than GBK: a record never shrinks, which the rewrite in place
    // relies on.
    if (newLength > 0xFFFF || newLength < length) return false;
    SetU16(rewritten.bytes, 1, static_cast<std::uint16_t>(newLength));
    return true;
}

void SkipRecord(Reader& in) {
    if (in.U8() >= 0x80) in.Take(in.U16());
}

// Where a record that grew ends in the old block, and how much longer the block is up to
// there.
struct Growth {
    std::size_t oldEnd = 0;
    std::size_t total = 0;
};

// Re-encodes the block of action records that fills out[from, out.size()), in place; true
// when it changed. The block stays as it is when nothing in it changes or when it cannot be
// rewritten with certainty: its records do not tile it exactly, a branch or body ends off
// a record boundary, or a new value does not fit its field.
//
// Two passes, one record at a time: the first checks the block and notes the records that
// grow; the second moves the block to the end of its new room and writes each record's new
// bytes from the front. A record never shrinks, so what is written never overtakes what is
// still to be read. Besides the block, only the records that grow and the branches are
// noted, at most kMaxFixupsPerBlock of each.
template <class Out>
bool RecodeActionsInPlace(Recoder& recoder, Out& out, std::size_t from) {
    const std::size_t oldSize = out.size() - from;
    std::vector<Growth> growths;
    std::vector<Fixup> stretches;  // every branch and sized body, in old positions
    RewrittenAction rewritten;
    bool changed = false;
    std::size_t growth = 0;
    {
        Reader in(ByteSpan(out.data() + from, oldSize));
        while (!in.AtEnd()) {
            if (!RewriteRecord(recoder, in, rewritten, changed)) return false;
            const std::size_t grew = rewritten.bytes.size() - (in.Pos() - rewritten.oldStart);
            if (grew != 0) {
                if (growths.size() == kMaxFixupsPerBlock) return false;
                growth += grew;
                growths.push_back({in.Pos(), growth});
            }
            for (const Fixup& fixup : rewritten.fixups) {
                if (stretches.size() == kMaxFixupsPerBlock) return false;
                stretches.push_back(fixup);
            }
        }
    }
    if (!changed) return false;

    // Every branch and body must begin and end where a record begins, or at the block's end.
    {
        std::vector<std::size_t> ends;
        ends.reserve(2 * stretches.size());
        for (const Fixup& stretch : stretches) {
            ends.push_back(stretch.oldFrom);
            ends.push_back(stretch.oldTo);
        }
        std::sort(ends.begin(), ends.end());
        Reader walk(ByteSpan(out.data() + from, oldSize));
        for (auto boundary = ends.begin(); boundary != ends.end();) {
            if (*boundary < walk.Pos()) return false;  // inside the record before
            if (*boundary == walk.Pos()) {
                ++boundary;
            } else if (walk.AtEnd()) {
                return false;  // past the block's end
            } else {
                SkipRecord(walk);
            }
        }
    }
    // Where an old record boundary (or the block's end) lies in the new block.
    const auto newOffset = [&growths](std::size_t old) {
        const auto after = std::upper_bound(growths.begin(), growths.end(), old,
                                            [](std::size_t value, const Growth& g) { return value < g.oldEnd; });
        return static_cast<std::ptrdiff_t>(old + (after == growths.begin() ? 0 : std::prev(after)->total));
    };
    const auto fits = [&newOffset](const Fixup& fixup) {
        const std::ptrdiff_t distance = newOffset(fixup.oldTo) - newOffset(fixup.oldFrom);
        if (fixup.isSigned) {
            return distance >= std::numeric_limits<std::int16_t>::min() &&
                   distance <= std::numeric_limits<std::int16_t>::max();
        }
        return distance >= 0 && distance <= 0xFFFF;
    };
    if (!std::all_of(stretches.begin(), stretches.end(), fits)) return false;

    out.resize(from + oldSize + growth);
    std::uint8_t* block = out.data() + from;
    std::memmove(block + growth, block, oldSize);
    Reader in(ByteSpan(block + growth, oldSize));
    std::size_t written = 0;
    while (!in.AtEnd()) {
        RewriteRecord(recoder, in, rewritten, changed);  // as in the first pass
        for (const Fixup& fixup : rewritten.fixups) {
            const auto distance = newOffset(fixup.oldTo) - newOffset(fixup.oldFrom);
            SetU16(rewritten.bytes, fixup.at,
                   fixup.isSigned ? static_cast<std::uint16_t>(static_cast<std::int16_t>(distance))
                                  : static_cast<std::uint16_t>(distance));
        }
        std::memcpy(block + written, rewritten.bytes.data(), rewritten.bytes.size());
        written += rewritten.bytes.size();
    }
    return true;
}

// Writes the action block re-encoded, or as it was; notes a change in `changed`.
void PutActions(Recoder& recoder, Bytes& out, ByteSpan code, bool& changed) {
    const std::size_t from = out.size();
    PutBytes(out, code);
    if (RecodeActionsInPlace(recoder, out, from)) changed = true;
}

// ---------------------------------------------------------------------------------------
// Tags. Each rewriter returns the new body, or nothing to keep the tag as it was.

// Where a DefineButton's actions begin; nothing when its records cannot be read.
std::optional<std::size_t> DefineButtonActions(ByteSpan body) {
    Reader in(body);
    in.U16();  // character id
    while (in.Ok() && in.U8() != 0) {
        in.U16();  // character
        in.U16();  // depth
        in.SkipMatrix();
    }
    if (!in.Ok()) return std::nullopt;
    return in.Pos();
}

std::optional<Bytes> RecodeDefineButton2(Recoder& recoder, ByteSpan body) {
    Reader in(body);
    in.U16();  // character id
    in.U8();   // flags
    const std::size_t offsetField = in.Pos();
    const std::uint16_t actionOffset = in.U16();
    if (!in.Ok() || actionOffset == 0) return std::nullopt;
    std::size_t record = offsetField + actionOffset;
    if (record > body.size()) return std::nullopt;
    Bytes out(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(record));
    bool changed = false;
    for (;;) {
        if (body.size() - record < 4) return std::nullopt;
        Reader header(body.subspan(record, 4));
        const std::uint16_t size = header.U16();
        const std::uint16_t conditions = header.U16();
        const bool last = size == 0;
        if (!last && (size < 4 || size > body.size() - record)) return std::nullopt;
        const ByteSpan code = body.subspan(record + 4, last ? body.size() - record - 4 : size - 4u);
        const std::size_t sizeAt = out.size();
        PutU16(out, size);
        PutU16(out, conditions);
        bool blockChanged = false;
        PutActions(recoder, out, code, blockChanged);
        if (blockChanged && !last) {
            const std::size_t newSize = out.size() - sizeAt;
            if (newSize > 0xFFFF) {  // too long for its size field: keep the old block
                out.resize(sizeAt);
                PutBytes(out, body.subspan(record, size));
                blockChanged = false;
            } else {
                SetU16(out, sizeAt, static_cast<std::uint16_t>(newSize));
            }
        }
        changed = changed || blockChanged;
        if (last) break;
        record += size;
    }
    if (!changed) return std::nullopt;
    return out;
}

// PlaceObject2: the instance name is re-encoded, and clip actions get the four-byte event
// flags of version 6 whatever else happens, since version 6 reads them so. A placement
// whose clip actions cannot be read breaks the movie's re-encoding.
std::optional<Bytes> RecodePlaceObject2(Recoder& recoder, ByteSpan body) {
    Reader in(body);
    const std::uint8_t flags = in.U8();
    in.U16();                           // depth
    if (flags & 0x02) in.U16();         // character
    if (flags & 0x04) in.SkipMatrix();
    if (flags & 0x08) in.SkipColorTransformWithAlpha();
    if (flags & 0x10) in.U16();         // ratio
    const std::size_t nameAt = in.Pos();
    std::string_view name;
    if (flags & 0x20) name = in.String();
    const std::size_t afterName = in.Pos();
    if (flags & 0x40) in.U16();         // clip depth
    if (!in.Ok()) {
        if (flags & 0x80) recoder.broken = true;
        return std::nullopt;
    }
    bool changed = false;
    Bytes out(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(nameAt));
    if (flags & 0x20) recoder.PutText(out, name, changed);
    PutBytes(out, body.subspan(afterName, in.Pos() - afterName));
    if (!(flags & 0x80)) {
        if (!changed) return std::nullopt;
        return out;
    }
    PutU16(out, in.U16());  // reserved
    PutU32(out, in.U16());  // all events
    for (;;) {
        const std::uint16_t events = in.U16();
        PutU32(out, events);
        if (events == 0 || !in.Ok()) break;
        const std::uint32_t size = in.U32();
        const ByteSpan code = in.Take(size);
        if (!in.Ok()) break;
        const std::size_t sizeAt = out.size();
        PutU32(out, 0);
        PutActions(recoder, out, code, changed);
        const auto newSize = static_cast<std::uint32_t>(out.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i) out[sizeAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(newSize >> (8 * i));
    }
    if (!in.Ok()) {
        recoder.broken = true;
        return std::nullopt;
    }
    PutBytes(out, in.Rest());
    if (changed) recoder.changed = true;
    return out;  // always rewritten: the event flags are wider now
}

std::optional<Bytes> RecodeDefineEditText(Recoder& recoder, ByteSpan body) {
    Reader in(body);
    in.U16();  // character id
    in.SkipRect();
    const std::uint16_t flags = in.U16();
    if (flags & 0x0001) in.U16();          // font
    if (flags & 0x8000) in.String();       // font class
    if (flags & 0x8001) in.U16();          // height
    if (flags & 0x0004) in.Take(4);        // colour
    if (flags & 0x0002) in.U16();          // maximum length
    if (flags & 0x2000) in.Take(9);        // layout
    const std::size_t variableAt = in.Pos();
    const std::string_view variable = in.String();
    std::string_view text;
    if (flags & 0x0080) text = in.String();
    if (!in.Ok()) return std::nullopt;
    bool changed = false;
    Bytes out(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(variableAt));
    recoder.PutText(out, variable, changed);
    if (flags & 0x0080) recoder.PutText(out, text, changed);
    PutBytes(out, in.Rest());
    if (!changed) return std::nullopt;
    return out;
}

// A tag that begins with `prefix` bytes and a string, the rest kept.
std::optional<Bytes> RecodeLeadingString(Recoder& recoder, ByteSpan body, std::size_t prefix) {
    Reader in(body);
    in.Take(prefix);
    const std::string_view text = in.String();
    if (!in.Ok()) return std::nullopt;
    bool changed = false;
    Bytes out(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(prefix));
    recoder.PutText(out, text, changed);
    PutBytes(out, in.Rest());
    if (!changed) return std::nullopt;
    return out;
}

// A font name counted by a length byte; a terminating NUL, when the name has one, stays.
std::optional<Bytes> RecodeFontName(Recoder& recoder, ByteSpan body, std::size_t prefix) {
    Reader in(body);
    in.Take(prefix);
    const std::uint8_t length = in.U8();
    const ByteSpan name = in.Take(length);
    if (!in.Ok()) return std::nullopt;
    const auto nul = std::find(name.begin(), name.end(), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(name.data()), static_cast<std::size_t>(nul - name.begin()));
    const auto utf8 = recoder.gbk.Convert(text);
    if (!utf8) return std::nullopt;
    const std::size_t newLength = utf8->size() + (name.size() - text.size());
    if (newLength > 0xFF) return std::nullopt;
    Bytes out(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(prefix));
    PutU8(out, static_cast<std::uint8_t>(newLength));
    PutBytes(out, *utf8);
    PutBytes(out, name.subspan(text.size()));
    PutBytes(out, in.Rest());
    return out;
}

// ExportAssets and ImportAssets: an optional URL, a count, then (id, name) pairs.
std::optional<Bytes> RecodeAssetNames(Recoder& recoder, ByteSpan body, bool hasUrl, std::size_t afterUrl) {
    Reader in(body);
    bool changed = false;
    Bytes out;
    if (hasUrl) {
        recoder.PutText(out, in.String(), changed);
        PutBytes(out, in.Take(afterUrl));
    }
    const std::uint16_t count = in.U16();
    PutU16(out, count);
    for (unsigned i = 0; i < count && in.Ok(); ++i) {
        PutU16(out, in.U16());
        recoder.PutText(out, in.String(), changed);
    }
    if (!in.Ok() || !changed) return std::nullopt;
    PutBytes(out, in.Rest());
    return out;
}

// The tags whose whole body is rebuilt from a copy; nothing to keep the tag as it was.
std::optional<Bytes> RecodeSmallTag(Recoder& recoder, std::uint16_t code, ByteSpan body) {
    switch (code) {
    case tag::DefineButton2: return RecodeDefineButton2(recoder, body);
    case tag::PlaceObject2: return RecodePlaceObject2(recoder, body);
    case tag::PlaceObject3:
        // Its clip actions would need wider event flags too; such a tag does not belong
        // in an old movie, and the movie is not re-encoded.
        if (!body.empty() && (body[0] & 0x80)) recoder.broken = true;
        return std::nullopt;
    case tag::DefineEditText: return RecodeDefineEditText(recoder, body);
    case tag::FrameLabel: return RecodeLeadingString(recoder, body, 0);
    case tag::DefineFont2:
    case tag::DefineFont3: return RecodeFontName(recoder, body, 4);
    case tag::DefineFontInfo:
    case tag::DefineFontInfo2: return RecodeFontName(recoder, body, 2);
    case tag::ExportAssets: return RecodeAssetNames(recoder, body, false, 0);
    case tag::ImportAssets: return RecodeAssetNames(recoder, body, true, 0);
    case tag::ImportAssets2: return RecodeAssetNames(recoder, body, true, 2);
    default: return std::nullopt;
    }
}

bool IsSmallTag(std::uint16_t code) {
    switch (code) {
    case tag::DefineButton2: case tag::PlaceObject2: case tag::PlaceObject3: case tag::DefineEditText:
    case tag::FrameLabel: case tag::DefineFont2: case tag::DefineFont3: case tag::DefineFontInfo:
    case tag::DefineFontInfo2: case tag::ExportAssets: case tag::ImportAssets: case tag::ImportAssets2:
        return true;
    default:
        return false;
    }
}

// The movie's body as it is read, with its position.
class BodyInput {
public:
    explicit BodyInput(SwfBody& body) : body_(body) {}

    std::uint64_t Pos() const { return pos_; }

    bool ReadExactly(std::span<std::uint8_t> into) {
        std::size_t filled = 0;
        while (filled < into.size()) {
            const std::ptrdiff_t got = body_.Read(into.subspan(filled));
            if (got <= 0) return false;
            filled += static_cast<std::size_t>(got);
        }
        pos_ += filled;
        return true;
    }

    // The next `count` bytes onto the end of `out`, in pieces as the body gives them.
    bool CopyTo(GrowingBytes& out, std::uint64_t count) {
        while (count > 0) {
            const std::size_t at = out.size();
            const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kPiece));
            out.resize(at + piece);
            if (!ReadExactly(std::span(out.data() + at, piece))) return false;
            count -= piece;
        }
        return true;
    }

    // The next `count` bytes, which stay as they are: onto the end of `out`, or dropped.
    bool PassOn(GrowingBytes& out, std::uint64_t count, bool keep) {
        if (keep) return CopyTo(out, count);
        std::vector<std::uint8_t> scratch(static_cast<std::size_t>(std::min<std::uint64_t>(count, kPiece)));
        while (count > 0) {
            const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, kPiece));
            if (!ReadExactly(std::span(scratch).first(piece))) return false;
            count -= piece;
        }
        return true;
    }

private:
    static constexpr std::size_t kPiece = 256 * 1024;
    SwfBody& body_;
    std::uint64_t pos_ = 0;
};

// The tag header at `headerAt` made to fit the body after it, which ends at out's end: a
// long header stays long; a short one stays short while the body is under 63 bytes.
bool FinishTagHeader(GrowingBytes& out, std::size_t headerAt, std::uint16_t code, bool longForm) {
    const std::size_t bodyAt = headerAt + (longForm ? 6 : 2);
    const std::size_t length = out.size() - bodyAt;
    if (length > std::numeric_limits<std::uint32_t>::max()) return false;
    Bytes header;
    if (!longForm && length < 0x3F) {
        PutU16(header, static_cast<std::uint16_t>((code << 6) | length));
    } else {
        PutU16(header, static_cast<std::uint16_t>((code << 6) | 0x3F));
        PutU32(header, static_cast<std::uint32_t>(length));
    }
    if (header.size() != bodyAt - headerAt) {  // a short body that grew: it moves up by four
        out.resize(out.size() + 4);
        std::memmove(out.data() + bodyAt + 4, out.data() + bodyAt, length);
    }
    std::memcpy(out.data() + headerAt, header.data(), header.size());
    return true;
}

bool RecodeTags(Recoder& recoder, BodyInput& in, GrowingBytes& out, std::uint64_t end, int depth);

// Reads the tag's body and writes it re-encoded (or as it was) onto the end of `out`; false
// when the body cannot be read or the movie cannot be re-encoded.
bool RecodeTagBody(Recoder& recoder, BodyInput& in, GrowingBytes& out, std::uint16_t code, std::uint64_t length,
                   int depth) {
    const std::size_t bodyAt = out.size();
    if (code == tag::DefineSprite) {
        // Sprites cannot nest in a well-formed movie; a little room for odd ones.
        if (length < 4 || depth >= kMaxSpriteDepth) return false;
        return in.CopyTo(out, 4) && RecodeTags(recoder, in, out, in.Pos() + length - 4, depth + 1);
    }
    const bool actions = code == tag::DoAction || code == tag::DoInitAction || code == tag::DefineButton;
    if (!actions && !(IsSmallTag(code) && length <= kMaxRebuiltTag)) {
        if ((code == tag::PlaceObject2 || code == tag::PlaceObject3) && length > 0) {
            if (!in.CopyTo(out, 1)) return false;
            // Clip actions too long to rebuild: their event flags would stay narrow.
            if (out.data()[bodyAt] & 0x80) recoder.broken = true;
            return !recoder.broken && in.PassOn(out, length - 1, !recoder.probing);
        }
        return in.PassOn(out, length, !recoder.probing);
    }
    if (!in.CopyTo(out, length)) return false;
    const ByteSpan body(out.data() + bodyAt, out.size() - bodyAt);
    std::optional<std::size_t> start;
    if (code == tag::DoAction) start = 0;
    if (code == tag::DoInitAction && length >= 2) start = 2;
    if (code == tag::DefineButton) start = DefineButtonActions(body);
    if (actions) {
        if (start && RecodeActionsInPlace(recoder, out, bodyAt + *start)) recoder.changed = true;
    } else if (auto recoded = RecodeSmallTag(recoder, code, body)) {
        // A placement is rewritten for its structure; it notes its own text changes.
        if (code != tag::PlaceObject2) recoder.changed = true;
        out.resize(bodyAt);
        PutBytes(out, *recoded);
    }
    return !recoder.broken;
}

// The tag list from the body's position up to `end`, re-encoded onto the end of `out`;
// false when a tag runs past `end` or makes the movie unfit for re-encoding. The list
// ends with its End tag (bytes after it are kept) or, leniently, at `end`.
bool RecodeTags(Recoder& recoder, BodyInput& in, GrowingBytes& out, std::uint64_t end, int depth) {
    while (in.Pos() < end) {
        std::array<std::uint8_t, 6> header{};
        if (end - in.Pos() < 2 || !in.ReadExactly(std::span(header).first(2))) return false;
        const auto word = static_cast<std::uint16_t>(header[0] | header[1] << 8);
        const auto code = static_cast<std::uint16_t>(word >> 6);
        std::uint64_t length = word & 0x3Fu;
        const bool longForm = length == 0x3F;
        if (longForm) {
            if (end - in.Pos() < 4 || !in.ReadExactly(std::span(header).subspan(2))) return false;
            length = Reader(std::span(header).subspan(2)).U32();
        }
        if (length > end - in.Pos()) return false;
        const std::size_t headerAt = out.size();
        PutBytes(out, std::span(header).first(longForm ? 6 : 2));
        if (!RecodeTagBody(recoder, in, out, code, length, depth)) return false;
        if (!FinishTagHeader(out, headerAt, code, longForm)) return false;
        if (code == tag::End) return in.PassOn(out, end - in.Pos(), !recoder.probing);
        if (recoder.probing && depth == 0) {
            if (recoder.changed) return true;
            out.resize(headerAt);
        }
    }
    return true;
}

}  // namespace

void GrowingBytes::resize(std::size_t size) {
    if (size > limit_) throw std::bad_alloc();
    if (size > capacity_) {
        const std::size_t capacity = std::min(limit_, std::max({size, capacity_ + capacity_ / 2, std::size_t{4096}}));
        auto* grown = static_cast<std::uint8_t*>(std::realloc(bytes_.get(), capacity));
        if (grown == nullptr) throw std::bad_alloc();
        static_cast<void>(bytes_.release());
        bytes_.reset(grown);
        capacity_ = capacity;
    }
    size_ = size;
}

bool MayHoldGbkText(std::span<const std::uint8_t> header) {
    // "ZWS" (LZMA) belongs to version 13 and later; an old movie is plain or zlib.
    return header.size() >= 4 && (header[0] == 'F' || header[0] == 'C') && header[1] == 'W' && header[2] == 'S' &&
           header[3] < 6;
}

namespace {

// The movie from `source` re-encoded by `recoder`; nothing as RecodeGbkMovie says.
std::optional<GrowingBytes> Recode(const SwfByteSource& source, Recoder& recoder, std::size_t maxBytes) {
    SwfBody body(source);
    const std::array<std::uint8_t, 4> start{static_cast<std::uint8_t>(body.Compression()), 'W', 'S', body.Version()};
    if (!body.Valid() || !MayHoldGbkText(start) || body.Length() > maxBytes) return std::nullopt;
    const std::uint64_t bodyLength = body.Length() - 8u;
    BodyInput in(body);
    GrowingBytes out(maxBytes);
    PutBytes(out, std::array<std::uint8_t, 8>{'F', 'W', 'S', 6, 0, 0, 0, 0});

    // Stage rectangle, frame rate and frame count, kept as they are.
    std::array<std::uint8_t, 1> first{};
    if (bodyLength == 0 || !in.ReadExactly(first)) return std::nullopt;
    const std::size_t headerRest = MovieHeaderRestLength(first[0]);
    if (bodyLength < headerRest) return std::nullopt;
    PutBytes(out, first);
    if (!in.CopyTo(out, headerRest - 1)) return std::nullopt;

    if (!RecodeTags(recoder, in, out, bodyLength, 0) || recoder.broken || !recoder.changed) return std::nullopt;
    const auto total = static_cast<std::uint32_t>(out.size());  // at most maxBytes
    for (int i = 0; i < 4; ++i) out.data()[4 + i] = static_cast<std::uint8_t>(total >> (8 * i));
    return out;
}

}  // namespace

std::optional<GrowingBytes> RecodeGbkMovie(const std::function<SwfByteSource()>& open, std::size_t maxBytes) {
    try {
        // First only to find out whether some text changes: a movie that needs no change
        // is read through once and never copied.
        Recoder probe;
        probe.probing = true;
        if (!Recode(open(), probe, maxBytes)) return std::nullopt;
        Recoder recoder;
        return Recode(open(), recoder, maxBytes);
    } catch (const std::bad_alloc&) {
        // Past the bounds, or out of memory: the movie is handed over as it is.
        return std::nullopt;
    }
}

}  // namespace pw
