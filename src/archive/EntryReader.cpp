#include "archive/EntryReader.h"

#include "archive/WinZipAes.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zip.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace qob {

std::string entryReadProblem(int zipCode, const std::string& fallback) {
    switch (zipCode) {
    case ZIP_ER_WRONGPASSWD:
        return "wrong password";
    case ZIP_ER_NOPASSWD:
        return "the entry is protected by a password and none was given";
    case ZIP_ER_CRC:
        return "the data is damaged (CRC mismatch) or the password is wrong";
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
        return "the compressed data is damaged or the password is wrong";
    case ZIP_ER_ENCRNOTSUPP:
        return "the entry uses an encryption this program cannot read";
    case ZIP_ER_COMPNOTSUPP:
        return "the entry uses a compression method this program cannot read";
    default:
        return fallback;
    }
}

namespace {

constexpr std::size_t kInputSize = 256 * 1024;
constexpr std::size_t kDecryptedBlocks = 4;

// The WinZip AES strength (1 to 3) of libzip's encryption method; 0 for any other method.
int aesStrength(std::uint16_t method) {
    switch (method) {
    case ZIP_EM_AES_128:
        return 1;
    case ZIP_EM_AES_192:
        return 2;
    case ZIP_EM_AES_256:
        return 3;
    default:
        return 0;
    }
}

// Blocks passed from one thread to the next: filled in ring order, taken in the same order, each
// given back for filling once taken.
class BlockRing {
public:
    struct Block {
        std::unique_ptr<char[]> data;
        std::size_t len = 0;
    };

    BlockRing(std::size_t blockSize, std::size_t count) : blocks_(count), blockSize_(blockSize) {
        for (Block& b : blocks_) {
            b.data = std::make_unique_for_overwrite<char[]>(blockSize);
        }
    }
    std::size_t blockSize() const { return blockSize_; }

    // Producer: the next block to fill, or nullptr when the consumer gave up.
    Block* waitFree() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return abandoned_ || filled_ < blocks_.size(); });
        return abandoned_ ? nullptr : &blocks_[(head_ + filled_) % blocks_.size()];
    }
    void publish() {
        std::lock_guard lock(mutex_);
        ++filled_;
        changed_.notify_all();
    }
    void end(Status result) {
        std::lock_guard lock(mutex_);
        ended_ = true;
        result_ = std::move(result);
        changed_.notify_all();
    }

    // Consumer: the next filled block, or nullptr when the producer ended (see result()).
    Block* waitFilled() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return filled_ > 0 || ended_; });
        // A failure stops everything at once; a success still hands over what was filled.
        if (filled_ == 0 || !result_) {
            return nullptr;
        }
        return &blocks_[head_];
    }
    void release() {
        std::lock_guard lock(mutex_);
        head_ = (head_ + 1) % blocks_.size();
        --filled_;
        changed_.notify_all();
    }
    void abandon() {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
        changed_.notify_all();
    }
    Status result() {
        std::lock_guard lock(mutex_);
        return result_;
    }

private:
    std::vector<Block> blocks_;
    std::size_t blockSize_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t head_ = 0;
    std::size_t filled_ = 0;
    bool ended_ = false;
    bool abandoned_ = false;
    Status result_;
};

// The plain bytes of one entry, block by block, on one thread: the stored bytes from libzip,
// inflated here, counted and checked against the central directory.
class EntryStream {
public:
    explicit EntryStream(const EntryReadRequest& request) : request_(request) {}
    ~EntryStream() {
        stopDecrypting();
        if (file_) {
            zip_fclose(file_);
        }
    }

    Status open(zip_t* zip) {
        zip_stat_t st;
        if (zip_stat_index(zip, request_.index, 0, &st) != 0) {
            return failZip(zip_get_error(zip), "cannot be read");
        }
        method_ = (st.valid & ZIP_STAT_COMP_METHOD) ? st.comp_method : ZIP_CM_STORE;
        if (method_ != ZIP_CM_STORE && method_ != ZIP_CM_DEFLATE) {
            return fail(entryReadProblem(ZIP_ER_COMPNOTSUPP, "") + " (method " + std::to_string(method_) +
                        ")");
        }
        crc_ = (st.valid & ZIP_STAT_CRC) ? std::optional<std::uint32_t>(st.crc) : std::nullopt;
        const bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
        // WinZip AES entries of the second kind record no CRC; their authentication code, which
        // libzip checks at the end of the data, covers them instead.
        const bool aes = encrypted && st.encryption_method != ZIP_EM_TRAD_PKWARE;
        if (aes && crc_ == 0u) {
            crc_.reset();
        }
        // WinZip AES entries of every strength are decrypted here, in large blocks: libzip's own
        // decryption works 16 bytes at a time and costs more than inflating, libzip 1.7.3 never
        // checks the authentication code of a deflated entry, and it takes an AE-2 entry's CRC of 0
        // for a damaged one. Traditional encryption is left to libzip, which then hands over the
        // stored bytes decrypted but not inflated.
        const int strength = aes ? aesStrength(st.encryption_method) : 0;
        const bool ownAes = strength != 0 && (st.valid & ZIP_STAT_COMP_SIZE);
        file_ = zip_fopen_index_encrypted(zip, request_.index, ownAes ? ZIP_FL_ENCRYPTED : ZIP_FL_COMPRESSED,
                                          encrypted && !ownAes ? request_.password.c_str() : nullptr);
        if (!file_) {
            Status s = failZip(zip_get_error(zip), "cannot be read");
            zip_error_clear(zip);
            return s;
        }
        if (ownAes) {
            if (Status s = openAes(st.comp_size, strength); !s) {
                return s;
            }
            startDecrypting();
        }
        if (method_ == ZIP_CM_DEFLATE && !decrypted_) {
            input_.resize(kInputSize);
        }
        if (method_ == ZIP_CM_DEFLATE) {
            state_ = std::make_unique<inflate_state>();
            isal_inflate_init(state_.get());
            state_->crc_flag = ISAL_DEFLATE;
        }
        return Status::success();
    }

    // Fills `out` with the next block; len == 0 at the end, after the final checks passed.
    Status next(char* out, std::size_t cap, std::size_t& len) {
        len = 0;
        Status s = method_ == ZIP_CM_DEFLATE ? inflateInto(out, cap, len) : copyInto(out, cap, len);
        if (!s) {
            return s;
        }
        // The free-space check before an extraction trusts the recorded size, so no byte beyond
        // it is handed on.
        if (len > request_.size - total_) {
            return fail("the entry holds more than the " + std::to_string(request_.size) + " bytes recorded");
        }
        total_ += len;
        if (len > 0) {
            runningCrc_ = crc32_gzip_refl(runningCrc_, reinterpret_cast<const unsigned char*>(out), len);
            return Status::success();
        }
        return finish();
    }

private:
    Status fail(const std::string& why) const {
        return Status::failure("\"" + request_.name + "\": " + why + ".");
    }
    Status failZip(zip_error_t* error, const std::string& fallback) const {
        const int code = zip_error_code_zip(error);
        return fail(entryReadProblem(code, code == ZIP_ER_OK ? fallback : zip_error_strerror(error)));
    }

    Status readRaw(char* to, std::size_t cap, std::size_t& got) {
        const zip_int64_t n = zip_fread(file_, to, cap);
        if (n < 0) {
            return failZip(zip_file_get_error(file_), "read error");
        }
        got = static_cast<std::size_t>(n);
        return Status::success();
    }

    // Reads exactly `len` bytes unless the stored data ends first.
    Status readFully(char* to, std::size_t len, std::size_t& got) {
        got = 0;
        while (got < len) {
            std::size_t n = 0;
            if (Status s = readRaw(to + got, len - got, n); !s) {
                return s;
            }
            if (n == 0) {
                break;
            }
            got += n;
        }
        return Status::success();
    }

    // The salt and the password check in front of an AES entry's data.
    Status openAes(std::uint64_t storedSize, int strength) {
        if (request_.password.empty()) {
            return fail(entryReadProblem(ZIP_ER_NOPASSWD, ""));
        }
        const std::size_t headerSize = WinZipAes::headerSize(strength);
        if (storedSize < headerSize + WinZipAes::kTrailerSize) {
            return fail(truncated());
        }
        char header[WinZipAes::kHeaderSize];
        std::size_t got = 0;
        if (Status s = readFully(header, headerSize, got); !s) {
            return s;
        }
        if (got != headerSize) {
            return fail(truncated());
        }
        std::string why;
        aes_ = WinZipAes::forReading(request_.password, strength,
                                     reinterpret_cast<const std::uint8_t*>(header), why);
        if (!aes_) {
            return fail(why == "wrong password" ? entryReadProblem(ZIP_ER_WRONGPASSWD, why) : why);
        }
        cipherLeft_ = storedSize - headerSize - WinZipAes::kTrailerSize;
        return Status::success();
    }

    // Once the encrypted data is read: the authentication code after it must match.
    Status checkAesTrailer() {
        char stored[WinZipAes::kTrailerSize];
        std::size_t got = 0;
        if (Status s = readFully(stored, sizeof stored, got); !s) {
            return s;
        }
        if (got != sizeof stored) {
            return fail(truncated());
        }
        const WinZipAes::Trailer computed = aes_->trailer();
        if (std::memcmp(stored, computed.data(), computed.size()) != 0) {
            return fail(entryReadProblem(ZIP_ER_CRC, ""));
        }
        return Status::success();
    }

    // Decrypting and authenticating cost about as much as inflating, so a protected entry's stored
    // bytes are read and decrypted on a thread of their own, a few blocks ahead of the inflater.
    // The end of the input comes out only once the authentication code after the data matched:
    // until then neither the inflater nor the final checks can call the entry whole.
    void startDecrypting() {
        decrypted_ = std::make_unique<BlockRing>(kInputSize, kDecryptedBlocks);
        decryptor_ = std::thread([this] {
            BlockRing& ring = *decrypted_;
            for (;;) {
                BlockRing::Block* block = ring.waitFree();
                if (!block) {
                    ring.end(Status::success());
                    return;
                }
                Status s = decryptInto(block->data.get(), ring.blockSize(), block->len);
                if (!s || block->len == 0) {
                    ring.end(std::move(s));
                    return;
                }
                ring.publish();
            }
        });
    }
    void stopDecrypting() {
        if (decryptor_.joinable()) {
            decrypted_->abandon();
            decryptor_.join();
        }
    }

    // The next piece of the stored bytes, decrypted when this reader decrypts them; got == 0 at
    // their end. The piece stays valid until the next call.
    Status nextInput(const char*& data, std::size_t& got) {
        got = 0;
        if (!decrypted_) {
            data = input_.data();
            return readRaw(input_.data(), input_.size(), got);
        }
        if (held_) {
            decrypted_->release();
            held_ = nullptr;
        }
        held_ = decrypted_->waitFilled();
        if (!held_) {
            return decrypted_->result();
        }
        data = held_->data.get();
        got = held_->len;
        return Status::success();
    }

    // The stored bytes of a protected entry, decrypted and authenticated; got == 0 at their end.
    Status decryptInto(char* to, std::size_t cap, std::size_t& got) {
        got = 0;
        if (cipherLeft_ == 0) {
            if (!trailerChecked_) {
                trailerChecked_ = true;
                return checkAesTrailer();
            }
            return Status::success();
        }
        if (Status s = readRaw(to, static_cast<std::size_t>(std::min<std::uint64_t>(cap, cipherLeft_)), got);
            !s) {
            return s;
        }
        if (got == 0) {
            return fail(truncated());
        }
        aes_->decrypt(reinterpret_cast<std::uint8_t*>(to), got);
        cipherLeft_ -= got;
        return Status::success();
    }

    static std::string truncated() {
        return "the compressed data ends before the entry does; the backup file is damaged or truncated";
    }

    Status copyInto(char* out, std::size_t cap, std::size_t& len) {
        if (!decrypted_) {
            return readRaw(out, cap, len);
        }
        len = 0;
        while (len < cap && !inputEnded_) {
            if (pendingLen_ == 0) {
                if (Status s = nextInput(pending_, pendingLen_); !s) {
                    return s;
                }
                inputEnded_ = pendingLen_ == 0;
                continue;
            }
            const std::size_t n = std::min(cap - len, pendingLen_);
            std::memcpy(out + len, pending_, n);
            len += n;
            pending_ += n;
            pendingLen_ -= n;
        }
        return Status::success();
    }

    Status inflateInto(char* out, std::size_t cap, std::size_t& len) {
        inflate_state& st = *state_;
        st.next_out = reinterpret_cast<std::uint8_t*>(out);
        st.avail_out = static_cast<std::uint32_t>(cap);
        while (st.avail_out > 0 && !finished_) {
            if (st.avail_in == 0 && !inputEnded_) {
                const char* data = nullptr;
                std::size_t got = 0;
                if (Status s = nextInput(data, got); !s) {
                    return s;
                }
                inputEnded_ = got == 0;
                // isa-l takes its input through a pointer to non-const bytes but only reads them.
                st.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(data));
                st.avail_in = static_cast<std::uint32_t>(got);
            }
            const std::uint32_t roomBefore = st.avail_out;
            if (isal_inflate(&st) < 0) {
                return fail(entryReadProblem(ZIP_ER_COMPRESSED_DATA, ""));
            }
            if (st.block_state == ISAL_BLOCK_FINISH) {
                finished_ = true;
            } else if (inputEnded_ && st.avail_in == 0 && st.avail_out == roomBefore) {
                return fail(truncated());
            }
        }
        len = cap - st.avail_out;
        return Status::success();
    }

    Status finish() {
        // Read the stored bytes to their very end: that is where libzip checks a protected entry's
        // authentication code. Bytes after the end of the deflate stream are ignored, as inflating
        // tools do.
        if (method_ == ZIP_CM_DEFLATE || aes_) {
            if (!decrypted_ && input_.empty()) {
                input_.resize(kInputSize);
            }
            while (!inputEnded_) {
                const char* data = nullptr;
                std::size_t got = 0;
                if (Status s = nextInput(data, got); !s) {
                    return s;
                }
                inputEnded_ = got == 0;
            }
        }
        stopDecrypting(); // it has ended with the input; libzip's file goes next
        const int closeCode = zip_fclose(file_);
        file_ = nullptr;
        if (closeCode != 0) {
            return fail(entryReadProblem(closeCode, "read error"));
        }
        // Damaged data that still inflates usually comes out short as well: the CRC says which it is.
        if (crc_ && *crc_ != runningCrc_) {
            return fail(entryReadProblem(ZIP_ER_CRC, ""));
        }
        if (total_ != request_.size) {
            return fail("the entry holds " + std::to_string(total_) + " bytes, not the " +
                        std::to_string(request_.size) + " recorded");
        }
        return Status::success();
    }

    const EntryReadRequest& request_;
    zip_file_t* file_ = nullptr;
    std::int32_t method_ = ZIP_CM_STORE;
    std::optional<std::uint32_t> crc_;
    std::vector<char> input_;
    std::unique_ptr<inflate_state> state_;
    std::optional<WinZipAes> aes_;
    std::unique_ptr<BlockRing> decrypted_; // set when the entry is decrypted ahead
    std::thread decryptor_;
    BlockRing::Block* held_ = nullptr; // the decrypted block being consumed
    const char* pending_ = nullptr;    // its bytes not yet copied out (stored entries)
    std::size_t pendingLen_ = 0;
    std::uint64_t cipherLeft_ = 0;
    bool trailerChecked_ = false;
    bool inputEnded_ = false;
    bool finished_ = false;
    std::uint64_t total_ = 0;
    std::uint32_t runningCrc_ = 0;
};

void produce(EntryStream& stream, BlockRing& ring) {
    for (;;) {
        BlockRing::Block* block = ring.waitFree();
        if (!block) {
            ring.end(Status::success());
            return;
        }
        Status s = stream.next(block->data.get(), ring.blockSize(), block->len);
        if (!s || block->len == 0) {
            ring.end(std::move(s));
            return;
        }
        ring.publish();
    }
}

} // namespace

Status readEntryData(zip_t* zip, const EntryReadRequest& request, const EntryReadHandlers& handlers) {
    EntryStream stream(request);
    if (Status s = stream.open(zip); !s) {
        return s;
    }
    BlockRing ring(kEntryBlockSize, kEntryRingBlocks);
    // However this thread leaves (a handler may throw), the inflating thread is told to stop and
    // is waited for before the ring and the stream go.
    struct Joined {
        BlockRing& ring;
        std::thread thread;
        ~Joined() {
            if (thread.joinable()) {
                ring.abandon();
                thread.join();
            }
        }
    } producer{ring, std::thread(produce, std::ref(stream), std::ref(ring))};
    Status result = Status::success();
    std::uint64_t done = 0;
    while (BlockRing::Block* block = ring.waitFilled()) {
        if (handlers.stopNow && handlers.stopNow()) {
            result = Status::stopped("\"" + request.name + "\": stopped, as asked.");
            break;
        }
        done += block->len;
        if (handlers.take) {
            result = handlers.take(block->data.get(), block->len, done);
            if (!result) {
                break;
            }
        }
        ring.release();
    }
    ring.abandon();
    producer.thread.join();
    producer.thread = std::thread();
    if (result) {
        result = ring.result();
    }
    return result;
}

} // namespace qob
