#pragma once
// WinZip AES-256 entry encryption (AE-2), as zip readers expect it: a 16-byte random salt and a
// 2-byte password verifier before the data, AES-256 in counter mode over the data with a 16-byte
// little-endian counter starting at 1, and the first 10 bytes of an HMAC-SHA1 over the encrypted
// data after it. Keys come from PBKDF2-HMAC-SHA1 (1000 rounds) over the password and the salt.
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
    static constexpr std::size_t kSaltSize = 16;
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
                                               std::string& why);

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
    static std::optional<WinZipAes> make(const std::string& password, const Salt& salt, std::string& why);
    void crypt(std::uint8_t* data, std::size_t len);
    void refill();

    std::unique_ptr<State> s_;
};

} // namespace qob
