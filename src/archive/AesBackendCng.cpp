// On Windows' own cryptography (CNG, bcrypt.dll): PBKDF2-HMAC-SHA1, AES in ECB mode, HMAC-SHA1
// and the system's random numbers.
#include "archive/AesBackend.h"

#include <windows.h>

#include <bcrypt.h>

namespace qob::aes {
namespace {

constexpr ULONG kRounds = 1000;

bool ok(NTSTATUS status) {
    return status >= 0;
}

class CngBackend final : public Backend {
public:
    ~CngBackend() override {
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
    void encryptBlocks(std::uint8_t* data, std::size_t len) override {
        ULONG out = 0;
        BCryptEncrypt(key, data, static_cast<ULONG>(len), nullptr, nullptr, 0, data, static_cast<ULONG>(len),
                      &out, 0);
    }
    void macUpdate(const std::uint8_t* data, std::size_t len) override {
        BCryptHashData(mac, const_cast<PUCHAR>(data), static_cast<ULONG>(len), 0);
    }
    bool macFinal(std::array<std::uint8_t, kSha1Size>& out) override {
        return ok(BCryptFinishHash(mac, out.data(), static_cast<ULONG>(out.size()), 0));
    }

    BCRYPT_ALG_HANDLE aes = nullptr;
    BCRYPT_ALG_HANDLE hmac = nullptr;
    BCRYPT_KEY_HANDLE key = nullptr;
    BCRYPT_HASH_HANDLE mac = nullptr;
};

} // namespace

bool randomBytes(std::uint8_t* out, std::size_t len) {
    return ok(BCryptGenRandom(nullptr, out, static_cast<ULONG>(len), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

bool deriveKeys(const std::string& password, const std::uint8_t* salt, std::size_t saltLen, std::uint8_t* out,
                std::size_t outLen) {
    BCRYPT_ALG_HANDLE hmac = nullptr;
    if (!ok(BCryptOpenAlgorithmProvider(&hmac, BCRYPT_SHA1_ALGORITHM, nullptr,
                                        BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
        return false;
    }
    // CNG takes no null key for the HMAC; an empty password is still given by a valid pointer.
    static UCHAR empty = 0;
    PUCHAR secret = password.empty() ? &empty : reinterpret_cast<PUCHAR>(const_cast<char*>(password.data()));
    const bool derived =
        ok(BCryptDeriveKeyPBKDF2(hmac, secret, static_cast<ULONG>(password.size()), const_cast<PUCHAR>(salt),
                                 static_cast<ULONG>(saltLen), kRounds, out, static_cast<ULONG>(outLen), 0));
    BCryptCloseAlgorithmProvider(hmac, 0);
    return derived;
}

void wipe(void* data, std::size_t len) {
    SecureZeroMemory(data, len);
}

std::unique_ptr<Backend> makeBackend(const std::uint8_t* aesKey, const std::uint8_t* macKey,
                                     std::size_t keySize, std::string& why) {
    auto backend = std::make_unique<CngBackend>();
    // The key's length picks AES-128, -192 or -256.
    static const wchar_t ecb[] = BCRYPT_CHAIN_MODE_ECB;
    if (!ok(BCryptOpenAlgorithmProvider(&backend->aes, BCRYPT_AES_ALGORITHM, nullptr, 0)) ||
        !ok(BCryptSetProperty(backend->aes, BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(ecb)), sizeof ecb, 0)) ||
        !ok(BCryptGenerateSymmetricKey(backend->aes, &backend->key, nullptr, 0, const_cast<PUCHAR>(aesKey),
                                       static_cast<ULONG>(keySize), 0))) {
        why = "AES is not available";
        return nullptr;
    }
    if (!ok(BCryptOpenAlgorithmProvider(&backend->hmac, BCRYPT_SHA1_ALGORITHM, nullptr,
                                        BCRYPT_ALG_HANDLE_HMAC_FLAG)) ||
        !ok(BCryptCreateHash(backend->hmac, &backend->mac, nullptr, 0, const_cast<PUCHAR>(macKey),
                             static_cast<ULONG>(keySize), 0))) {
        why = "HMAC-SHA1 is not available";
        return nullptr;
    }
    return backend;
}

} // namespace qob::aes
