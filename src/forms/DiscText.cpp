#include "forms/DiscText.h"

#include <cstdio>

namespace qob {

std::string formatMegabytes(double bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f MB", bytes / 1048576.0);
    return text;
}

std::string formatKilobytes(std::uint64_t bytes) {
    // Hundredths of a kilobyte, rounded, so the grouping works on whole numbers.
    const std::uint64_t hundredths = (bytes + 5) / 10;
    std::string whole = std::to_string(hundredths / 100);
    for (int i = static_cast<int>(whole.size()) - 3; i > 0; i -= 3) {
        whole.insert(static_cast<std::size_t>(i), ",");
    }
    char decimals[8];
    std::snprintf(decimals, sizeof decimals, ".%02u", static_cast<unsigned>(hundredths % 100));
    return whole + decimals + " KB";
}

std::string formatFileDate(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%m/%d/%Y %I:%M:%S %p", &local);
    return text;
}

std::string discErrorText(const disc::EngineError& error) {
    using disc::ErrorType;
    switch (error.type) {
    case ErrorType::Device:
        return "Device Error: (" + std::to_string(error.device.code) + ")   " + error.device.description +
               "\n" + error.device.detailText + " - " + std::to_string(error.device.detailCode);
    case ErrorType::OutputFile:
        return "Output File Error: (" + std::to_string(error.file.code) + ")   " + error.file.description +
               "\n'" + error.file.fileName + "'";
    case ErrorType::SourceFile:
        return "Source File Error: (" + std::to_string(error.file.code) + ")   " + error.file.description +
               "\n'" + error.file.fileName + "'";
    case ErrorType::System:
        return "System Error: (" + std::to_string(error.systemCode) + ")   " + error.description;
    case ErrorType::Write:
        break;
    }
    return "Write Error: (" + std::to_string(static_cast<int>(error.type)) + ")   " + error.description;
}

} // namespace qob
