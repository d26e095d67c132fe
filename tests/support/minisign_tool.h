#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace pw::testing {

// A key pair made for one test by the minisign tool, and signatures made with it as a
// site owner makes them (scripts/setup.sh installs minisign).
class MinisignTool {
public:
    MinisignTool() {
        EXPECT_TRUE(Run("minisign -G -W -p " + dir_.File("key.pub") + " -s " + dir_.File("key.key")))
            << "the minisign tool is missing or failed";
    }

    // The public key: the base64 line of the .pub file.
    std::string PublicKey() const { return SecondLine(ReadWholeFile(dir_.File("key.pub"))); }
    std::string SecretKeyFile() const { return dir_.File("key.key"); }

    // The .minisig file's text for `message`: prehashed, or with `legacy` the message itself.
    std::string Sign(const std::string& message, bool legacy = false) const {
        WriteWholeFile(dir_.File("message"), message);
        EXPECT_TRUE(Run("minisign -S " + std::string(legacy ? "-l " : "") + "-s " + dir_.File("key.key") + " -m " +
                        dir_.File("message") + " -x " + dir_.File("message.minisig")));
        return ReadWholeFile(dir_.File("message.minisig"));
    }

    // True when `minisign -V` takes `signatureFile` as this key's signature of `file`.
    bool Verifies(const std::string& file, const std::string& signatureFile) const {
        return Run("minisign -V -q -p " + dir_.File("key.pub") + " -m " + file + " -x " + signatureFile);
    }

private:
    static bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
    static std::string SecondLine(const std::string& text) {
        const std::size_t start = text.find('\n') + 1;
        return text.substr(start, text.find('\n', start) - start);
    }

    TempDir dir_;
};

}  // namespace pw::testing
