#include "update/signature.h"

#include <sodium.h>

#include <cstring>
#include <stdexcept>
#include <vector>

namespace korvel::update {
namespace {

constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";
constexpr std::size_t kMaxLine = 4096;

// libsodium must be initialised before its random generator is used; repeated calls are cheap.
void InitSodium() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium could not be initialised");
}

std::string Base64(const unsigned char* bytes, std::size_t size) {
    std::string out(sodium_base64_encoded_len(size, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(out.data(), out.size(), bytes, size, sodium_base64_VARIANT_ORIGINAL);
    out.resize(std::strlen(out.c_str()));
    return out;
}

// Decodes exactly `size` bytes; false for anything else (wrong length, bad characters).
bool FromBase64(std::string_view text, unsigned char* bytes, std::size_t size) {
    if (text.empty() || text.size() > kMaxLine) return false;
    std::size_t decoded = 0;
    const char* end = nullptr;
    if (sodium_base642bin(bytes, size, text.data(), text.size(), nullptr, &decoded, &end,
                          sodium_base64_VARIANT_ORIGINAL) != 0) {
        return false;
    }
    return decoded == size && end == text.data() + text.size();
}

// The file's lines without line ends (LF or CRLF); a last line without LF counts too.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty() && lines.size() < 8) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return lines;
}

bool IsOneLine(std::string_view text) {
    return text.size() <= kMaxLine && text.find_first_of("\r\n") == std::string_view::npos &&
           text.find('\0') == std::string_view::npos;
}

std::string KeyComment(const KeyId& id, const char* what) {
    return std::string(kUntrusted) + "minisign " + what + " " + KeyIdHex(id) + "\n";
}

}  // namespace

std::string KeyIdHex(const KeyId& id) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = id.size(); i-- > 0;) {
        out += kHex[id[i] >> 4];
        out += kHex[id[i] & 15];
    }
    return out;
}

KeyPair GenerateKeyPair() {
    InitSodium();
    KeyPair pair;
    randombytes_buf(pair.publicKey.id.data(), pair.publicKey.id.size());
    pair.secretKey.id = pair.publicKey.id;
    crypto_sign_keypair(pair.publicKey.key.data(), pair.secretKey.key.data());
    return pair;
}

std::string FormatPublicKey(const PublicKey& key) {
    unsigned char raw[42];
    raw[0] = 'E';
    raw[1] = 'd';
    std::memcpy(raw + 2, key.id.data(), 8);
    std::memcpy(raw + 10, key.key.data(), 32);
    return KeyComment(key.id, "public key") + Base64(raw, sizeof raw) + "\n";
}

namespace {
constexpr std::size_t kSecretRaw = 2 + 2 + 2 + 32 + 8 + 8 + 8 + 64 + 32;  // 158

void SecretChecksum(const SecretKey& key, unsigned char out[32]) {
    unsigned char input[2 + 8 + 64];
    input[0] = 'E';
    input[1] = 'd';
    std::memcpy(input + 2, key.id.data(), 8);
    std::memcpy(input + 10, key.key.data(), 64);
    crypto_generichash(out, 32, input, sizeof input, nullptr, 0);
    sodium_memzero(input, sizeof input);
}
}  // namespace

std::string FormatSecretKey(const SecretKey& key) {
    InitSodium();
    unsigned char raw[kSecretRaw] = {};
    std::memcpy(raw, "Ed\0\0B2", 6);
    randombytes_buf(raw + 6, 32);  // salt: unused without a KDF, random as minisign's
    std::memcpy(raw + 54, key.id.data(), 8);
    std::memcpy(raw + 62, key.key.data(), 64);
    SecretChecksum(key, raw + 126);
    std::string text =
        KeyComment(key.id, "unencrypted secret key") + Base64(raw, sizeof raw) + "\n";
    sodium_memzero(raw, sizeof raw);
    return text;
}

std::optional<PublicKey> ParsePublicKey(std::string_view text, std::string& error) {
    const auto lines = Lines(text);
    // minisign also accepts the bare base64 line (as given with -P).
    std::string_view line;
    if (lines.size() >= 2 && lines[0].substr(0, kUntrusted.size()) == kUntrusted) {
        line = lines[1];
    } else if (lines.size() == 1) {
        line = lines[0];
    } else {
        error = "not a minisign public key file (no \"untrusted comment:\" line)";
        return std::nullopt;
    }
    unsigned char raw[42];
    if (!FromBase64(line, raw, sizeof raw) || raw[0] != 'E' || raw[1] != 'd') {
        error = "not a minisign Ed25519 public key";
        return std::nullopt;
    }
    PublicKey key;
    std::memcpy(key.id.data(), raw + 2, 8);
    std::memcpy(key.key.data(), raw + 10, 32);
    return key;
}

std::optional<SecretKey> ParseSecretKey(std::string_view text, std::string& error) {
    InitSodium();
    const auto lines = Lines(text);
    unsigned char raw[kSecretRaw];
    if (lines.size() < 2 || lines[0].substr(0, kUntrusted.size()) != kUntrusted ||
        !FromBase64(lines[1], raw, sizeof raw) || std::memcmp(raw, "Ed", 2) != 0 ||
        std::memcmp(raw + 4, "B2", 2) != 0) {
        error = "not a minisign secret key file";
        return std::nullopt;
    }
    if (raw[2] != 0 || raw[3] != 0) {
        error =
            "the secret key is password-protected; make one without (minisign -G -W, or "
            "korvel-ttbuild keygen)";
        return std::nullopt;
    }
    SecretKey key;
    std::memcpy(key.id.data(), raw + 54, 8);
    std::memcpy(key.key.data(), raw + 62, 64);
    // minisign leaves the checksum of a key without password all zero; either way the key
    // must be whole: its public half is what its seed gives.
    unsigned char sum[32], zero[32] = {}, pk[32], sk[64];
    SecretChecksum(key, sum);
    const bool summed =
        sodium_memcmp(sum, raw + 126, 32) == 0 || sodium_memcmp(zero, raw + 126, 32) == 0;
    crypto_sign_seed_keypair(pk, sk, key.key.data());
    const bool whole = sodium_memcmp(sk, key.key.data(), 64) == 0;
    sodium_memzero(raw, sizeof raw);
    sodium_memzero(sk, sizeof sk);
    if (!summed || !whole) {
        error = "the secret key's checksum does not match (damaged file)";
        return std::nullopt;
    }
    return key;
}

std::string SignMessage(const SecretKey& key, std::string_view message,
                        std::string_view trustedComment) {
    if (!IsOneLine(trustedComment)) throw std::invalid_argument("trusted comment must be one line");
    InitSodium();
    unsigned char hash[crypto_generichash_BYTES_MAX];
    crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(message.data()),
                       message.size(), nullptr, 0);
    unsigned char raw[74];
    raw[0] = 'E';
    raw[1] = 'D';
    std::memcpy(raw + 2, key.id.data(), 8);
    crypto_sign_detached(raw + 10, nullptr, hash, sizeof hash, key.key.data());
    std::string global(reinterpret_cast<const char*>(raw + 10), 64);
    global.append(trustedComment);
    unsigned char globalSig[64];
    crypto_sign_detached(globalSig, nullptr, reinterpret_cast<const unsigned char*>(global.data()),
                         global.size(), key.key.data());
    return std::string(kUntrusted) + "signature from korvel-ttbuild secret key\n" +
           Base64(raw, sizeof raw) + "\n" + std::string(kTrusted) + std::string(trustedComment) +
           "\n" + Base64(globalSig, sizeof globalSig) + "\n";
}

std::optional<Signature> ParseSignature(std::string_view text, std::string& error) {
    const auto lines = Lines(text);
    if (lines.size() < 4 || lines[0].substr(0, kUntrusted.size()) != kUntrusted ||
        lines[2].substr(0, kTrusted.size()) != kTrusted) {
        error = "not a minisign signature file";
        return std::nullopt;
    }
    for (std::size_t i = 4; i < lines.size(); ++i) {
        if (!lines[i].empty()) {
            error = "not a minisign signature file (text after the signature)";
            return std::nullopt;
        }
    }
    unsigned char raw[74];
    Signature sig;
    if (!FromBase64(lines[1], raw, sizeof raw) || raw[0] != 'E' ||
        (raw[1] != 'D' && raw[1] != 'd') ||
        !FromBase64(lines[3], sig.globalSignature.data(), sig.globalSignature.size())) {
        error = "not a minisign Ed25519 signature";
        return std::nullopt;
    }
    sig.prehashed = raw[1] == 'D';
    std::memcpy(sig.keyId.data(), raw + 2, 8);
    std::memcpy(sig.signature.data(), raw + 10, 64);
    sig.trustedComment = std::string(lines[2].substr(kTrusted.size()));
    return sig;
}

std::string VerifySignature(const PublicKey& key, std::string_view message,
                            std::string_view signatureText) {
    InitSodium();
    std::string error;
    const auto sig = ParseSignature(signatureText, error);
    if (!sig) return error;
    if (sig->keyId != key.id) {
        return "signature by another key (" + KeyIdHex(sig->keyId) + ", expected " +
               KeyIdHex(key.id) + ")";
    }
    int bad = 0;
    if (sig->prehashed) {
        unsigned char hash[crypto_generichash_BYTES_MAX];
        crypto_generichash(hash, sizeof hash,
                           reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                           nullptr, 0);
        bad = crypto_sign_verify_detached(sig->signature.data(), hash, sizeof hash, key.key.data());
    } else {
        bad = crypto_sign_verify_detached(sig->signature.data(),
                                          reinterpret_cast<const unsigned char*>(message.data()),
                                          message.size(), key.key.data());
    }
    if (bad != 0) return "signature does not match the file";
    std::string global(reinterpret_cast<const char*>(sig->signature.data()), 64);
    global += sig->trustedComment;
    if (crypto_sign_verify_detached(sig->globalSignature.data(),
                                    reinterpret_cast<const unsigned char*>(global.data()),
                                    global.size(), key.key.data()) != 0) {
        return "the signature's trusted comment does not match";
    }
    return {};
}

}  // namespace korvel::update
