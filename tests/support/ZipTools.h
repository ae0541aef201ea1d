#pragma once
// Helpers for archive tests: file contents, folder listings and hand-made (hostile) zip files.
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace qob::test {

// Mail-like bytes: random and text blocks mixed, so that deflate has something to do.
std::string mixedBytes(std::size_t size, std::uint32_t seed);
void writeBytes(const std::filesystem::path& file, const std::string& bytes);
std::string readBytes(const std::filesystem::path& file);
// Names of the entries of a folder (not recursive).
std::set<std::string> listFolder(const std::filesystem::path& folder);

struct ZipEntrySpec {
    std::string name;
    std::string data;
    bool symlink = false; // unix mode S_IFLNK in the external attributes
    // The name's bytes stored as they are, without the UTF-8 flag (as the Windows-era program
    // stored its ANSI names); otherwise UTF-8, flagged where it is not ASCII.
    bool rawName = false;
    std::uint16_t encryption = 0; // ZIP_EM_*: 0 none, 1 traditional, 0x0101..0x0103 AES
    std::string password = {};    // the key's bytes, as given
};
// Writes a zip with libzip directly, entries in the given order, deflated.
void makeZip(const std::filesystem::path& zipFile, const std::vector<ZipEntrySpec>& entries);

// Repeats the first central directory record `copies` more times (the end record counts them): a
// crafted file whose entries all point at one stored block.
void repeatFirstCentralRecord(const std::filesystem::path& zipFile, int copies);

// Flips one byte in the middle of the stored data of `entryName`.
void flipByteInEntry(const std::filesystem::path& zipFile, const std::string& entryName);

// Replaces every occurrence of `from` by `to` (same length) in the file's bytes.
void patchBytes(const std::filesystem::path& file, const std::string& from, const std::string& to);

} // namespace qob::test
