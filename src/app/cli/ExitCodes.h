#pragma once
// qob's exit codes, in one place: the commands return them, `qob --help` prints the table, and
// scripts (and the manual page) rely on it.
#include <string>

namespace qob::cli {

inline constexpr int kExitWhole = 0;     // the command did all it was asked
inline constexpr int kExitFailed = 1;    // failed, or did part of it (an item or file not stored)
inline constexpr int kExitUsage = 2;     // the command line is wrong; nothing was done
inline constexpr int kExitStopped = 130; // stopped by Ctrl-C (128 + SIGINT); nothing is half done

// The table as `qob --help` shows it below the commands.
inline std::string exitCodeTable() {
    return "Exit codes:\n"
           "  0    done whole (a backup or restore with every chosen item in it)\n"
#ifdef _WIN32
           "  1    failed or partly failed: an item or a data file not stored, a file unreadable, no\n"
           "       Outlook mail profile, a drive or disc refused\n"
           "  2    usage: unknown command or option, missing or bad argument; nothing was done\n"
           "  130  stopped by Ctrl-C; the earlier backup or the target system is as it was\n";
#else
           "  1    failed or partly failed: an item or a data file not stored, a file unreadable, no\n"
           "       Wine prefix or no Outlook mail profile, a drive or disc refused\n"
           "  2    usage: unknown command or option, missing or bad argument, unknown prefix name;\n"
           "       nothing was done\n"
           "  130  stopped by Ctrl-C (143: by SIGTERM); the earlier backup or the prefix is as it was\n";
#endif
}

} // namespace qob::cli
