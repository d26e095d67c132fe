#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Signatures in minisign's format (Ed25519 keys and signatures, BLAKE2b for prehashing),
// checked with libsodium. A site owner signs with the minisign tool; the program verifies.
namespace pw {

inline constexpr std::size_t kMinisignKeyIdBytes = 8;

// The base64 line of a minisign `.pub` file: "Ed", the key id, the Ed25519 public key.
struct MinisignPublicKey {
    std::array<std::uint8_t, kMinisignKeyIdBytes> keyId{};
    std::array<std::uint8_t, 32> key{};
};

// The key in the base64 line of a `.pub` file (blanks around it are ignored), or nothing
// when the line is no such key.
std::optional<MinisignPublicKey> ParseMinisignPublicKey(std::string_view line);

// The key's id as minisign shows it ("2F778660977BF6BD"): the 8 bytes read as a
// little-endian number, in upper-case hexadecimal.
std::string MinisignKeyIdText(const MinisignPublicKey& key);

// True when `signatureFile`, the text of a `.minisig` file, signs `message` with `key`, as
// `minisign -V` decides it: the key ids match, the signature is good (of the message's
// BLAKE2b-512 for a prehashed "ED" signature, of the message itself for a legacy "Ed"
// one), and so is the global signature over the signature and the trusted comment.
bool VerifyMinisign(std::string_view message, std::string_view signatureFile, const MinisignPublicKey& key);

// Base64 in the original alphabet with its padding, as minisign writes it; nothing when
// `text` is not wholly such base64.
std::optional<std::vector<std::uint8_t>> FromBase64(std::string_view text);
std::string ToBase64(std::span<const std::uint8_t> bytes);

// Makes libsodium ready; false when it cannot be (then nothing verifies).
bool SodiumReady();

}  // namespace pw
