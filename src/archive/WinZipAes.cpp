#include "archive/WinZipAes.h"

#include "archive/AesBackend.h"

#include <algorithm>
#include <cstring>

namespace qob {
namespace {

constexpr std::size_t kMaxKeySize = 32;
using aes::kBlock;
// Keystream made per AES call: large enough that the call overhead vanishes, small enough to stay
// in the first-level caches' neighbourhood.
constexpr std::size_t kKeystreamSize = 64 * 1024;

} // namespace

struct WinZipAes::State {
    std::unique_ptr<aes::Backend> crypto;
    Salt salt{};
    std::size_t saltSize = kSaltSize;
    std::array<std::uint8_t, kVerifierSize> verifier{};
    std::uint64_t counter = 1; // the next block's number; the upper 64 bits of the counter stay 0
    std::vector<std::uint8_t> keystream = std::vector<std::uint8_t>(kKeystreamSize);
    std::size_t used = kKeystreamSize; // bytes of keystream already applied
    bool finished = false;
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
    // Encryption key, authentication key and verifier, in that order.
    std::array<std::uint8_t, 2 * kMaxKeySize + kVerifierSize> derived{};
    const std::size_t derivedSize = 2 * keySize + kVerifierSize;
    if (!aes::deriveKeys(password, salt, saltLen, derived.data(), derivedSize)) {
        why = "the AES key cannot be derived";
        return std::nullopt;
    }
    auto state = std::make_unique<State>();
    std::copy_n(salt, saltLen, state->salt.begin());
    state->saltSize = saltLen;
    std::copy_n(derived.begin() + 2 * keySize, kVerifierSize, state->verifier.begin());
    state->crypto = aes::makeBackend(derived.data(), derived.data() + keySize, keySize, why);
    aes::wipe(derived.data(), derived.size());
    if (!state->crypto) {
        return std::nullopt;
    }
    return WinZipAes(std::move(state));
}

std::optional<WinZipAes> WinZipAes::forWriting(const std::string& password, std::string& why) {
    Salt salt{};
    if (!aes::randomBytes(salt.data(), salt.size())) {
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
    // ECB over the counter blocks, in place: the keystream of counter mode with this counter layout.
    s_->crypto->encryptBlocks(ks, kKeystreamSize);
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
    s_->crypto->macUpdate(data, len);
}

void WinZipAes::decrypt(std::uint8_t* data, std::size_t len) {
    s_->crypto->macUpdate(data, len);
    crypt(data, len);
}

WinZipAes::Trailer WinZipAes::trailer() {
    std::array<std::uint8_t, aes::kSha1Size> full{};
    Trailer out{};
    if (!s_->finished && s_->crypto->macFinal(full)) {
        std::copy_n(full.begin(), kTrailerSize, out.begin());
    }
    s_->finished = true;
    return out;
}

} // namespace qob
