#pragma once
// The cryptography WinZip AES stands on, one back end per platform: libcrypto on Linux
// (AesBackendOpenSsl.cpp), the system's CNG on Windows (AesBackendCng.cpp). Everything above it
// (the salt and verifier, the counter-mode keystream, the trailer) is WinZipAes.cpp's, shared by
// both, so an archive written by one build is read by the other.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qob::aes {

inline constexpr std::size_t kBlock = 16;
inline constexpr std::size_t kSha1Size = 20;

// Random bytes from the system's generator; false when there are none.
bool randomBytes(std::uint8_t* out, std::size_t len);
// PBKDF2-HMAC-SHA1 over the password and the salt, 1000 rounds, `outLen` bytes.
bool deriveKeys(const std::string& password, const std::uint8_t* salt, std::size_t saltLen, std::uint8_t* out,
                std::size_t outLen);
// Clears key material in a way the compiler keeps.
void wipe(void* data, std::size_t len);

// AES in ECB mode under one key and HMAC-SHA1 under another.
class Backend {
public:
    virtual ~Backend() = default;
    // Encrypts whole blocks in place (`len` a multiple of kBlock).
    virtual void encryptBlocks(std::uint8_t* data, std::size_t len) = 0;
    virtual void macUpdate(const std::uint8_t* data, std::size_t len) = 0;
    // The code of everything given to macUpdate; false when it cannot be had.
    virtual bool macFinal(std::array<std::uint8_t, kSha1Size>& out) = 0;
};

// Both keys are `keySize` bytes (16, 24 or 32, which picks AES-128, -192 or -256); nullptr, with
// the reason in `why`, when the cipher or the code is not available.
std::unique_ptr<Backend> makeBackend(const std::uint8_t* aesKey, const std::uint8_t* macKey,
                                     std::size_t keySize, std::string& why);

} // namespace qob::aes
