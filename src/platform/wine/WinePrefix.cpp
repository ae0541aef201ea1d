#include "platform/wine/WinePrefix.h"

#include "platform/Environment.h"

namespace qob {

std::filesystem::path chooseWinePrefix(const std::optional<std::string>& prefixOption,
                                       const std::optional<std::string>& winePrefixVariable,
                                       const std::optional<std::string>& home) {
    std::filesystem::path prefix;
    if (prefixOption && !prefixOption->empty())
        prefix = *prefixOption;
    else if (winePrefixVariable && !winePrefixVariable->empty())
        prefix = *winePrefixVariable;
    else if (home && !home->empty())
        prefix = std::filesystem::path(*home) / ".wine";
    else
        return {};
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(prefix, ec);
    return (ec ? prefix : absolute).lexically_normal();
}

std::filesystem::path locateWinePrefix(const std::optional<std::string>& prefixOption) {
    return chooseWinePrefix(prefixOption, environment("WINEPREFIX"), environment("HOME"));
}

std::optional<std::string> takePrefixOption(std::vector<std::string>& args, std::string& error) {
    std::optional<std::string> found;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--prefix") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                error = "The option --prefix needs the folder of a Wine prefix.";
                return std::nullopt;
            }
            found = args[++i];
        } else if (arg.rfind("--prefix=", 0) == 0) {
            if (arg.size() == 9) {
                error = "The option --prefix needs the folder of a Wine prefix.";
                return std::nullopt;
            }
            found = arg.substr(9);
        } else {
            rest.push_back(arg);
        }
    }
    args = std::move(rest);
    return found;
}

Status checkWinePrefix(const std::filesystem::path& prefix) {
    std::error_code ec;
    if (prefix.empty())
        return Status::failure("No Wine prefix is known: use --prefix or set WINEPREFIX.");
    if (!std::filesystem::is_directory(prefix, ec))
        return Status::failure("The Wine prefix " + prefix.string() + " does not exist.");
    if (std::filesystem::is_directory(prefix / "dosdevices", ec) ||
        std::filesystem::is_directory(prefix / "drive_c", ec))
        return Status::success();
    for (const auto& entry : std::filesystem::directory_iterator(prefix, ec))
        if (entry.path().extension() == ".reg" && entry.is_regular_file(ec))
            return Status::success();
    return Status::failure("The folder " + prefix.string() +
                           " is not a Wine prefix: it has no dosdevices, drive_c or registry files.");
}

} // namespace qob
