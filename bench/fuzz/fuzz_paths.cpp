// Byte and text readers fed by registry values and the command line: the automatic run's command
// line, the data-file path decoders, and the path rewriting helpers of the restore.
#include "forms/AutomaticBackup.h"
#include "outlook/BinaryPath.h"
#include "outlook/PathReaders.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<std::uint8_t> bytes(data + 1, data + size);
    switch (mode % 4) {
    case 0:
        (void)qob::parseAutoCommandLine(text);
        break;
    case 1: {
        (void)qob::decodeWidePath(bytes);
        (void)qob::decodeAnsiPath(bytes);
        (void)qob::pathFromText(text);
        break;
    }
    case 2: {
        // Two pieces split at the first byte 0xFE: the value, and the bytes to swap out.
        std::vector<std::uint8_t> value = bytes;
        std::vector<std::uint8_t> from, to;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == 0xFE) {
                value.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(i));
                from.assign(bytes.begin() + static_cast<std::ptrdiff_t>(i + 1), bytes.end());
                to.assign(from.rbegin(), from.rend());
                to.push_back(static_cast<std::uint8_t>(mode));
                break;
            }
        }
        (void)qob::replaceBytes(value, from, to);
        break;
    }
    case 3:
        (void)qob::wideToHexText(text);
        (void)qob::ansiToHexText(text);
        (void)qob::utf16leBytes(text);
        (void)qob::windows1252Bytes(text);
        break;
    }
    return 0;
}
