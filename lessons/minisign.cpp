#include "lessons/minisign.h"

#include <sodium.h>

#include "core/text.h"

#include <algorithm>

namespace pw {
namespace {

constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
constexpr std::string_view kTrustedPrefix = "trusted comment: ";
constexpr std::size_t kAlgorithmBytes = 2;
constexpr std::size_t kSignatureLineBytes = kAlgorithmBytes + kMinisignKeyIdBytes + crypto_sign_BYTES;

// The next line of `text` as minisign reads it: it ends at its first CR or LF.
std::optional<std::string_view> NextLine(std::string_view& text) {
    const auto line = TakeLine(text);
    if (!line) return std::nullopt;
    return line->substr(0, line->find('\r'));
}

bool VerifyDetached(const std::uint8_t* signature, const std::uint8_t* message, std::size_t size,
                    const MinisignPublicKey& key) {
    return crypto_sign_verify_detached(signature, message, size, key.key.data()) == 0;
}

}  // namespace

bool SodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::optional<std::vector<std::uint8_t>> FromBase64(std::string_view text) {
    if (!SodiumReady()) return std::nullopt;
    std::vector<std::uint8_t> bytes(text.size() / 4 * 3 + 3);
    std::size_t size = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &size, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0 ||
        end != text.data() + text.size())
        return std::nullopt;
    bytes.resize(size);
    return bytes;
}

std::string ToBase64(std::span<const std::uint8_t> bytes) {
    if (!SodiumReady()) return {};
    std::string text(sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(), sodium_base64_VARIANT_ORIGINAL);
    text.resize(text.size() - 1);  // the terminating NUL
    return text;
}

std::optional<MinisignPublicKey> ParseMinisignPublicKey(std::string_view line) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!line.empty() && blank(line.front())) line.remove_prefix(1);
    while (!line.empty() && blank(line.back())) line.remove_suffix(1);
    const auto bytes = FromBase64(line);
    MinisignPublicKey key;
    if (!bytes || bytes->size() != kAlgorithmBytes + key.keyId.size() + key.key.size()) return std::nullopt;
    if ((*bytes)[0] != 'E' || (*bytes)[1] != 'd') return std::nullopt;
    std::copy_n(bytes->begin() + kAlgorithmBytes, key.keyId.size(), key.keyId.begin());
    std::copy_n(bytes->begin() + kAlgorithmBytes + key.keyId.size(), key.key.size(), key.key.begin());
    return key;
}

std::string MinisignKeyIdText(const MinisignPublicKey& key) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (auto byte = key.keyId.rbegin(); byte != key.keyId.rend(); ++byte) {
        text += kDigits[*byte >> 4];
        text += kDigits[*byte & 0xF];
    }
    return text;
}

bool VerifyMinisign(std::string_view message, std::string_view signatureFile, const MinisignPublicKey& key) {
    std::string_view rest = signatureFile;
    const auto untrusted = NextLine(rest);
    const auto signatureLine = NextLine(rest);
    const auto trusted = NextLine(rest);
    const auto globalLine = NextLine(rest);
    if (!globalLine || !untrusted->starts_with(kUntrustedPrefix) || !trusted->starts_with(kTrustedPrefix))
        return false;
    const auto signature = FromBase64(*signatureLine);
    const auto global = FromBase64(*globalLine);
    if (!signature || signature->size() != kSignatureLineBytes || !global || global->size() != crypto_sign_BYTES)
        return false;

    const std::uint8_t* keyId = signature->data() + kAlgorithmBytes;
    const std::uint8_t* bytes = keyId + kMinisignKeyIdBytes;
    if (!std::equal(key.keyId.begin(), key.keyId.end(), keyId)) return false;
    const auto* body = reinterpret_cast<const std::uint8_t*>(message.data());
    if ((*signature)[0] == 'E' && (*signature)[1] == 'D') {
        std::array<std::uint8_t, crypto_generichash_BYTES_MAX> hash{};
        crypto_generichash(hash.data(), hash.size(), body, message.size(), nullptr, 0);
        if (!VerifyDetached(bytes, hash.data(), hash.size(), key)) return false;
    } else if ((*signature)[0] == 'E' && (*signature)[1] == 'd') {
        if (!VerifyDetached(bytes, body, message.size(), key)) return false;
    } else {
        return false;
    }

    // The trusted comment is signed together with the signature.
    const std::string_view comment = trusted->substr(kTrustedPrefix.size());
    std::vector<std::uint8_t> signedComment(bytes, bytes + crypto_sign_BYTES);
    signedComment.insert(signedComment.end(), comment.begin(), comment.end());
    return VerifyDetached(global->data(), signedComment.data(), signedComment.size(), key);
}

}  // namespace pw
