#include "app/cli/Cli.h"

#include "outlook/AppState.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <sstream>

namespace qob::cli {

std::string Args::get(const std::string& name, const std::string& fallback) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : it->second;
}

Args parseArgs(const std::vector<std::string>& argv, const std::vector<std::string>& valueOptions) {
    Args args;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a.size() > 2 && a.rfind("--", 0) == 0) {
            auto eq = a.find('=');
            if (eq != std::string::npos) {
                args.options[a.substr(0, eq)] = a.substr(eq + 1);
            } else if (std::find(valueOptions.begin(), valueOptions.end(), a) != valueOptions.end() &&
                       i + 1 < argv.size()) {
                args.options[a] = argv[++i];
            } else {
                args.options[a] = "";
            }
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

MsgAnswer StderrDialogs::message(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::string& title) {
    (void)title;
    err_ << text << "\n";
    return SilentDialogs::message(text, icon, buttons, title);
}

bool checkItemBoxes(const std::string& items, std::ostream& err) {
    if (items.size() == kItemBoxCount && items.find_first_not_of("01") == std::string::npos) {
        return true;
    }
    err << "qob: --items takes nine characters 0 or 1 (personal folders, accounts, signatures, "
           "stationery, address book, options, templates, preferences, contacts)\n";
    return false;
}

std::string forTerminal(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != '\r') {
            out += c == '\t' ? ' ' : c;
        }
    }
    return out;
}

std::optional<std::string> readPassword(const Args& args, std::string& error) {
    if (args.has("--password-file")) {
        std::ifstream in(args.get("--password-file"), std::ios::binary);
        if (!in) {
            error = "cannot read the password file " + args.get("--password-file");
            return std::nullopt;
        }
        std::string line;
        std::getline(in, line);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }
    if (const char* env = std::getenv("QOB_PASSWORD")) {
        return std::string(env);
    }
    return std::nullopt;
}

std::vector<Command>& commandTable() {
    static std::vector<Command> table;
    return table;
}

namespace {

void printHelp(std::ostream& out) {
    out << "usage: qob [--prefix DIR] [--quiet | --json] COMMAND ...\n"
           "The target system is the Wine prefix DIR (default $WINEPREFIX, else the one chosen with\n"
           "qob prefixes --choose, else ~/.wine).\n"
           "backup and restore show their progress on a terminal; --quiet prints no progress and no\n"
           "summary (errors still go to stderr), --json prints one JSON object per event and then the\n"
           "summary as one.\n"
           "Commands:\n";
    std::vector<const Command*> sorted;
    for (const auto& c : commandTable()) {
        sorted.push_back(&c);
    }
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->name < b->name; });
    for (const auto* c : sorted) {
        out << "  qob " << c->usage << "\n";
    }
}

} // namespace

int runCli(const std::vector<std::string>& rawArgv, std::ostream& out, std::ostream& err,
           const Console& console) {
    // --prefix may stand anywhere, before the command words too.
    std::vector<std::string> argv;
    std::optional<std::string> prefix;
    for (std::size_t i = 0; i < rawArgv.size(); ++i) {
        if (rawArgv[i] == "--prefix" && i + 1 < rawArgv.size()) {
            prefix = rawArgv[++i];
        } else if (rawArgv[i].rfind("--prefix=", 0) == 0) {
            prefix = rawArgv[i].substr(9);
        } else {
            argv.push_back(rawArgv[i]);
        }
    }
    // Output flags before the command words hold for the command as if given after them.
    std::vector<std::string> globalFlags;
    while (!argv.empty() && (argv[0] == "--quiet" || argv[0] == "--json")) {
        globalFlags.push_back(argv[0]);
        argv.erase(argv.begin());
    }
    if (argv.empty() || argv[0] == "--help" || argv[0] == "-h" || argv[0] == "help") {
        printHelp(argv.empty() ? err : out);
        return argv.empty() ? 2 : 0;
    }
    // Longest command name that matches the leading words ("reg export" before "reg").
    const Command* best = nullptr;
    std::size_t bestWords = 0;
    for (const auto& c : commandTable()) {
        std::istringstream words(c.name);
        std::string w;
        std::size_t n = 0;
        bool match = true;
        while (words >> w) {
            if (n >= argv.size() || argv[n] != w) {
                match = false;
                break;
            }
            ++n;
        }
        if (match && n > bestWords) {
            best = &c;
            bestWords = n;
        }
    }
    if (!best) {
        err << "qob: unknown command '" << argv[0] << "' (qob --help lists the commands)\n";
        return 2;
    }
    std::vector<std::string> rest(argv.begin() + static_cast<long>(bestWords), argv.end());
    Args args = parseArgs(rest, best->valueOptions);
    if (prefix) {
        args.options["--prefix"] = *prefix;
    }
    for (const std::string& flag : globalFlags) {
        args.options[flag] = "";
    }
    args.console = console;
    if (args.has("--help")) {
        out << "usage: qob " << best->usage << "\n";
        return 0;
    }
    return best->run(args, out, err);
}

} // namespace qob::cli
