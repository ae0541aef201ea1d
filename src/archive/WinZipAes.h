#pragma once
// WinZip AES entry encryption, as zip readers expect it: a random salt (8, 12 or 16 bytes for
// AES-128, -192 or -256) and a 2-byte password verifier before the data, AES in counter mode over
// the data with a 16-byte little-endian counter starting at 1, and the first 10 bytes of an
// HMAC-SHA1 over the encrypted data after it. Keys come from PBKDF2-HMAC-SHA1 (1000 rounds) over
// the password and the salt. Writing is always AES-256; reading takes every strength.
//
// The keystream is made for many blocks at once with one AES call and applied a word at a time:
// the per-block way costs more than compressing the data in the first place.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qob {

class WinZipAes {
public:
    // The strengths of the WinZip AES field: 1 = AES-128, 2 = AES-192, 3 = AES-256.
    static constexpr int kStrength256 = 3;
    static constexpr std::size_t kSaltSize = 16; // AES-256's; the sizes below are AES-256's too
    static constexpr std::size_t kVerifierSize = 2;
    static constexpr std::size_t kHeaderSize = kSaltSize + kVerifierSize; // before the data
    static constexpr std::size_t kTrailerSize = 10;                       // after the data
    static constexpr std::size_t kOverhead = kHeaderSize + kTrailerSize;

    using Salt = std::array<std::uint8_t, kSaltSize>;
    using Trailer = std::array<std::uint8_t, kTrailerSize>;

    ~WinZipAes();
    WinZipAes(WinZipAes&&) noexcept;
    WinZipAes& operator=(WinZipAes&&) noexcept;

    // For a new entry, with a fresh random salt; the reason on failure (no randomness, no cipher).
    static std::optional<WinZipAes> forWriting(const std::string& password, std::string& why);
    // For reading an entry: the 18 bytes in front of its data. Fails, with "wrong password" as the
    // reason, when the verifier does not match (which 1 in 65536 wrong passwords still passes).
    static std::optional<WinZipAes> forReading(const std::string& password, const std::uint8_t* header,
                                               std::string& why) {
        return forReading(password, kStrength256, header, why);
    }
    // The same for any strength: `header` holds headerSize(strength) bytes.
    static std::optional<WinZipAes> forReading(const std::string& password, int strength,
                                               const std::uint8_t* header, std::string& why);
    // 0 for a strength that is none of 1, 2, 3.
    static std::size_t saltSize(int strength) {
        return strength >= 1 && strength <= 3 ? 4 + 4 * strength : 0;
    }
    static std::size_t headerSize(int strength) { return saltSize(strength) + kVerifierSize; }

    // Salt and verifier: what goes in front of the encrypted data.
    std::array<std::uint8_t, kHeaderSize> header() const;
    // Encrypts in place; the data may come in pieces of any size.
    void encrypt(std::uint8_t* data, std::size_t len);
    // Decrypts in place; the data may come in pieces of any size.
    void decrypt(std::uint8_t* data, std::size_t len);
    // The authentication code of everything encrypted or decrypted so far; call once, at the end.
    Trailer trailer();

private:
    struct State;
    explicit WinZipAes(std::unique_ptr<State> state);
    static std::optional<WinZipAes> make(const std::string& password, const std::uint8_t* salt, int strength,
                                         std::string& why);
    void crypt(std::uint8_t* data, std::size_t len);
    void refill();

    std::unique_ptr<State> s_;
};

} // namespace qob
