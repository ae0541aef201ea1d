#include "app/cli/CommandOutput.h"

#include "app/cli/Interrupt.h"
#include "app/cli/JsonEvents.h"
#include "app/cli/ProgressLine.h"

#include <ostream>
#include <sstream>
#include <streambuf>

namespace qob::cli {
namespace {

// Passes everything on to `target`, ending the progress line first: a message printed while the
// line is shown would otherwise be glued to its end and overwritten by the next redraw. Unbuffered,
// so that every write comes through here.
class AfterProgressLine : public std::streambuf {
public:
    AfterProgressLine(std::ostream& target, ProgressLine& line) : target_(target), line_(line) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        line_.endLine();
        target_.put(traits_type::to_char_type(c));
        return target_ ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        line_.endLine();
        target_.write(text, count);
        return target_ ? count : 0;
    }
    int sync() override {
        target_.flush();
        return target_ ? 0 : -1;
    }

private:
    std::ostream& target_;
    ProgressLine& line_;
};

class DiscardBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize count) override { return count; }
};

} // namespace

OutputMode outputMode(const Args& args) {
    if (args.has("--json")) {
        return OutputMode::Json;
    }
    return args.has("--quiet") ? OutputMode::Quiet : OutputMode::Progress;
}

std::unique_ptr<JobObserver> makeObserver(OutputMode mode, const Args& args, std::ostream& out,
                                          std::ostream& err) {
    switch (mode) {
    case OutputMode::Json:
        return std::make_unique<JsonEvents>(out);
    case OutputMode::Quiet:
        return std::make_unique<JobObserver>();
    case OutputMode::Progress:
        break;
    }
    // On stderr: stdout may be piped into a file or a script while a person watches the terminal.
    return std::make_unique<ProgressLine>(err, args.console.errFd, args.console.clock);
}

int runJobCommand(const std::string& name, const Args& args, std::ostream& out, std::ostream& err,
                  const JobCommand& command) {
    StopToken stop;
    InterruptScope interrupt(stop);
    // A signal that came after the job had already finished whole changes nothing: the command's
    // own success stands.
    const auto stopped = [&](int code) {
        return interrupt.signal() != 0 && code != 0 ? interrupt.exitCode() : code;
    };
    switch (outputMode(args)) {
    case OutputMode::Progress: {
        ProgressLine line(err, args.console.errFd, args.console.clock);
        AfterProgressLine outBuffer(out, line), errBuffer(err, line);
        std::ostream lineOut(&outBuffer), lineErr(&errBuffer);
        const int code = command(args, lineOut, lineErr, line, stop);
        line.endLine();
        return stopped(code);
    }
    case OutputMode::Quiet: {
        JobObserver silent;
        DiscardBuffer discard;
        std::ostream none(&discard);
        return stopped(command(args, none, err, silent, stop));
    }
    case OutputMode::Json:
        break;
    }
    JsonEvents events(out);
    std::ostringstream words;
    CommandReport report;
    Args reporting = args;
    reporting.report = &report;
    const int code = stopped(command(reporting, words, err, events, stop));
    JsonSummary summary;
    summary.command = name;
    if (code != 0 && interrupt.signal() != 0) {
        summary.result = "cancelled";
    } else if (!report.result.empty()) {
        summary.result = report.result;
    } else {
        summary.result = code == 0 ? "completed" : "failed";
    }
    summary.file = args.positional.empty() ? "" : args.positional[0];
    summary.message = report.message.empty() ? words.str() : report.message;
    summary.items = std::move(report.items);
    summary.problems = std::move(report.problems);
    summary.exitCode = code;
    out << formatSummary(summary) << "\n" << std::flush;
    return code;
}

} // namespace qob::cli
