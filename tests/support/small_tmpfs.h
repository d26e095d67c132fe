#pragma once

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/support/temp_dir.h"

namespace pw::testing {

// A folder on a tmpfs of `bytes`, for the disk that fills up. Only root may mount one:
// Reason() says why there is none, and the test skips.
class SmallTmpfs {
public:
    explicit SmallTmpfs(std::size_t bytes) : bytes_(bytes) {
        if (::geteuid() != 0) {
            reason_ = "mounting a small tmpfs needs root";
            return;
        }
        const std::string options = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", dir_.Path().c_str(), "tmpfs", 0, options.c_str()) != 0) {
            reason_ = std::string("mount -t tmpfs failed: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~SmallTmpfs() {
        if (mounted_) ::umount2(dir_.Path().c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }
    const std::string& Path() const { return dir_.Path(); }
    std::string File(const std::string& name) const { return dir_.File(name); }

    // Fills what is left of the disk with one file, so that the next write finds it full.
    void Fill() const {
        WriteWholeFile(File("filler"), std::string(bytes_, 'x'));
    }

private:
    TempDir dir_;
    std::size_t bytes_;
    bool mounted_ = false;
    std::string reason_;
};

}  // namespace pw::testing
