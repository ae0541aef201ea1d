#include "outlook/PrefixProfiles.h"

#include "outlook/OutlookDiscovery.h"
#include "platform/Dialogs.h"
#include "platform/wine/WinePrefixRegistry.h"
#include "registry/Registry.h"

namespace qob {
namespace {

// Lets reads through and refuses every change, so that looking at a prefix can never alter it,
// whatever the discovery code does now or later.
class ReadOnlyStore : public RegistryStore {
public:
    explicit ReadOnlyStore(RegistryStore& inner) : inner_(inner) {}

    RegResult openKey(RegRoot root, const std::string& path, bool, RegHandle& out) override {
        return inner_.openKey(root, path, false, out);
    }
    RegResult createKey(RegRoot, const std::string&, RegHandle&) override { return kRegAccessDenied; }
    RegResult closeKey(RegHandle key) override { return inner_.closeKey(key); }
    RegResult enumKey(RegHandle key, std::uint32_t index, std::string& name) override {
        return inner_.enumKey(key, index, name);
    }
    RegResult enumValue(RegHandle key, std::uint32_t index, RegValue& out) override {
        return inner_.enumValue(key, index, out);
    }
    RegResult queryValue(RegHandle key, const std::string& name, RegValue& out) override {
        return inner_.queryValue(key, name, out);
    }
    RegResult setValue(RegHandle, const std::string&, std::uint32_t,
                       const std::vector<std::uint8_t>&) override {
        return kRegAccessDenied;
    }
    RegResult deleteValue(RegHandle, const std::string&) override { return kRegAccessDenied; }
    RegResult deleteKey(RegHandle, const std::string&) override { return kRegAccessDenied; }
    RegResult flush() override { return kRegSuccess; }
    RegResult discardChanges() override { return kRegSuccess; }
    std::string lastError() const override { return inner_.lastError(); }

private:
    RegistryStore& inner_;
};

} // namespace

PrefixProfiles readPrefixProfiles(const std::filesystem::path& prefix) {
    PrefixProfiles result;
    try {
        WinePrefixRegistry wineStore(prefix);
        ReadOnlyStore store(wineStore);
        SilentDialogs dialogs;
        Registry registry(store, dialogs, kApplicationTitle);
        AppState state;
        result.outlook = getOutlookVersion(registry, state);
        state.profilesRootKey = profilesRootKeyFor(state.officeVersion);
        loadProfiles(registry, state);
        // A hive that failed to load reads as empty: its absent profiles say nothing, the reason does.
        std::vector<std::string> errors = wineStore.loadErrors();
        if (!errors.empty()) {
            result.readable = false;
            for (const std::string& error : errors)
                result.reason += (result.reason.empty() ? "" : "; ") + error;
            return result;
        }
        result.profiles = std::move(state.profileList);
    } catch (const std::exception& e) {
        result.readable = false;
        result.reason = e.what();
    }
    return result;
}

} // namespace qob
