#include "platform/DesktopNotifier.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qob {
namespace {

// Programs that are "installed" answer with the given exit code and error text.
struct FakePrograms : ProcessRunner {
    std::map<std::string, std::pair<int, std::string>> installed;
    std::vector<std::vector<std::string>> calls;
    ProcessResult run(const std::vector<std::string>& argv, const std::string&,
                      const std::map<std::string, std::string>&) override {
        calls.push_back(argv);
        auto it = installed.find(argv[0]);
        if (it == installed.end()) {
            return {false, -1, "", "", argv[0] + ": No such file or directory"};
        }
        return {true, it->second.first, "", it->second.second, ""};
    }
};

bool holds(const std::vector<std::string>& argv, const std::string& word) {
    return std::find(argv.begin(), argv.end(), word) != argv.end();
}

TEST(FreedesktopNotifier, NotifySendElseGdbusWithTheTextShownAsWritten) {
    const std::string summary = "Automatic backup failed";
    const std::string body = "Tom's <file> & more";
    struct Case {
        std::map<std::string, std::pair<int, std::string>> installed;
        bool ok;
        std::vector<std::string> programs; // called, in order
        std::vector<std::string> lastArgs; // in the last call
        std::string message;               // part of the failure
    };
    const Case cases[] = {
        {{{"notify-send", {0, ""}}, {"gdbus", {0, ""}}},
         true,
         {"notify-send"},
         {"--urgency=critical", "--", summary, "Tom's &lt;file&gt; &amp; more"},
         ""},
        {{{"gdbus", {0, ""}}},
         true,
         {"notify-send", "gdbus"},
         {"'Automatic backup failed'", "'Tom\\'s &lt;file&gt; &amp; more'",
          "org.freedesktop.Notifications.Notify"},
         ""},
        {{{"notify-send", {1, "Cannot connect to the bus\n"}}},
         false,
         {"notify-send"},
         {},
         "Cannot connect to the bus"},
        {{}, false, {"notify-send", "gdbus"}, {}, "gdbus"},
    };
    for (const Case& c : cases) {
        FakePrograms programs;
        programs.installed = c.installed;
        FreedesktopNotifier notifier(programs);
        const Status status = notifier.notify(summary, body);
        EXPECT_EQ(status.ok, c.ok) << status.message;
        ASSERT_EQ(programs.calls.size(), c.programs.size());
        for (std::size_t i = 0; i < c.programs.size(); ++i) {
            EXPECT_EQ(programs.calls[i][0], c.programs[i]);
        }
        for (const std::string& arg : c.lastArgs) {
            EXPECT_TRUE(holds(programs.calls.back(), arg)) << arg;
        }
        EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
    }
}

} // namespace
} // namespace qob
