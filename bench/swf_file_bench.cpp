// Memory of the whole-movie check against the length a header claims: a CWS that claims
// 4 GiB and really inflates to it (zeros, made on the fly, so that no copy of the file is
// held) is checked to the end. The peak resident size before and after shows what the
// check holds; the stream's maker (a deflate state of about 300 KiB) is part of the
// difference.
//   swf_file_bench
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_figures.h"
#include "core/swf_file.h"

namespace {

// "CWS", a version, the claimed length, then zlib of (claimed - 8) zeros, deflated as read.
class ZerosCws {
public:
    explicit ZerosCws(std::uint32_t claimed) : claimed_(claimed), zerosLeft_(std::uint64_t{claimed} - 8) {
        header_ = {'C', 'W', 'S', 10, static_cast<std::uint8_t>(claimed), static_cast<std::uint8_t>(claimed >> 8),
                   static_cast<std::uint8_t>(claimed >> 16), static_cast<std::uint8_t>(claimed >> 24)};
        deflateInit(&stream_, 1);
    }
    ~ZerosCws() { deflateEnd(&stream_); }
    ZerosCws(const ZerosCws&) = delete;
    ZerosCws& operator=(const ZerosCws&) = delete;

    std::ptrdiff_t Read(std::span<std::uint8_t> into) {
        if (headerAt_ < header_.size()) {
            const std::size_t n = std::min(into.size(), header_.size() - headerAt_);
            std::memcpy(into.data(), header_.data() + headerAt_, n);
            headerAt_ += n;
            return static_cast<std::ptrdiff_t>(n);
        }
        if (ended_) return 0;
        stream_.next_out = into.data();
        stream_.avail_out = static_cast<uInt>(into.size());
        while (stream_.avail_out == into.size() && !ended_) {
            if (stream_.avail_in == 0 && zerosLeft_ > 0) {
                const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(zeros_.size(), zerosLeft_));
                stream_.next_in = zeros_.data();
                stream_.avail_in = static_cast<uInt>(n);
                zerosLeft_ -= n;
            }
            ended_ = deflate(&stream_, zerosLeft_ == 0 ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_END;
        }
        compressed_ += into.size() - stream_.avail_out;
        return static_cast<std::ptrdiff_t>(into.size() - stream_.avail_out);
    }

    std::uint64_t Compressed() const { return compressed_ + header_.size(); }

private:
    std::uint32_t claimed_;
    std::uint64_t zerosLeft_;
    std::vector<std::uint8_t> header_;
    std::size_t headerAt_ = 0;
    std::vector<std::uint8_t> zeros_ = std::vector<std::uint8_t>(1 << 20);
    z_stream stream_{};
    bool ended_ = false;
    std::uint64_t compressed_ = 0;
};

}  // namespace

int main() {
    ZerosCws cws(0xffffffffu);  // its 1 MiB of zeros counts before; its deflate state after
    const long long before = pw::bench::StatusKiB(::getpid(), "VmHWM:");
    const auto start = std::chrono::steady_clock::now();
    const bool whole = pw::IsWholeSwf([&cws](std::span<std::uint8_t> into) { return cws.Read(into); });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long long after = pw::bench::StatusKiB(::getpid(), "VmHWM:");

    std::printf("CWS claiming 4294967295 bytes, %llu bytes compressed: %s in %.1f s (made and checked)\n",
                static_cast<unsigned long long>(cws.Compressed()), whole ? "whole" : "NOT whole", seconds);
    std::printf("peak RSS: %lld KiB before, %lld KiB after (+%lld KiB, target: flat, under 2 MiB)\n", before, after,
                after - before);
    return whole ? 0 : 1;
}
