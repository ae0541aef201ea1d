#include "disc/DiscTypes.h"

#include <algorithm>
#include <cstdio>

namespace qob::disc {

bool erasesAs(const std::vector<int>& profiles, Capability capability) {
    // The MMC profiles each erase needs.
    std::vector<int> wanted;
    switch (capability) {
    case Capability::EraseCdRw:
        wanted = {0x0a};
        break;
    case Capability::EraseDvdRw:
        wanted = {0x13, 0x14};
        break;
    case Capability::EraseDvdPlusRw:
        wanted = {0x1a};
        break;
    case Capability::EraseDvdRam:
        wanted = {0x12};
        break;
    case Capability::EraseBdRe:
        wanted = {0x43};
        break;
    case Capability::BufferProtection:
        break;
    }
    return std::any_of(wanted.begin(), wanted.end(), [&](int p) {
        return std::find(profiles.begin(), profiles.end(), p) != profiles.end();
    });
}

std::string megabytes(std::uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1048576.0);
    return text;
}

EngineError deviceError(int code, const std::string& description, const std::string& words) {
    EngineError error;
    error.type = ErrorType::Device;
    error.description = description;
    error.device.code = code;
    error.device.description = description;
    error.device.detailText = words.empty() ? "The drive gave no reason." : words;
    return error;
}

namespace {

EngineError fileError(ErrorType type, int code, const std::string& description, const std::string& file) {
    EngineError error;
    error.type = type;
    error.description = description;
    error.file = {code, description, file};
    return error;
}

} // namespace

EngineError sourceError(int code, const std::string& description, const std::string& file) {
    return fileError(ErrorType::SourceFile, code, description, file);
}

EngineError outputError(int code, const std::string& description, const std::string& file) {
    return fileError(ErrorType::OutputFile, code, description, file);
}

} // namespace qob::disc
