#include "app/cli/Cli.h"

#include "app/cli/ExitCodes.h"
#include "app/cli/ItemNames.h"
#include "app/cli/PrefixByName.h"
#include "platform/Environment.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
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

std::optional<std::string> itemBoxes(const std::string& items, std::ostream& err) {
    std::string error;
    std::optional<std::string> flags = itemFlags(items, error);
    if (!flags) {
        err << "qob: " << error << "\n";
    }
    return flags;
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

std::optional<std::string> readPassword(const Args& args, std::string& error, PasswordUse use) {
    if (args.has("--password")) {
        if (args.has("--password-file")) {
            error = "give --password or --password-file F, not both";
            return std::nullopt;
        }
        return askPassword(args.console, use, error);
    }
    if (args.has("--password-file")) {
        // Through a path: a file name outside the ANSI code page opens on Windows too.
        std::ifstream in(std::filesystem::path(args.get("--password-file")), std::ios::binary);
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
#ifdef _WIN32
    // In UTF-8, as a password typed or read from a file is: getenv answers in the ANSI code page.
    if (std::optional<std::string> env = environment("QOB_PASSWORD")) {
        return env;
    }
#else
    if (const char* env = std::getenv("QOB_PASSWORD")) {
        return std::string(env);
    }
#endif
    return std::nullopt;
}

std::vector<Command>& commandTable() {
    static std::vector<Command> table;
    return table;
}

namespace {

#ifndef QOB_PRODUCT_VERSION
#define QOB_PRODUCT_VERSION "0"
#endif

struct OptionText {
    const char* name;
    const char* value; // "" for a flag
    const char* help;
};

// What each option means, the same for every command that takes it.
constexpr OptionText kOptionTexts[] = {
    {"--profile", "P", "the mail profile (qob profiles lists them)"},
    {"--items", "ITEMS",
     "the items: names separated by commas (data, accounts, signatures, stationery, pab, options, "
     "templates, preferences, contacts) or all, or nine flags 0/1 one per item (110000000)"},
    {"--description", "TEXT", "the backup's description"},
    {"--password", "",
     "ask for the password at the terminal, without echo (twice for a new backup; at most 20 "
     "characters, as the window's prompt takes)"},
    {"--password-file", "F",
     "the password is the first line of F (else --password or $QOB_PASSWORD; never an argument, "
     "which every user of the machine can see)"},
    {"--verbose", "", "also the data files each profile uses, and whether they are there"},
    {"--choose", "DIR|NAME",
     "remember the prefix as the target system (of the program, and of qob without --prefix "
     "or $WINEPREFIX): its folder, or its name as qob prefixes shows it"},
    {"--forget", "", "forget the remembered target system"},
    {"--abandon", "",
     "undo a restore that was interrupted and cannot be completed: the target system goes back to "
     "how it was before it"},
    {"--drive", "ADDR", "the drive, as qob disc drives shows it"},
    {"--volume-id", "NAME", "the disc's name"},
    {"--verify", "", "read the disc back and compare it with the files"},
    {"--test", "", "simulate: the laser stays off"},
    {"--finalize", "", "close the disc: nothing can be added to it later"},
    {"--dao", "", "write disc-at-once (default: track-at-once)"},
    {"--full", "", "erase the whole disc, not only its table of contents (slow)"},
    {"--days", "DAYS", "the days of the week: Mon,Tue,Wed,Thu,Fri,Sat,Sun"},
    {"--time", "H:MM", "the time of day it starts"},
};

const OptionText* optionText(const std::string& name) {
    for (const OptionText& text : kOptionTexts) {
        if (name == text.name) {
            return &text;
        }
    }
    return nullptr;
}

#ifdef _WIN32
constexpr const char* kIntro =
    "qob: backs up and restores Outlook's mail profiles of this Windows user, the target system.\n"
    "The target system is always the running Windows (--prefix and qob prefixes are for Wine\n"
    "prefixes, on Linux).\n"
#else
constexpr const char* kIntro =
    "qob: backs up and restores Outlook's mail profiles on a Wine prefix, the target system.\n"
    "The target system is the prefix --prefix names (its folder, or its name as qob prefixes shows\n"
    "it), else $WINEPREFIX, else the one chosen with qob prefixes --choose, else ~/.wine.\n"
#endif
    "backup and restore show their progress on a terminal; --quiet prints no progress and no\n"
    "summary (errors still go to stderr), --json prints one JSON object per event and then the\n"
    "summary as one. qob COMMAND --help tells more about a command.";

#ifdef _WIN32
constexpr const char* kPrefixOptionText =
    "a Wine prefix, on Linux only: on Windows the target system is this Windows";
#else
constexpr const char* kPrefixOptionText =
    "the Wine prefix to work on: its folder, or its name as qob prefixes shows it";
#endif

constexpr const char* kCommandExitCodes =
    "Exit codes: 0 done whole, 1 failed or partly failed, 2 wrong command line, 130 stopped by "
    "Ctrl-C (qob --help tells more).";

// A command's usage: its synopsis, then after a run of spaces what it does.
std::pair<std::string, std::string> splitUsage(const std::string& usage) {
    const std::size_t gap = usage.find("   ");
    if (gap == std::string::npos) {
        return {usage, ""};
    }
    const std::size_t what = usage.find_first_not_of(' ', gap);
    return {usage.substr(0, gap), what == std::string::npos ? "" : usage.substr(what)};
}

// The commands whose name begins with `group` ("" for all), each as "qob SYNOPSIS" and below it
// what it does.
std::string commandList(const std::string& group) {
    std::vector<const Command*> sorted;
    for (const auto& c : commandTable()) {
        if (c.name.rfind(group, 0) == 0) {
            sorted.push_back(&c);
        }
    }
    std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->name < b->name; });
    std::string list = "Commands:\n";
    for (const auto* c : sorted) {
        const auto [synopsis, what] = splitUsage(c->usage);
        list += "  qob " + synopsis + "\n" + (what.empty() ? "" : "      " + what + "\n");
    }
    return list;
}

// An option of the parsed command line and the name the command looks it up by.
struct Bound {
    CLI::Option* option;
    std::string name;
    bool flag;
};

// The command line as CLI11 sees it: one subcommand per command word, the commands' options bound
// so that their values can be handed to the command as Args.
class Parser {
public:
    Parser() : app_(kIntro, "qob") {
        app_.set_help_flag("-h,--help", "print this help and exit");
        app_.set_version_flag("--version", std::string("qob (Quire Outlook Backup) ") + QOB_PRODUCT_VERSION,
                              "print the version and exit");
        app_.footer(commandList("") + "\n" + exitCodeTable());
        app_.get_formatter()->label("SUBCOMMAND", "COMMAND");
        app_.require_subcommand(1);
        // Global options: the target system and the output mode.
        global_.push_back({app_.add_option("--prefix")
                               ->description(kPrefixOptionText)
                               ->type_name("DIR|NAME")
                               ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast),
                           "--prefix", false});
        global_.push_back(
            {app_.add_flag("--quiet")->description("no progress and no summary; errors still go to stderr"),
             "--quiet", true});
        global_.push_back({app_.add_flag("--json")->description(
                               "one JSON object per event on stdout, then the summary as one"),
                           "--json", true});
        for (const Command& command : commandTable()) {
            addCommand(command);
        }
    }

    CLI::App& app() { return app_; }

    // The command chosen by the parsed command line, or nullptr.
    const Command* chosen(CLI::App*& leaf) {
        leaf = &app_;
        while (!leaf->get_subcommands().empty()) {
            leaf = leaf->get_subcommands().front();
        }
        auto it = commands_.find(leaf);
        return it == commands_.end() ? nullptr : it->second.command;
    }

    Args args(CLI::App* leaf) const {
        Args args;
        auto put = [&args](const Bound& bound) {
            if (bound.option->count() == 0) {
                return;
            }
            args.options[bound.name] = bound.flag ? "" : bound.option->results().back();
        };
        for (const Bound& bound : global_) {
            put(bound);
        }
        const Entry& entry = commands_.at(leaf);
        for (const Bound& bound : entry.options) {
            put(bound);
        }
        for (CLI::Option* operand : entry.operands) {
            for (const std::string& value : operand->results()) {
                args.positional.push_back(value);
            }
        }
        return args;
    }

private:
    struct Entry {
        const Command* command;
        std::vector<Bound> options;
        std::vector<CLI::Option*> operands;
    };

    // "reg export": the group "reg" once, then "export" in it.
    CLI::App* subcommandFor(const std::string& name) {
        std::istringstream words(name);
        std::string word;
        CLI::App* parent = &app_;
        std::vector<std::string> all;
        while (words >> word) {
            all.push_back(word);
        }
        for (std::size_t i = 0; i < all.size(); ++i) {
            CLI::App* existing = nullptr;
            for (CLI::App* sub : parent->get_subcommands({})) {
                if (sub->get_name() == all[i]) {
                    existing = sub;
                }
            }
            if (!existing) {
                existing = parent->add_subcommand(all[i]);
                // Global options may follow the command words.
                existing->fallthrough();
                if (parent == &app_) {
                    // The top help lists every command with its synopsis in the footer.
                    existing->group("");
                }
                if (i + 1 < all.size()) {
                    existing->require_subcommand(1);
                    existing->description("qob " + all[i] + " COMMAND");
                    existing->footer(commandList(all[i] + " ") + "\n" + kCommandExitCodes);
                }
            }
            parent = existing;
        }
        return parent;
    }

    void addCommand(const Command& command) {
        CLI::App* sub = subcommandFor(command.name);
        const auto [synopsis, what] = splitUsage(command.usage);
        sub->description("qob " + synopsis + (what.empty() ? "" : "\n" + what));
        sub->footer(kCommandExitCodes);
        Entry entry{&command, {}, {}};
        auto required = [&command](const std::string& name) {
            return std::find(command.required.begin(), command.required.end(), name) !=
                   command.required.end();
        };
        for (const std::string& name : command.valueOptions) {
            const OptionText* text = optionText(name);
            CLI::Option* option = sub->add_option(name)
                                      ->description(text ? text->help : "")
                                      ->type_name(text ? text->value : "VALUE")
                                      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)
                                      ->required(required(name));
            entry.options.push_back({option, name, false});
        }
        for (const std::string& name : command.flags) {
            const OptionText* text = optionText(name);
            entry.options.push_back({sub->add_flag(name)->description(text ? text->help : ""), name, true});
        }
        for (std::string operand : command.arguments) {
            const bool optional = operand.front() == '[';
            if (optional) {
                operand = operand.substr(1, operand.size() - 2);
            }
            const bool many = operand.size() > 3 && operand.compare(operand.size() - 3, 3, "...") == 0;
            if (many) {
                operand.resize(operand.size() - 3);
            }
            CLI::Option* option = sub->add_option(operand)->required(!optional)->type_name("");
            if (many) {
                option->expected(CLI::detail::expected_max_vector_size);
            }
            entry.operands.push_back(option);
        }
        commands_[sub] = std::move(entry);
    }

    CLI::App app_;
    std::vector<Bound> global_;
    std::map<CLI::App*, Entry> commands_;
};

// The command words of the command line: the first word that is not an option or the value of
// --prefix, and for a group of commands ("reg", "disc", "schedule") the word after it.
std::string commandWords(const std::vector<std::string>& argv) {
    std::size_t i = 0;
    for (; i < argv.size(); ++i) {
        if (argv[i] == "--prefix") {
            ++i;
        } else if (argv[i] == "--") {
            ++i;
            break;
        } else if (argv[i].rfind("-", 0) != 0) {
            break;
        }
    }
    if (i >= argv.size()) {
        return "";
    }
    for (const Command& command : commandTable()) {
        if (command.name.rfind(argv[i] + " ", 0) == 0) {
            return i + 1 < argv.size() && argv[i + 1].rfind("-", 0) != 0 ? argv[i] + " " + argv[i + 1] : "";
        }
    }
    return argv[i];
}

bool isCommand(const std::string& words) {
    return std::any_of(commandTable().begin(), commandTable().end(),
                       [&words](const Command& command) { return command.name == words; });
}

} // namespace

int runCli(const std::vector<std::string>& given, std::ostream& out, std::ostream& err,
           const Console& console) {
    // "--profile=" gives an empty value, which CLI11 would take as no value at all and then read
    // the next argument as it.
    std::vector<std::string> argv;
    bool operands = false;
    for (const std::string& arg : given) {
        operands = operands || arg == "--";
        if (!operands && arg.size() > 3 && arg.rfind("--", 0) == 0 && arg.find('=') == arg.size() - 1) {
            argv.push_back(arg.substr(0, arg.size() - 1));
            argv.push_back("");
        } else {
            argv.push_back(arg);
        }
    }
    Parser parser;
    if (argv.empty()) {
        err << parser.app().help();
        return kExitUsage;
    }
    if (argv.size() == 1 && argv[0] == "help") {
        out << parser.app().help();
        return kExitWhole;
    }
    if (const std::string words = commandWords(argv); !words.empty() && !isCommand(words)) {
        err << "qob: unknown command '" << words << "' (qob --help lists the commands)\n";
        return kExitUsage;
    }
    try {
        std::vector<std::string> reversed(argv.rbegin(), argv.rend());
        parser.app().parse(reversed);
    } catch (const CLI::CallForHelp&) {
        // The help of the command whose words came before --help (CLI11 hands it down).
        out << parser.app().help();
        return kExitWhole;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        return kExitWhole;
    } catch (const CLI::ParseError& e) {
        CLI::App* leaf = nullptr;
        const Command* command = parser.chosen(leaf);
        err << "qob: " << e.what() << "\n"
            << (command ? "usage: qob " + splitUsage(command->usage).first + "\n(qob " + command->name +
                              " --help tells more)"
                        : std::string("(qob --help lists the commands)"))
            << "\n";
        return kExitUsage;
    }
    CLI::App* leaf = nullptr;
    const Command* command = parser.chosen(leaf);
    if (!command) {
        err << "qob: which command? (qob --help lists them)\n";
        return kExitUsage;
    }
    Args args = parser.args(leaf);
    if (args.has("--prefix")) {
        std::string error;
        std::optional<std::string> folder = prefixFolderFor(args.get("--prefix"), error);
        if (!folder) {
            err << "qob: " << error << "\n";
            return kExitUsage;
        }
        args.options["--prefix"] = *folder;
    }
    args.console = console;
    return command->run(args, out, err);
}

} // namespace qob::cli
