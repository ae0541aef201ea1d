#include "platform/AsciiCase.h"
#include "platform/TargetSystemWords.h"
#include "platform/TextEncoding.h"
#include "registry/KeyHandle.h"
#include "registry/Registry.h"
#include "registry/RegistryText.h"

#include <fstream>
#include <iterator>
#include <set>

namespace qob {
namespace {

// One key of the file with the values listed under it. `relative` is the key line ("" for "\").
struct PlannedKey {
    std::string relative;
    std::vector<RegValue> values;
};

struct ImportPlan {
    bool replacesTarget = false; // the file holds the top-key line "\"
    std::vector<PlannedKey> keys;
};

const char* const kInUse = words::kRegistryInUse;

std::string inUsePartway(const std::string& target) {
    return words::registryInUsePartway(target);
}

Status readText(const std::filesystem::path& file, std::string& text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return Status::failure("Cannot open the registry file \"" + file.string() + "\".");
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return Status::failure("Cannot read the registry file \"" + file.string() + "\".");
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.erase(0, 3);
    }
    // Backups made on Western Windows hold Windows-1252 text; ours hold UTF-8. Text in one is
    // almost never valid in the other, so validity decides. Our own files may hold a lone
    // surrogate (as the store handed it out), which must not make the whole file Windows-1252.
    if (!textenc::isValidUtf8(text, true)) {
        text = textenc::windows1252ToUtf8(text);
    }
    return Status::success();
}

bool validRelativeKey(const std::string& line) {
    // "\A\B": no empty component (a line "\A\" would otherwise name the top key, and "\A\\B" no key).
    for (std::size_t pos = 1; pos <= line.size();) {
        std::size_t end = line.find('\\', pos);
        if (end == std::string::npos) {
            end = line.size();
        }
        if (end == pos) {
            return false;
        }
        pos = end + 1;
    }
    return true;
}

// Checks every line before anything is touched, so that a damaged file changes nothing.
Status parsePlan(const std::string& text, const std::filesystem::path& file, ImportPlan& plan) {
    auto damaged = [&](std::size_t lineNo, const std::string& why) {
        return Status::failure("The registry file \"" + file.string() + "\" is damaged at line " +
                               std::to_string(lineNo) + ": " + why + ". Nothing was changed.");
    };
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        ++lineNo;
        if (line.ends_with('\r')) {
            line.pop_back();
        }
        if (line.starts_with('\\')) {
            if (line.size() > 1 && !validRelativeKey(line)) {
                return damaged(lineNo, "the key line \"" + line + "\" has an empty key name");
            }
            const std::string relative = line.size() == 1 ? std::string() : line;
            // A repeated key line selects the key it already selects.
            if (plan.keys.empty() || plan.keys.back().relative != relative) {
                plan.keys.push_back({relative, {}});
            }
            plan.replacesTarget = plan.replacesTarget || relative.empty();
            continue;
        }
        RegValue value;
        std::string why;
        switch (regtext::parseValueLine(line, value, why)) {
        case regtext::LineParse::Malformed:
            return damaged(lineNo, why);
        case regtext::LineParse::Skipped:
            break;
        case regtext::LineParse::Value:
            if (!plan.keys.empty()) { // a value before the first key line has no key to go to
                plan.keys.back().values.push_back(std::move(value));
            }
            break;
        }
    }
    if (plan.keys.empty()) {
        return Status::failure("The registry file \"" + file.string() +
                               "\" holds no registry key (it is empty or damaged). Nothing was changed.");
    }
    return Status::success();
}

Status loadPlan(const std::filesystem::path& file, ImportPlan& plan) {
    std::string text;
    if (Status s = readText(file, text); !s) {
        return s;
    }
    return parsePlan(text, file, plan);
}

} // namespace

Status Registry::importKey(const std::string& targetKeyPath, const std::filesystem::path& file) {
    std::string targetBelowRoot = targetKeyPath;
    const RegRoot root = parseKeyPath(targetBelowRoot);
    if (root == RegRoot::None) {
        return Status::failure("\"" + targetKeyPath + "\" is not a registry key. Nothing was changed.");
    }
    if (targetBelowRoot.empty()) {
        return Status::failure("A whole root key (\"" + targetKeyPath +
                               "\") is never replaced by an import.");
    }
    ImportPlan plan;
    if (Status s = loadPlan(file, plan); !s) {
        return s;
    }

    // Find out whether the store takes writes before deleting anything. Creating the target (it is
    // created anyway) is a write; rewriting one of its values with its own data is one as well for
    // a store that treats opening an existing key as a read. A store that refuses (a Wine prefix
    // whose server runs) refuses all writes, so after this the tree is removed whole or not at all
    // unless the server starts in the middle.
    {
        KeyHandle top(store_);
        RegResult rc = store_.createKey(root, targetBelowRoot, top.out());
        if (rc == kRegSuccess) {
            RegValue first;
            if (store_.enumValue(top.get(), 0, first) == kRegSuccess) {
                rc = store_.setValue(top.get(), first.name, first.type, first.data);
            }
        }
        if (rc == kRegAccessDenied) {
            return Status::failure(kInUse);
        }
        if (rc != kRegSuccess) {
            return Status::failure("Cannot open the registry key \"" + targetKeyPath +
                                   "\" for writing (error " + std::to_string(rc) + "). Nothing was changed.");
        }
    }

    if (plan.replacesTarget) {
        if (RegResult rc = deleteTreeUnflushed(targetKeyPath); rc != kRegSuccess) {
            flush();
            return Status::failure(rc == kRegAccessDenied
                                       ? inUsePartway(targetKeyPath)
                                       : "Cannot remove the old contents of \"" + targetKeyPath +
                                             "\" (error " + std::to_string(rc) + ").");
        }
    }

    // Keys or values the store will not take (other than a refusal) do not stop the import, but
    // they are reported instead of being lost without a word.
    std::size_t failures = 0;
    std::string firstFailure;
    auto noteFailure = [&](const std::string& what, RegResult rc) {
        if (failures++ == 0) {
            firstFailure = what + " (error " + std::to_string(rc) + ")";
        }
    };
    for (const PlannedKey& planned : plan.keys) {
        KeyHandle key(store_);
        RegResult rc = store_.createKey(root, targetBelowRoot + planned.relative, key.out());
        if (rc == kRegAccessDenied) {
            flush();
            return Status::failure(inUsePartway(targetKeyPath));
        }
        if (rc != kRegSuccess) {
            noteFailure("key \"" + targetKeyPath + planned.relative + "\"", rc);
            continue;
        }
        for (const RegValue& value : planned.values) {
            rc = store_.setValue(key.get(), value.name, value.type, value.data);
            if (rc == kRegAccessDenied) {
                flush();
                return Status::failure(inUsePartway(targetKeyPath));
            }
            if (rc != kRegSuccess) {
                noteFailure("value \"" + value.name + "\" of \"" + targetKeyPath + planned.relative + "\"",
                            rc);
            }
        }
    }

    if (RegResult rc = flush(); rc != kRegSuccess) {
        const std::string why = store_.lastError();
        return Status::failure(rc == kRegAccessDenied
                                   ? inUsePartway(targetKeyPath)
                                   : "The registry could not save \"" + targetKeyPath + "\" (" +
                                         (why.empty() ? "error " + std::to_string(rc) : why) + ").");
    }
    if (failures) {
        return Status::failure(std::to_string(failures) + " registry entries of \"" + targetKeyPath +
                               "\" could not be written; the first: " + firstFailure + ".");
    }
    return Status::success();
}

Status Registry::importMissingBranches(const std::string& targetKeyPath, const std::filesystem::path& file,
                                       const std::function<bool(const RegValue&)>& leaveOut) {
    std::string targetBelowRoot = targetKeyPath;
    const RegRoot root = parseKeyPath(targetBelowRoot);
    if (root == RegRoot::None || targetBelowRoot.empty()) {
        return Status::failure("\"" + targetKeyPath +
                               "\" is not a registry key below a root. Nothing was changed.");
    }
    ImportPlan plan;
    if (Status s = loadPlan(file, plan); !s) {
        return s;
    }
    auto branchOf = [](const std::string& relative) {
        const std::size_t end = relative.find('\\', 1);
        return lowerAscii(relative.substr(1, end == std::string::npos ? std::string::npos : end - 1));
    };
    // A branch is taken whole or not at all: the target's own branches stay exactly as they are.
    std::set<std::string> skipped;
    for (const PlannedKey& planned : plan.keys) {
        if (planned.relative.empty()) {
            continue;
        }
        const std::string branch = branchOf(planned.relative);
        if (skipped.count(branch)) {
            continue;
        }
        if (planned.relative.find('\\', 1) == std::string::npos &&
            keyExists(targetKeyPath + planned.relative)) {
            skipped.insert(branch);
            continue;
        }
        for (const RegValue& value : planned.values) {
            if (leaveOut && leaveOut(value)) {
                skipped.insert(branch);
                break;
            }
        }
    }
    for (const PlannedKey& planned : plan.keys) {
        if (planned.relative.empty() || skipped.count(branchOf(planned.relative))) {
            continue;
        }
        KeyHandle key(store_);
        RegResult rc = store_.createKey(root, targetBelowRoot + planned.relative, key.out());
        for (std::size_t i = 0; rc == kRegSuccess && i < planned.values.size(); ++i) {
            rc = store_.setValue(key.get(), planned.values[i].name, planned.values[i].type,
                                 planned.values[i].data);
        }
        if (rc != kRegSuccess) {
            return Status::failure(rc == kRegAccessDenied
                                       ? kInUse
                                       : "Cannot write \"" + targetKeyPath + planned.relative + "\" (error " +
                                             std::to_string(rc) + ").");
        }
    }
    if (RegResult rc = flush(); rc != kRegSuccess) {
        return Status::failure(rc == kRegAccessDenied ? inUsePartway(targetKeyPath)
                                                      : "The registry could not save \"" + targetKeyPath +
                                                            "\" (error " + std::to_string(rc) + ").");
    }
    return Status::success();
}

} // namespace qob
