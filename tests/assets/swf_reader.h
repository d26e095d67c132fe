#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// An independent reader for the movies under test: the header, the tag list, and the
// records the tests look into. It shares no code with the writer, so a writer fault
// cannot hide behind a matching reader fault.
namespace pw::testing {

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes, std::size_t offset = 0) : bytes_(bytes), byte_(offset) {}
    std::uint32_t Unsigned(int bits);
    std::int32_t Signed(int bits);
    void Align() {
        if (bit_ != 0) {
            bit_ = 0;
            ++byte_;
        }
    }
    std::uint8_t U8();
    std::uint16_t U16();
    std::uint32_t U32();
    std::size_t Offset() const { return byte_; }
    bool Overrun() const { return overrun_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t byte_ = 0;
    int bit_ = 0;
    bool overrun_ = false;
};

struct SwfRect {
    std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

struct SwfTag {
    std::uint16_t code = 0;
    std::size_t bodyOffset = 0;  // into the file
    std::size_t length = 0;
};

struct SwfFile {
    std::string signature;
    int version = 0;
    std::uint32_t lengthField = 0;
    SwfRect stage;
    std::uint16_t frameRate = 0;  // 8.8 fixed point
    std::uint16_t frameCount = 0;
    std::vector<SwfTag> tags;
    bool walkedToEnd = false;  // the tag headers and lengths end exactly at the file's end
};

// Uncompressed files only.
std::optional<SwfFile> ReadSwf(std::span<const std::uint8_t> file);
// The tags inside a body (a sprite's control tags); walkedToEnd as above.
std::vector<SwfTag> ReadTags(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end, bool& walkedToEnd);

struct SwfMatrix {
    double scaleX = 1, scaleY = 1, skew0 = 0, skew1 = 0;
    std::int32_t translateX = 0, translateY = 0;
};

struct SwfColorTransform {
    bool hasMult = false, hasAdd = false;
    std::int32_t mult[4] = {256, 256, 256, 256};
    std::int32_t add[4] = {0, 0, 0, 0};
};

struct SwfPlacement {
    bool move = false;
    std::uint16_t depth = 0;
    std::optional<std::uint16_t> characterId;
    std::optional<SwfMatrix> matrix;
    std::optional<SwfColorTransform> colorTransform;
};

SwfPlacement ReadPlaceObject2(std::span<const std::uint8_t> file, const SwfTag& tag);

}  // namespace pw::testing
