#include "platform/wine/PrefixChoice.h"

#include "platform/wine/WinePrefix.h"

namespace qob {
namespace {

bool given(const std::optional<std::string>& value) {
    return value && !value->empty();
}

std::filesystem::path absoluteNormal(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(folder, ec);
    std::filesystem::path normal = (ec ? std::filesystem::path(folder) : absolute).lexically_normal();
    // "~/.wine/" and "~/.wine" are one folder and must read the same.
    return normal.has_filename() || !normal.has_relative_path() ? normal : normal.parent_path();
}

} // namespace

PrefixChoice choosePrefix(const PrefixSources& sources, PrefixPolicy policy) {
    PrefixChoice choice;
    if (given(sources.option)) {
        choice.prefix = absoluteNormal(*sources.option);
        choice.origin = PrefixOrigin::Option;
        return choice;
    }
    const bool rememberedUsable = given(sources.remembered) && checkWinePrefix(*sources.remembered);
    if (given(sources.remembered) && !rememberedUsable)
        choice.note = "The Wine prefix chosen earlier, " + *sources.remembered +
                      ", is no longer a Wine prefix; it is passed over.";
    if (policy == PrefixPolicy::CommandLineTool && given(sources.winePrefix)) {
        choice.prefix = absoluteNormal(*sources.winePrefix);
        choice.origin = PrefixOrigin::WinePrefixVariable;
        // The remembered choice was not wanted, so whether it still exists does not matter.
        choice.note.clear();
    } else if (rememberedUsable) {
        choice.prefix = absoluteNormal(*sources.remembered);
        choice.origin = PrefixOrigin::Remembered;
    } else if (given(sources.winePrefix)) {
        choice.prefix = absoluteNormal(*sources.winePrefix);
        choice.origin = PrefixOrigin::WinePrefixVariable;
    } else if (given(sources.home)) {
        choice.prefix = absoluteNormal((std::filesystem::path(*sources.home) / ".wine").string());
        choice.origin = PrefixOrigin::DefaultPrefix;
    }
    return choice;
}

} // namespace qob
