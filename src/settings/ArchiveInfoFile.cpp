#include "settings/ArchiveInfoFile.h"

#include "settings/InfoFile.h"

#include <array>
#include <cstdio>

namespace qob {

const char* itemKey(ItemKind kind) {
    static constexpr std::array<const char*, kItemKindCount> keys = {
        "BackupConfig",     "BackupDatas",      "BackupRules",   "BackupAccounts",
        "BackupSignatures", "BackupStationery", "BackupPab",     "BackupConfigsetting",
        "BackupTemplates",  "BackupSetting",    "BackupContacts"};
    return keys[index(kind)];
}

std::string escapeDescription(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += kLineBreakEscape;
            ++i;
        } else if (text[i] == '\r' || text[i] == '\n') {
            out += kLineBreakEscape;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string unescapeDescription(const std::string& stored) {
    std::string out;
    const std::string escape = kLineBreakEscape;
    size_t from = 0;
    for (size_t at = stored.find(escape); at != std::string::npos; at = stored.find(escape, from)) {
        out.append(stored, from, at - from);
        out += "\r\n";
        from = at + escape.size();
    }
    out.append(stored, from);
    return out;
}

bool isValidItemFlags(const std::string& flags) {
    return flags.size() == kItemKindCount && flags.find_first_not_of("01") == std::string::npos;
}

bool itemFlag(const std::string& flags, ItemKind kind) {
    return index(kind) < flags.size() && flags[index(kind)] == '1';
}

std::string joinItemValue(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names) {
        out += (out.empty() ? "" : ";") + n;
    }
    return out;
}

std::vector<std::string> splitItemValue(const std::string& value) {
    std::vector<std::string> names;
    size_t from = 0;
    while (from <= value.size()) {
        size_t at = value.find(';', from);
        std::string part = value.substr(from, at == std::string::npos ? std::string::npos : at - from);
        if (!part.empty()) {
            names.push_back(part);
        }
        if (at == std::string::npos) {
            break;
        }
        from = at + 1;
    }
    return names;
}

std::string defaultBackupFileName(const std::string& profile, const std::tm& date) {
    char stamp[48]; // room for any int the fields may hold
    std::snprintf(stamp, sizeof stamp, "%02d-%02d-%04d", date.tm_mon + 1, date.tm_mday, date.tm_year + 1900);
    return "qarch-" + profile + "-" + stamp + ".qob";
}

Status writeInfoHeader(const std::filesystem::path& file, const InfoHeader& header) {
    std::error_code ec;
    std::filesystem::remove(file, ec);
    if (ec) {
        return Status::failure("Cannot replace " + file.string() + ": " + ec.message());
    }
    const std::pair<const char*, std::string> lines[] = {
        {kKeyComputer, header.computer},
        {kKeyLogonUser, header.logonUser},
        {kKeyIdentity, header.identity},
        {kKeyTime, header.time},
        {kKeyOutlookVersion, header.outlookVersion},
        {kKeyInformation, escapeDescription(header.description)},
    };
    for (const auto& [key, value] : lines) {
        if (Status s = saveINI(key, value, file); !s) {
            return s;
        }
    }
    return Status::success();
}

} // namespace qob
