#include "ZipTools.h"

#include "platform/PathText.h"

#include <zip.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/stat.h>

namespace qob::test {

std::string mixedBytes(std::size_t size, std::uint32_t seed) {
    std::string out;
    out.reserve(size);
    std::uint32_t x = seed ? seed : 1;
    std::size_t block = 0;
    while (out.size() < size) {
        std::size_t n = std::min<std::size_t>(4096, size - out.size());
        if (block++ % 2 == 0) {
            for (std::size_t i = 0; i < n; ++i) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                out.push_back(static_cast<char>(x & 0xff));
            }
        } else {
            std::string line =
                "Subject: Meeting " + std::to_string(block) + " about the quarterly numbers\r\n";
            for (std::size_t i = 0; i < n; ++i) {
                out.push_back(line[i % line.size()]);
            }
        }
    }
    return out;
}

void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> listFolder(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        names.insert(e.path().filename().string());
    }
    return names;
}

void makeZip(const std::filesystem::path& zipFile, const std::vector<ZipEntrySpec>& entries) {
    int err = 0;
    zip_t* z = zip_open(qob::pathText(zipFile).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &err);
    if (!z) {
        throw std::runtime_error("zip_open failed");
    }
    for (const auto& e : entries) {
        zip_source_t* src = zip_source_buffer(z, e.data.data(), e.data.size(), 0);
        zip_int64_t idx =
            zip_file_add(z, e.name.c_str(), src, e.rawName ? ZIP_FL_ENC_CP437 : ZIP_FL_ENC_UTF_8);
        if (idx < 0) {
            zip_source_free(src);
            zip_discard(z);
            throw std::runtime_error("zip_file_add failed for " + e.name);
        }
        if (e.encryption != 0 && zip_file_set_encryption(z, static_cast<zip_uint64_t>(idx), e.encryption,
                                                         e.password.c_str()) != 0) {
            zip_discard(z);
            throw std::runtime_error("zip_file_set_encryption failed for " + e.name);
        }
        if (e.symlink) {
            zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(idx), 0, ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
        }
    }
    if (zip_close(z) != 0) {
        zip_discard(z);
        throw std::runtime_error("zip_close failed");
    }
}

void flipByteInEntry(const std::filesystem::path& zipFile, const std::string& entryName) {
    int err = 0;
    zip_t* z = zip_open(qob::pathText(zipFile).c_str(), ZIP_RDONLY, &err);
    if (!z) {
        throw std::runtime_error("cannot open " + zipFile.string());
    }
    zip_stat_t st;
    zip_int64_t idx = zip_name_locate(z, entryName.c_str(), 0);
    if (idx < 0 || zip_stat_index(z, static_cast<zip_uint64_t>(idx), 0, &st) != 0) {
        zip_discard(z);
        throw std::runtime_error("no entry " + entryName);
    }
    zip_discard(z);
    std::string bytes = readBytes(zipFile);
    // The local header: signature, fixed 30 bytes, then the name and the extra field.
    std::string marker = std::string("PK\x03\x04", 4);
    for (std::size_t pos = bytes.find(marker); pos != std::string::npos; pos = bytes.find(marker, pos + 1)) {
        auto u16 = [&](std::size_t at) {
            return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
                   static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
        };
        std::size_t nameLen = u16(pos + 26), extraLen = u16(pos + 28);
        if (bytes.compare(pos + 30, nameLen, entryName) == 0) {
            std::size_t data = pos + 30 + nameLen + extraLen;
            bytes[data + st.comp_size / 2] ^= 0x5a;
            writeBytes(zipFile, bytes);
            return;
        }
    }
    throw std::runtime_error("local header of " + entryName + " not found");
}

void patchBytes(const std::filesystem::path& file, const std::string& from, const std::string& to) {
    std::string bytes = readBytes(file);
    for (std::size_t pos = bytes.find(from); pos != std::string::npos;
         pos = bytes.find(from, pos + to.size())) {
        bytes.replace(pos, from.size(), to);
    }
    writeBytes(file, bytes);
}

} // namespace qob::test

namespace qob::test {

void repeatFirstCentralRecord(const std::filesystem::path& zipFile, int copies) {
    std::string bytes = readBytes(zipFile);
    auto get16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) |
                                        (static_cast<unsigned char>(bytes[at + 1]) << 8));
    };
    auto put = [&](std::size_t at, std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) {
            bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    const std::size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
    const std::size_t cd = bytes.find(std::string("PK\x01\x02", 4));
    if (end == std::string::npos || cd == std::string::npos) {
        throw std::runtime_error("no zip directory in " + zipFile.string());
    }
    const std::size_t recordSize = 46 + get16(cd + 28) + get16(cd + 30) + get16(cd + 32);
    const std::string record = bytes.substr(cd, recordSize);
    std::string extra;
    for (int i = 0; i < copies; ++i) {
        extra += record;
    }
    bytes.insert(cd + recordSize, extra);
    const std::size_t newEnd = end + extra.size();
    const std::size_t count = get16(newEnd + 10) + static_cast<std::size_t>(copies);
    put(newEnd + 8, static_cast<std::uint32_t>(count), 2);
    put(newEnd + 10, static_cast<std::uint32_t>(count), 2);
    const std::size_t cdSize = get16(newEnd + 12) | (get16(newEnd + 14) << 16);
    put(newEnd + 12, static_cast<std::uint32_t>(cdSize + extra.size()), 4);
    writeBytes(zipFile, bytes);
}

} // namespace qob::test
