#pragma once
#include <filesystem>

namespace qob::test {

// Real files written by Wine, kept unchanged under tests/data/wine.
std::filesystem::path fixture(const std::string& name);

// A fresh, empty folder under the system's temporary folder, removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace qob::test
