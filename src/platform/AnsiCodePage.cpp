#include "platform/AnsiCodePage.h"

#include "platform/TextEncoding.h"

#include <string>

namespace qob {

std::uint32_t targetAnsiCodePage(RegistryStore& store) {
    // CurrentControlSet is a link Wine keeps to ControlSet001; a store that does not follow links
    // still finds the value there.
    for (const char* set : {"CurrentControlSet", "ControlSet001"}) {
        RegHandle key = 0;
        if (store.openKey(RegRoot::LocalMachine, std::string("System\\") + set + "\\Control\\Nls\\CodePage",
                          false, key) != kRegSuccess) {
            continue;
        }
        RegValue value;
        const RegResult rc = store.queryValue(key, "ACP", value);
        store.closeKey(key);
        if (rc != kRegSuccess || (value.type != kRegSz && value.type != kRegExpandSz)) {
            continue;
        }
        const std::string text(value.data.begin(), value.data.end());
        std::uint32_t page = 0;
        std::size_t digits = 0;
        for (char c : text) {
            if (c == '\0') {
                break;
            }
            if (c < '0' || c > '9' || ++digits > 5) {
                page = 0;
                break;
            }
            page = page * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (page != 0 && textenc::isKnownCodePage(page)) {
            return page;
        }
        return textenc::kDefaultAnsiCodePage;
    }
    return textenc::kDefaultAnsiCodePage;
}

} // namespace qob
