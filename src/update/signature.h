// Ed25519 keys and signatures in minisign's file formats, so that a publisher can use either
// korvel-ttbuild or the minisign tool and either side's signatures verify with the other.
//
// Public key file:
//   untrusted comment: <text>
//   base64( "Ed" | key id (8 bytes) | public key (32 bytes) )
//
// Secret key file (minisign's layout, written unencrypted: KDF algorithm bytes are zero):
//   untrusted comment: <text>
//   base64( "Ed" | kdf "\0\0" | "B2" | salt (32) | opslimit (8) | memlimit (8) |
//           key id (8) | secret key (64) | BLAKE2b-256 checksum of "Ed"|key id|secret key (32) )
//
// Signature file:
//   untrusted comment: <text>
//   base64( "ED" | key id (8) | Ed25519 signature of BLAKE2b-512(file) (64) )
//   trusted comment: <text>
//   base64( Ed25519 signature of (the 64 signature bytes above | trusted comment text) )
//
// Verification also accepts the legacy "Ed" algorithm (the file itself signed, no prehash).
// Every parser here is strict and bounded: a file that parses is one of these layouts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel::update {

// A key file is one comment line and one line of base64; anything much larger is not one.
inline constexpr std::size_t kMaxKeyFileBytes = 4096;

using KeyId = std::array<unsigned char, 8>;

struct PublicKey {
    KeyId id{};
    std::array<unsigned char, 32> key{};
};

struct SecretKey {
    KeyId id{};
    std::array<unsigned char, 64> key{};  // libsodium's form: seed followed by public key
};

struct KeyPair {
    PublicKey publicKey;
    SecretKey secretKey;
};

// A fresh random key pair (libsodium's generator).
KeyPair GenerateKeyPair();

std::string FormatPublicKey(const PublicKey& key);
std::string FormatSecretKey(const SecretKey& key);

// nullopt with `error` set when the text is not such a file. An encrypted minisign secret
// key is refused with a message saying so (create keys with `minisign -G -W`).
std::optional<PublicKey> ParsePublicKey(std::string_view text, std::string& error);
std::optional<SecretKey> ParseSecretKey(std::string_view text, std::string& error);

// A prehashed ("ED") signature file for `message`; the trusted comment must be one line.
std::string SignMessage(const SecretKey& key, std::string_view message,
                        std::string_view trustedComment);

struct Signature {
    bool prehashed = true;  // "ED" (BLAKE2b-512 of the file signed) or legacy "Ed"
    KeyId keyId{};
    std::array<unsigned char, 64> signature{};
    std::string trustedComment;
    std::array<unsigned char, 64> globalSignature{};
};

std::optional<Signature> ParseSignature(std::string_view text, std::string& error);

// Empty when `signatureText` is a good signature of `message` by `key`; else why not
// ("signature by another key", "signature does not match", ...).
std::string VerifySignature(const PublicKey& key, std::string_view message,
                            std::string_view signatureText);

// The key id in hex as minisign prints it (the 8 bytes read as a little-endian number).
std::string KeyIdHex(const KeyId& id);

}  // namespace korvel::update
