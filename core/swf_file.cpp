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

struct InflateEnder {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

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

// One step of a decoder: bytes written and whether its data has ended.
struct Step {
    std::size_t produced = 0;
    bool ended = false;
    bool failed = false;
};

}  // namespace

// The three ways a body is stored. Each Produce writes at most `room` (>= 1) bytes and
// asks the source for more only when it has to; InputEndsClean tells, once the data has
// ended, whether not one byte more follows it.
struct SwfBody::Decoder {
    explicit Decoder(const SwfByteSource& source) : reader(source) {}
    virtual ~Decoder() = default;
    virtual Step Produce(std::uint8_t* out, std::size_t room) = 0;
    virtual bool InputEndsClean() = 0;
    Reader reader;
};

namespace {

class Uncompressed final : public SwfBody::Decoder {
public:
    using Decoder::Decoder;
    Step Produce(std::uint8_t* out, std::size_t room) override {
        const std::size_t got = reader.Read(std::span(out, room));
        return {got, got == 0, reader.Failed()};
    }
    bool InputEndsClean() override { return !reader.Failed(); }
};

class Zlib final : public SwfBody::Decoder {
public:
    explicit Zlib(const SwfByteSource& source) : Decoder(source), input_(kPiece) {
        if (inflateInit(&stream_) == Z_OK) ender_.reset(&stream_);
    }
    Step Produce(std::uint8_t* out, std::size_t room) override {
        if (!ender_) return {0, false, true};
        for (;;) {
            if (stream_.avail_in == 0) {
                const std::size_t got = reader.Read(input_);
                if (got == 0) return {0, false, true};  // the file ends inside the stream
                stream_.next_in = input_.data();
                stream_.avail_in = static_cast<uInt>(got);
            }
            stream_.next_out = out;
            stream_.avail_out = static_cast<uInt>(room);
            const int result = inflate(&stream_, Z_NO_FLUSH);
            const std::size_t produced = room - stream_.avail_out;
            if (result == Z_STREAM_END) return {produced, true, false};
            // Z_BUF_ERROR only means "give me input"; with input left it would be no progress.
            if (result == Z_BUF_ERROR && stream_.avail_in == 0) continue;
            if (result != Z_OK) return {0, false, true};
            if (produced > 0) return {produced, false, false};
        }
    }
    bool InputEndsClean() override { return stream_.avail_in == 0 && reader.AtCleanEnd(); }

private:
    z_stream stream_{};
    std::unique_ptr<z_stream, InflateEnder> ender_;
    std::vector<std::uint8_t> input_;
};

class Lzma final : public SwfBody::Decoder {
public:
    Lzma(const SwfByteSource& source, std::uint64_t bodyLength) : Decoder(source), input_(kPiece + kLzmaTail) {
        std::array<std::uint8_t, 9> rest{};  // compressed length, then the LZMA properties
        if (!reader.ReadExactly(rest)) return;
        if (lzma_alone_decoder(&stream_, kLzmaMemoryLimit) != LZMA_OK) {
            lzma_end(&stream_);
            return;
        }
        ender_.reset(&stream_);
        header_ = LzmaAloneHeader(rest.data() + 4, bodyLength);
        stream_.next_in = header_.data();
        stream_.avail_in = header_.size();
    }
    Step Produce(std::uint8_t* out, std::size_t room) override {
        if (!ender_) return {0, false, true};
        for (;;) {
            if (stream_.avail_in == 0 && action_ == LZMA_RUN) {
                // liblzma (5.4) loses track of an end marker it had begun to decode when a
                // call ends for want of input, and answers LZMA_DATA_ERROR on the next. The
                // end marker and the range coder's flush lie in the last few bytes, so the
                // last kLzmaTail bytes are held back until the source has ended and then
                // handed over in one piece.
                std::memmove(input_.data(), input_.data() + handed_, held_);
                while (held_ <= kLzmaTail && !sourceEnded_) {
                    const std::size_t got = reader.Read(std::span(input_).subspan(held_));
                    if (reader.Failed()) return {0, false, true};
                    held_ += got;
                    sourceEnded_ = got == 0;
                }
                handed_ = sourceEnded_ ? held_ : held_ - kLzmaTail;
                held_ -= handed_;
                if (handed_ == 0) action_ = LZMA_FINISH;  // lets the decoder say whether the data ended whole
                stream_.next_in = input_.data();
                stream_.avail_in = handed_;
            }
            stream_.next_out = out;
            stream_.avail_out = room;
            const lzma_ret result = lzma_code(&stream_, action_);
            const std::size_t produced = room - stream_.avail_out;
            if (result == LZMA_STREAM_END) return {produced, true, false};
            if (result != LZMA_OK) return {0, false, true};  // corrupt, cut (LZMA_BUF_ERROR) or over the limit
            if (produced > 0) return {produced, false, false};
        }
    }
    // Nothing held back means the source has ended: no byte follows the data.
    bool InputEndsClean() override { return stream_.avail_in == 0 && held_ == 0 && sourceEnded_; }

private:
    static constexpr std::size_t kLzmaTail = 256;
    lzma_stream stream_ = LZMA_STREAM_INIT;
    std::unique_ptr<lzma_stream, LzmaEnder> ender_;
    std::array<std::uint8_t, 13> header_{};
    std::vector<std::uint8_t> input_;
    std::size_t handed_ = 0;  // input_[0, handed_) went to the decoder; the held bytes follow
    std::size_t held_ = 0;
    bool sourceEnded_ = false;
    lzma_action action_ = LZMA_RUN;
};

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

SwfBody::SwfBody(const SwfByteSource& source, const SwfByteSkip& skip) {
    {
        Reader reader(source);
        if (!reader.ReadExactly(header_)) return;
    }
    const std::uint32_t length = Length();
    if (length < 8 || header_[1] != 'W' || header_[2] != 'S') return;
    switch (header_[0]) {
    case 'F':
        decoder_ = std::make_unique<Uncompressed>(source);
        if (skip) skip_ = &skip;
        break;
    case 'C': decoder_ = std::make_unique<Zlib>(source); break;
    case 'Z': decoder_ = std::make_unique<Lzma>(source, length - 8u); break;
    default: break;
    }
}

SwfBody::~SwfBody() = default;

std::uint32_t SwfBody::Length() const {
    return LittleEndian32(header_.data() + 4);
}

std::ptrdiff_t SwfBody::Read(std::span<std::uint8_t> into) {
    if (!decoder_ || failed_) return -1;
    const std::uint64_t left = std::uint64_t{Length()} - 8 - produced_;
    if (left == 0 || into.empty()) return 0;
    if (dataEnded_) {  // the data ended before the header's length
        failed_ = true;
        return -1;
    }
    const Step step = decoder_->Produce(into.data(), static_cast<std::size_t>(std::min<std::uint64_t>(into.size(), left)));
    dataEnded_ = step.ended;
    if (step.failed || (step.produced == 0 && step.ended)) {
        failed_ = true;
        return -1;
    }
    produced_ += step.produced;
    return static_cast<std::ptrdiff_t>(step.produced);
}

bool SwfBody::CanPassOver() const { return decoder_ && skip_; }

bool SwfBody::PassOver(std::uint64_t count) {
    // Passed-over bytes are produced as if read; the next read takes the source after them.
    if (!CanPassOver() || failed_ || count > std::uint64_t{Length()} - 8 - produced_ || !(*skip_)(count)) {
        failed_ = true;
        return false;
    }
    produced_ += count;
    return true;
}

bool SwfBody::EndsThere() {
    if (!decoder_ || failed_ || produced_ != std::uint64_t{Length()} - 8) return false;
    while (!dataEnded_) {
        std::uint8_t extra = 0;
        const Step step = decoder_->Produce(&extra, 1);
        if (step.failed || step.produced != 0) return false;  // broken, or more than the header says
        dataEnded_ = step.ended;
    }
    return decoder_->InputEndsClean();
}

namespace {

// The body read forward through a buffer of one piece: a movie of many small tags costs
// few reads of its source.
class BufferedBody {
public:
    explicit BufferedBody(SwfBody& body) : body_(body), buffer_(kPiece) {}

    std::uint64_t Position() const { return position_; }

    // Fills `into` whole; false when the body ends or fails first.
    bool Take(std::span<std::uint8_t> into) {
        for (std::size_t filled = 0; filled < into.size();) {
            if (!Refill()) return false;
            const std::size_t n = std::min(into.size() - filled, held_ - at_);
            std::memcpy(into.data() + filled, buffer_.data() + at_, n);
            Consume(n);
            filled += n;
        }
        return true;
    }

    bool Skip(std::uint64_t count) {
        const auto held = static_cast<std::size_t>(std::min<std::uint64_t>(count, held_ - at_));
        Consume(held);
        count -= held;
        if (count > 0 && body_.CanPassOver()) {
            if (!body_.PassOver(count)) return false;
            position_ += count;
            return true;
        }
        while (count > 0) {
            if (!Refill()) return false;
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, held_ - at_));
            Consume(n);
            count -= n;
        }
        return true;
    }

private:
    bool Refill() {
        if (at_ < held_) return true;
        const std::ptrdiff_t got = body_.Read(buffer_);
        if (got <= 0) return false;
        held_ = static_cast<std::size_t>(got);
        at_ = 0;
        return true;
    }
    void Consume(std::size_t n) {
        at_ += n;
        position_ += n;
    }

    SwfBody& body_;
    std::vector<std::uint8_t> buffer_;
    std::size_t held_ = 0;
    std::size_t at_ = 0;
    std::uint64_t position_ = 0;
};

// True when the body's tags follow one another to an End tag that ends exactly at the
// header's length. A tag that claims more than is left ends the walk at once.
bool TagsEndWithTheBody(SwfBody& body) {
    constexpr std::uint16_t kEndTag = 0;
    const std::uint64_t length = std::uint64_t{body.Length()} - 8;
    BufferedBody in(body);
    std::array<std::uint8_t, 4> bytes{};
    if (!in.Take(std::span(bytes).first(1)) || !in.Skip(MovieHeaderRestLength(bytes[0]) - 1)) return false;
    for (;;) {
        if (!in.Take(std::span(bytes).first(2))) return false;
        const auto word = static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
        std::uint64_t tagLength = word & 0x3Fu;
        if (tagLength == 0x3F) {
            if (!in.Take(bytes)) return false;
            tagLength = LittleEndian32(bytes.data());
        }
        if (tagLength > length - in.Position() || !in.Skip(tagLength)) return false;
        if (word >> 6 == kEndTag) return in.Position() == length;
    }
}

}  // namespace

bool IsWholeSwf(const SwfByteSource& source, const SwfByteSkip& skip) {
    SwfBody body(source, skip);
    if (!body.Valid()) return false;
    // An uncompressed movie has no stream of its own that must end whole: its tags must.
    if (body.Compression() == 'F') return TagsEndWithTheBody(body) && body.EndsThere();
    std::vector<std::uint8_t> scratch(kPiece);
    for (;;) {
        const std::ptrdiff_t got = body.Read(scratch);
        if (got < 0) return false;
        if (got == 0) return body.EndsThere();
    }
}

bool IsWholeSwfFile(const Text& path) {
    // Non-blocking open, so that a FIFO at the path cannot stall us before the check below.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) return false;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    const int fd = file.fd;
    return IsWholeSwf(
        [fd](std::span<std::uint8_t> into) -> std::ptrdiff_t {
            for (;;) {
                const ssize_t got = ::read(fd, into.data(), into.size());
                if (got >= 0) return got;
                if (errno != EINTR) return -1;
            }
        },
        [fd](std::uint64_t count) {
            struct stat now {};
            const off_t at = ::lseek(fd, 0, SEEK_CUR);
            if (at < 0 || ::fstat(fd, &now) != 0 || count > static_cast<std::uint64_t>(now.st_size - at)) return false;
            return ::lseek(fd, static_cast<off_t>(count), SEEK_CUR) >= 0;
        });
}

}  // namespace pw
