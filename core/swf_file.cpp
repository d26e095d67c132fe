#include "core/swf_file.h"

#include <fcntl.h>
#include <lzma.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace pw {
namespace {

// Input and scratch output pieces: what a header claims never changes how much is held.
constexpr std::size_t kPiece = 64 * 1024;
// The most a ZWS decoder may take. Its dictionary is the smaller of what the properties ask
// for and the movie's length, so only a movie above this size with such a dictionary is
// refused.
constexpr std::uint64_t kLzmaMemoryLimit = std::uint64_t{128} << 20;

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The source with its end and its failure remembered, so that nothing reads past either.
class Reader {
public:
    explicit Reader(const SwfByteSource& source) : source_(source) {}

    // Up to into.size() bytes; 0 once the source has ended or failed.
    std::size_t Read(std::span<std::uint8_t> into) {
        if (ended_ || failed_ || into.empty()) return 0;
        const std::ptrdiff_t got = source_(into);
        if (got < 0 || static_cast<std::size_t>(got) > into.size()) {
            failed_ = true;
            return 0;
        }
        if (got == 0) ended_ = true;
        return static_cast<std::size_t>(got);
    }

    // Fills the span whole; false when the source ends or fails first.
    bool ReadExactly(std::span<std::uint8_t> into) {
        std::size_t filled = 0;
        while (filled < into.size()) {
            const std::size_t got = Read(into.subspan(filled));
            if (got == 0) return false;
            filled += got;
        }
        return true;
    }

    // True when not one byte more follows and reading did not fail.
    bool AtCleanEnd() {
        std::array<std::uint8_t, 1> extra{};
        return Read(extra) == 0 && !failed_;
    }

    bool Failed() const { return failed_; }

private:
    const SwfByteSource& source_;
    bool ended_ = false;
    bool failed_ = false;
};

// Output room for the next step: never more than one byte past the claimed length, so a
// stream that inflates further is caught at its first extra byte.
std::size_t OutputRoom(std::uint64_t produced, std::uint64_t expected) {
    return static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, expected - produced + 1));
}

bool IsWholeUncompressed(Reader& reader, std::uint64_t fileLength) {
    std::vector<std::uint8_t> piece(kPiece);
    std::uint64_t seen = 8;
    while (seen <= fileLength) {
        const std::size_t want = OutputRoom(seen, fileLength);
        const std::size_t got = reader.Read(std::span(piece).first(want));
        if (got == 0) break;
        seen += got;
    }
    return seen == fileLength && !reader.Failed();
}

struct InflateEnder {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

bool IsWholeZlib(Reader& reader, std::uint64_t bodyLength) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return false;
    const std::unique_ptr<z_stream, InflateEnder> ender(&stream);

    std::vector<std::uint8_t> input(kPiece);
    std::vector<std::uint8_t> output(kPiece);
    std::uint64_t produced = 0;
    for (;;) {
        if (stream.avail_in == 0) {
            const std::size_t got = reader.Read(input);
            if (got == 0) return false;  // the file ends inside the stream
            stream.next_in = input.data();
            stream.avail_in = static_cast<uInt>(got);
        }
        const std::size_t room = OutputRoom(produced, bodyLength);
        stream.next_out = output.data();
        stream.avail_out = static_cast<uInt>(room);
        const int result = inflate(&stream, Z_NO_FLUSH);
        produced += room - stream.avail_out;
        if (produced > bodyLength) return false;
        if (result == Z_STREAM_END) return produced == bodyLength && stream.avail_in == 0 && reader.AtCleanEnd();
        // Z_BUF_ERROR only means "give me input"; with input left it would be no progress.
        if (result == Z_BUF_ERROR && stream.avail_in == 0) continue;
        if (result != Z_OK) return false;
    }
}

struct LzmaEnder {
    void operator()(lzma_stream* stream) const { lzma_end(stream); }
};

// The SWF keeps the five LZMA property bytes but not the .lzma header's size field after
// them: the header the .lzma decoder expects is made from the properties and the movie's
// length, so the decoder stops at that length and takes an end marker there if one follows.
std::array<std::uint8_t, 13> LzmaAloneHeader(const std::uint8_t* properties, std::uint64_t bodyLength) {
    std::array<std::uint8_t, 13> header{};
    header[0] = properties[0];
    // No match reaches further back than the movie is long: a smaller dictionary decodes
    // the same bytes.
    const std::uint32_t dictionary = static_cast<std::uint32_t>(std::max<std::uint64_t>(
        LZMA_DICT_SIZE_MIN, std::min<std::uint64_t>(LittleEndian32(properties + 1), bodyLength)));
    for (int i = 0; i < 4; ++i) header[static_cast<std::size_t>(1 + i)] = static_cast<std::uint8_t>(dictionary >> (8 * i));
    for (int i = 0; i < 8; ++i) header[static_cast<std::size_t>(5 + i)] = static_cast<std::uint8_t>(bodyLength >> (8 * i));
    return header;
}

bool IsWholeLzma(Reader& reader, std::uint64_t bodyLength) {
    std::array<std::uint8_t, 9> rest{};  // compressed length, then the LZMA properties
    if (!reader.ReadExactly(rest)) return false;

    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_alone_decoder(&stream, kLzmaMemoryLimit) != LZMA_OK) {
        lzma_end(&stream);
        return false;
    }
    const std::unique_ptr<lzma_stream, LzmaEnder> ender(&stream);
    const std::array<std::uint8_t, 13> header = LzmaAloneHeader(rest.data() + 4, bodyLength);
    stream.next_in = header.data();
    stream.avail_in = header.size();

    // liblzma (5.4) loses track of an end marker it had begun to decode when a call ends
    // for want of input, and answers LZMA_DATA_ERROR on the next. The end marker and the
    // range coder's flush lie in the last few bytes, so the last kLzmaTail bytes are held
    // back until the source has ended and then handed over in one piece.
    constexpr std::size_t kLzmaTail = 256;
    std::vector<std::uint8_t> input(kPiece + kLzmaTail);
    std::vector<std::uint8_t> output(kPiece);
    std::size_t handed = 0;  // input[0, handed) went to the decoder; the held bytes follow
    std::size_t held = 0;
    bool sourceEnded = false;
    std::uint64_t produced = 0;
    lzma_action action = LZMA_RUN;
    for (;;) {
        if (stream.avail_in == 0 && action == LZMA_RUN) {
            std::memmove(input.data(), input.data() + handed, held);
            while (held <= kLzmaTail && !sourceEnded) {
                const std::size_t got = reader.Read(std::span(input).subspan(held));
                if (reader.Failed()) return false;
                held += got;
                sourceEnded = got == 0;
            }
            handed = sourceEnded ? held : held - kLzmaTail;
            held -= handed;
            if (handed == 0) action = LZMA_FINISH;  // lets the decoder say whether the data ended whole
            stream.next_in = input.data();
            stream.avail_in = handed;
        }
        const std::size_t room = OutputRoom(produced, bodyLength);
        stream.next_out = output.data();
        stream.avail_out = room;
        const lzma_ret result = lzma_code(&stream, action);
        produced += room - stream.avail_out;
        if (produced > bodyLength) return false;
        if (result == LZMA_STREAM_END) {
            // Nothing held back means the source has ended: no byte follows the data.
            return produced == bodyLength && stream.avail_in == 0 && held == 0;
        }
        if (result != LZMA_OK) return false;  // corrupt, cut (LZMA_BUF_ERROR) or over the limit
    }
}

struct FileDescriptor {
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    ~FileDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int fd;
};

}  // namespace

bool IsWholeSwf(const SwfByteSource& source) {
    Reader reader(source);
    std::array<std::uint8_t, 8> header{};
    if (!reader.ReadExactly(header)) return false;
    const std::uint64_t fileLength = LittleEndian32(header.data() + 4);
    const auto signature = [&header](char first) { return header[0] == first && header[1] == 'W' && header[2] == 'S'; };
    if (signature('F')) return IsWholeUncompressed(reader, fileLength);
    if (fileLength < 8) return false;
    if (signature('C')) return IsWholeZlib(reader, fileLength - 8);
    if (signature('Z')) return IsWholeLzma(reader, fileLength - 8);
    return false;
}

bool IsWholeSwfFile(const Text& path) {
    // Non-blocking open, so that a FIFO at the path cannot stall us before the check below.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) return false;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return IsWholeSwf([fd = file.fd](std::span<std::uint8_t> into) -> std::ptrdiff_t {
        for (;;) {
            const ssize_t got = ::read(fd, into.data(), into.size());
            if (got >= 0) return got;
            if (errno != EINTR) return -1;
        }
    });
}

}  // namespace pw
