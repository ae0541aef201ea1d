#include "archive/AesBackend.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>

namespace qob::aes {
namespace {

constexpr int kRounds = 1000;

class OpenSslBackend final : public Backend {
public:
    ~OpenSslBackend() override {
        EVP_CIPHER_CTX_free(cipher);
        EVP_MAC_CTX_free(mac);
    }
    void encryptBlocks(std::uint8_t* data, std::size_t len) override {
        int out = 0;
        EVP_EncryptUpdate(cipher, data, &out, data, static_cast<int>(len));
    }
    void macUpdate(const std::uint8_t* data, std::size_t len) override { EVP_MAC_update(mac, data, len); }
    bool macFinal(std::array<std::uint8_t, kSha1Size>& out) override {
        std::array<std::uint8_t, EVP_MAX_MD_SIZE> full{};
        std::size_t len = 0;
        if (EVP_MAC_final(mac, full.data(), &len, full.size()) != 1 || len < out.size()) {
            return false;
        }
        std::copy_n(full.begin(), out.size(), out.begin());
        return true;
    }

    EVP_CIPHER_CTX* cipher = nullptr;
    EVP_MAC_CTX* mac = nullptr;
};

} // namespace

bool randomBytes(std::uint8_t* out, std::size_t len) {
    return RAND_bytes(out, static_cast<int>(len)) == 1;
}

bool deriveKeys(const std::string& password, const std::uint8_t* salt, std::size_t saltLen, std::uint8_t* out,
                std::size_t outLen) {
    return PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt,
                                  static_cast<int>(saltLen), kRounds, static_cast<int>(outLen), out) == 1;
}

void wipe(void* data, std::size_t len) {
    OPENSSL_cleanse(data, len);
}

std::unique_ptr<Backend> makeBackend(const std::uint8_t* aesKey, const std::uint8_t* macKey,
                                     std::size_t keySize, std::string& why) {
    auto backend = std::make_unique<OpenSslBackend>();
    const EVP_CIPHER* ecb = keySize == 16   ? EVP_aes_128_ecb()
                            : keySize == 24 ? EVP_aes_192_ecb()
                                            : EVP_aes_256_ecb();
    backend->cipher = EVP_CIPHER_CTX_new();
    if (!backend->cipher || EVP_EncryptInit_ex(backend->cipher, ecb, nullptr, aesKey, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(backend->cipher, 0) != 1) {
        why = "AES is not available";
        return nullptr;
    }
    EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    backend->mac = hmac ? EVP_MAC_CTX_new(hmac) : nullptr;
    EVP_MAC_free(hmac);
    char digest[] = "SHA1";
    OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                           OSSL_PARAM_construct_end()};
    if (!backend->mac || EVP_MAC_init(backend->mac, macKey, keySize, params) != 1) {
        why = "HMAC-SHA1 is not available";
        return nullptr;
    }
    return backend;
}

} // namespace qob::aes
