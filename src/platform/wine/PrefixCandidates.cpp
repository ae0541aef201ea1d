#include "platform/wine/PrefixCandidates.h"

#include "platform/wine/WinePrefix.h"

#include <algorithm>

namespace qob {
namespace {

namespace fs = std::filesystem;

// Folders whose every subfolder may be a prefix, relative to the home folder.
struct FrontEndFolder {
    const char* relative;
    PrefixOrigin origin;
};
constexpr FrontEndFolder kFrontEndFolders[] = {
    {".local/share/wineprefixes", PrefixOrigin::Winetricks},
    {".PlayOnLinux/wineprefix", PrefixOrigin::PlayOnLinux},
    {".local/share/bottles/bottles", PrefixOrigin::Bottles},
    {".var/app/com.usebottles.bottles/data/bottles/bottles", PrefixOrigin::BottlesFlatpak},
    {".cxoffice", PrefixOrigin::CrossOver},
    {"Games", PrefixOrigin::Games},
};

fs::path absoluteNormal(const fs::path& folder) {
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec);
    fs::path normal = (ec ? folder : absolute).lexically_normal();
    // "~/.wine/" and "~/.wine" are one folder and must read the same.
    return normal.has_filename() || !normal.has_relative_path() ? normal : normal.parent_path();
}

class Collector {
public:
    void add(const fs::path& folder, PrefixOrigin origin) {
        if (folder.empty() || !checkWinePrefix(folder))
            return;
        const fs::path canonical = canonicalPrefixPath(folder);
        for (PrefixCandidate& known : found_) {
            if (known.canonical == canonical) {
                if (std::find(known.origins.begin(), known.origins.end(), origin) == known.origins.end())
                    known.origins.push_back(origin);
                return;
            }
        }
        found_.push_back({absoluteNormal(folder), canonical, {origin}});
    }

    void addSubfolders(const fs::path& parent, PrefixOrigin origin) {
        std::error_code ec;
        std::vector<fs::path> folders;
        for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (it->is_directory(typeError))
                folders.push_back(it->path());
        }
        for (const fs::path& folder : folders)
            add(folder, origin);
    }

    std::vector<PrefixCandidate> take(std::size_t fixedCount) {
        const auto firstSorted =
            found_.begin() + static_cast<std::ptrdiff_t>(std::min(fixedCount, found_.size()));
        std::sort(firstSorted, found_.end(),
                  [](const PrefixCandidate& a, const PrefixCandidate& b) { return a.path < b.path; });
        return std::move(found_);
    }

    std::size_t size() const { return found_.size(); }

private:
    std::vector<PrefixCandidate> found_;
};

} // namespace

std::string prefixOriginText(PrefixOrigin origin) {
    switch (origin) {
    case PrefixOrigin::Option:
        return "--prefix";
    case PrefixOrigin::Remembered:
        return "chosen earlier";
    case PrefixOrigin::WinePrefixVariable:
        return "$WINEPREFIX";
    case PrefixOrigin::DefaultPrefix:
        return "~/.wine";
    case PrefixOrigin::Winetricks:
        return "winetricks";
    case PrefixOrigin::PlayOnLinux:
        return "PlayOnLinux";
    case PrefixOrigin::Bottles:
        return "Bottles";
    case PrefixOrigin::BottlesFlatpak:
        return "Bottles (Flatpak)";
    case PrefixOrigin::CrossOver:
        return "CrossOver";
    case PrefixOrigin::Games:
        return "~/Games";
    }
    return "?";
}

fs::path canonicalPrefixPath(const fs::path& folder) {
    std::error_code ec;
    fs::path canonical = fs::canonical(folder, ec);
    return ec ? absoluteNormal(folder) : canonical;
}

std::vector<PrefixCandidate> findWinePrefixes(const PrefixSearch& search) {
    Collector collector;
    if (search.remembered && !search.remembered->empty())
        collector.add(*search.remembered, PrefixOrigin::Remembered);
    if (search.winePrefix && !search.winePrefix->empty())
        collector.add(*search.winePrefix, PrefixOrigin::WinePrefixVariable);
    const bool haveHome = search.home && !search.home->empty();
    if (haveHome)
        collector.add(fs::path(*search.home) / ".wine", PrefixOrigin::DefaultPrefix);
    // The places above keep their order; what the front ends hold follows, sorted.
    const std::size_t fixedCount = collector.size();
    if (haveHome)
        for (const FrontEndFolder& place : kFrontEndFolders)
            collector.addSubfolders(fs::path(*search.home) / place.relative, place.origin);
    return collector.take(fixedCount);
}

} // namespace qob
