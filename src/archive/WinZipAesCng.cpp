// WinZip AES (128, 192, 256) on Windows' own cryptography (CNG, bcrypt.dll): PBKDF2-HMAC-SHA1,
// AES in ECB mode for the counter-mode keystream, HMAC-SHA1, and the system's random numbers.
// The entry layout and the keystream are those of the Linux build (WinZipAes.cpp, on libcrypto):
// an archive written by one is read by the other.
#include "archive/WinZipAes.h"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstring>

namespace qob {
namespace {

constexpr std::size_t kMaxKeySize = 32;
constexpr std::size_t kBlock = 16;
constexpr ULONG kRounds = 1000;
constexpr std::size_t kKeystreamSize = 64 * 1024;

bool ok(NTSTATUS status) {
    return status >= 0;
}

} // namespace

struct WinZipAes::State {
    BCRYPT_ALG_HANDLE aes = nullptr;
    BCRYPT_ALG_HANDLE hmac = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    BCRYPT_HASH_HANDLE mac = nullptr;
    Salt salt{};
    std::size_t saltSize = kSaltSize;
    std::array<std::uint8_t, kVerifierSize> verifier{};
    std::uint64_t counter = 1; // the next block's number; the upper 64 bits of the counter stay 0
    std::vector<std::uint8_t> keystream = std::vector<std::uint8_t>(kKeystreamSize);
    std::size_t used = kKeystreamSize; // bytes of keystream already applied
    bool finished = false;

    ~State() {
        if (mac) {
            BCryptDestroyHash(mac);
        }
        if (key) {
            BCryptDestroyKey(key);
        }
        if (hmac) {
            BCryptCloseAlgorithmProvider(hmac, 0);
        }
        if (aes) {
            BCryptCloseAlgorithmProvider(aes, 0);
        }
    }
};

WinZipAes::WinZipAes(std::unique_ptr<State> state) : s_(std::move(state)) {}
WinZipAes::~WinZipAes() = default;
WinZipAes::WinZipAes(WinZipAes&&) noexcept = default;
WinZipAes& WinZipAes::operator=(WinZipAes&&) noexcept = default;

std::optional<WinZipAes> WinZipAes::make(const std::string& password, const std::uint8_t* salt, int strength,
                                         std::string& why) {
    const std::size_t saltLen = saltSize(strength);
    if (saltLen == 0) {
        why = "the entry names an AES strength (" + std::to_string(strength) + ") that does not exist";
        return std::nullopt;
    }
    const std::size_t keySize = 8 + 8 * static_cast<std::size_t>(strength); // 16, 24, 32 bytes
    auto state = std::make_unique<State>();
    if (!ok(BCryptOpenAlgorithmProvider(&state->hmac, BCRYPT_SHA1_ALGORITHM, nullptr,
                                        BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
        why = "HMAC-SHA1 is not available";
        return std::nullopt;
    }
    // Encryption key, authentication key and verifier, in that order.
    std::array<std::uint8_t, 2 * kMaxKeySize + kVerifierSize> derived{};
    const std::size_t derivedSize = 2 * keySize + kVerifierSize;
    // CNG takes no null key for the HMAC; an empty password is still given by a valid pointer.
    static UCHAR empty = 0;
    PUCHAR secret = password.empty() ? &empty : reinterpret_cast<PUCHAR>(const_cast<char*>(password.data()));
    if (!ok(BCryptDeriveKeyPBKDF2(state->hmac, secret, static_cast<ULONG>(password.size()),
                                  const_cast<PUCHAR>(salt), static_cast<ULONG>(saltLen), kRounds,
                                  derived.data(), static_cast<ULONG>(derivedSize), 0))) {
        why = "the AES key cannot be derived";
        return std::nullopt;
    }
    std::copy_n(salt, saltLen, state->salt.begin());
    state->saltSize = saltLen;
    std::copy_n(derived.begin() + 2 * keySize, kVerifierSize, state->verifier.begin());

    // The key's length picks AES-128, -192 or -256.
    static const wchar_t ecb[] = BCRYPT_CHAIN_MODE_ECB;
    if (!ok(BCryptOpenAlgorithmProvider(&state->aes, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
        !ok(BCryptSetProperty(state->aes, BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(ecb)), sizeof ecb, 0)) ||
        !ok(BCryptGenerateSymmetricKey(state->aes, &state->key, nullptr, 0, derived.data(),
                                       static_cast<ULONG>(keySize), 0))) {
        why = "AES is not available";
        return std::nullopt;
    }
    if (!ok(BCryptCreateHash(state->hmac, &state->mac, nullptr, 0, derived.data() + keySize,
                             static_cast<ULONG>(keySize), 0))) {
        why = "HMAC-SHA1 is not available";
        return std::nullopt;
    }
    SecureZeroMemory(derived.data(), derived.size());
    return WinZipAes(std::move(state));
}

std::optional<WinZipAes> WinZipAes::forWriting(const std::string& password, std::string& why) {
    Salt salt{};
    if (!ok(BCryptGenRandom(nullptr, salt.data(), static_cast<ULONG>(salt.size()),
                            BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
        why = "no random numbers for the AES salt";
        return std::nullopt;
    }
    return make(password, salt.data(), kStrength256, why);
}

std::optional<WinZipAes> WinZipAes::forReading(const std::string& password, int strength,
                                               const std::uint8_t* header, std::string& why) {
    auto aes = make(password, header, strength, why);
    if (aes && std::memcmp(aes->s_->verifier.data(), header + saltSize(strength), kVerifierSize) != 0) {
        why = "wrong password";
        return std::nullopt;
    }
    return aes;
}

std::array<std::uint8_t, WinZipAes::kHeaderSize> WinZipAes::header() const {
    std::array<std::uint8_t, kHeaderSize> out{};
    std::copy(s_->salt.begin(), s_->salt.end(), out.begin());
    std::copy(s_->verifier.begin(), s_->verifier.end(), out.begin() + kSaltSize);
    return out;
}

void WinZipAes::refill() {
    std::uint8_t* ks = s_->keystream.data();
    for (std::size_t at = 0; at < kKeystreamSize; at += kBlock) {
        std::uint64_t n = s_->counter++;
        for (std::size_t i = 0; i < 8; ++i) {
            ks[at + i] = static_cast<std::uint8_t>(n >> (8 * i));
        }
        std::memset(ks + at + 8, 0, 8);
    }
    ULONG len = 0;
    BCryptEncrypt(s_->key, ks, static_cast<ULONG>(kKeystreamSize), nullptr, nullptr, 0, ks,
                  static_cast<ULONG>(kKeystreamSize), &len, 0);
    s_->used = 0;
}

void WinZipAes::crypt(std::uint8_t* data, std::size_t len) {
    while (len > 0) {
        if (s_->used == kKeystreamSize) {
            refill();
        }
        const std::size_t n = std::min(len, kKeystreamSize - s_->used);
        const std::uint8_t* ks = s_->keystream.data() + s_->used;
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t a, b;
            std::memcpy(&a, data + i, 8);
            std::memcpy(&b, ks + i, 8);
            a ^= b;
            std::memcpy(data + i, &a, 8);
        }
        for (; i < n; ++i) {
            data[i] ^= ks[i];
        }
        s_->used += n;
        data += n;
        len -= n;
    }
}

void WinZipAes::encrypt(std::uint8_t* data, std::size_t len) {
    crypt(data, len);
    BCryptHashData(s_->mac, data, static_cast<ULONG>(len), 0);
}

void WinZipAes::decrypt(std::uint8_t* data, std::size_t len) {
    BCryptHashData(s_->mac, data, static_cast<ULONG>(len), 0);
    crypt(data, len);
}

WinZipAes::Trailer WinZipAes::trailer() {
    std::array<std::uint8_t, 20> full{};
    Trailer out{};
    if (!s_->finished && ok(BCryptFinishHash(s_->mac, full.data(), static_cast<ULONG>(full.size()), 0))) {
        std::copy_n(full.begin(), kTrailerSize, out.begin());
    }
    s_->finished = true;
    return out;
}

} // namespace qob
