#pragma once
// Entry names of one backup being built. Entries are bare file names, so two files of the same
// name from different folders would collide: the same file (same resolved host path) is stored
// once and named by every item that needs it; a different file whose bare name is taken becomes
// "<stem>~<n><ext>" with the smallest free n >= 2. Names compare without regard to ASCII case, as
// they end up as files in one Windows folder. "quirebox.dat" is reserved for the information file.
#include <filesystem>
#include <map>
#include <set>
#include <string>

namespace qob {

class EntryNames {
public:
    EntryNames();

    struct Claim {
        std::string name;
        bool isNew = false; // false: the file is already an entry under `name`
    };
    // The entry name for `hostFile`, whose bare name is `bareName`.
    Claim claim(const std::filesystem::path& hostFile, const std::string& bareName);
    // Gives back a new claim whose file could not be added after all.
    void release(const std::filesystem::path& hostFile, const std::string& name);

    // "<stem>~<n><ext>": the extension is the part from the last "." (not a leading one).
    static std::string numbered(const std::string& bareName, int n);

private:
    static std::string key(const std::filesystem::path& hostFile);
    bool taken(const std::string& name) const;

    std::set<std::string> takenLower_;
    std::map<std::string, std::string> byFile_; // resolved host path -> entry name
};

} // namespace qob
