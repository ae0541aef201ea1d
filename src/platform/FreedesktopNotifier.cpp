#include "platform/DesktopNotifier.h"

#include <vector>

namespace qob {
namespace {

constexpr char kAppName[] = "Quire Outlook Backup";
constexpr char kIcon[] = "quire-outlook-backup";

// Notification servers read the body as a small markup language: the run's text (a file name
// with "&" or "<") must show as written.
std::string bodyMarkup(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A GVariant text string literal, so gdbus never reads the text as some other value.
std::string variantString(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

Status outcome(const ProcessResult& result, const char* program) {
    if (result.exitCode == 0) {
        return Status::success();
    }
    std::string why = result.err.empty() ? result.error : result.err;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) {
        why.pop_back();
    }
    return Status::failure(std::string(program) + " could not show the notification" +
                           (why.empty() ? "" : ": " + why));
}

} // namespace

Status FreedesktopNotifier::notify(const std::string& summary, const std::string& body) {
    const std::string markup = bodyMarkup(body);
    ProcessResult sent =
        runner_.run({"notify-send", std::string("--app-name=") + kAppName, std::string("--icon=") + kIcon,
                     "--urgency=critical", "--", summary, markup},
                    "");
    if (sent.started) {
        return outcome(sent, "notify-send");
    }
    // Urgency 2 is "critical": the notification stays until the user closes it.
    sent =
        runner_.run({"gdbus", "call", "--session", "--dest", "org.freedesktop.Notifications", "--object-path",
                     "/org/freedesktop/Notifications", "--method", "org.freedesktop.Notifications.Notify",
                     variantString(kAppName), "uint32 0", variantString(kIcon), variantString(summary),
                     variantString(markup), "@as []", "{'urgency': <byte 2>}", "int32 -1"},
                    "");
    if (!sent.started) {
        return Status::failure("Neither notify-send nor gdbus could be run: " + sent.error);
    }
    return outcome(sent, "gdbus");
}

} // namespace qob
