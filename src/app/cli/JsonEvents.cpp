#include "app/cli/JsonEvents.h"

#include "app/cli/TerminalText.h"

#include <cstdio>
#include <ostream>

namespace qob::cli {

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    out.reserve(text.size() + 2);
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = utf8SequenceLength(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

void JsonEvents::emit(const std::string& object) {
    // Flushed at once: a script reading the pipe follows the run as it goes.
    out_ << object << "\n" << std::flush;
}

void JsonEvents::phaseStarted(JobPhase phase) {
    emit(std::string("{\"event\":\"phase\",\"phase\":") + jsonString(phaseName(phase)) + "}");
}

void JsonEvents::progress(const JobProgress& progress) {
    emit(std::string("{\"event\":\"progress\",\"phase\":") + jsonString(phaseName(progress.phase)) +
         ",\"done\":" + std::to_string(progress.done) + ",\"total\":" + std::to_string(progress.total) +
         ",\"file\":" + jsonString(progress.file) + "}");
}

void JsonEvents::status(const std::string& text) {
    emit("{\"event\":\"status\",\"text\":" + jsonString(text) + "}");
}

void JsonEvents::logLine(const std::string& line) {
    emit("{\"event\":\"log\",\"line\":" + jsonString(line) + "}");
}

std::string formatSummary(const JsonSummary& summary) {
    std::string out = "{\"event\":\"summary\",\"command\":" + jsonString(summary.command) +
                      ",\"result\":" + jsonString(summary.result) + ",\"file\":" + jsonString(summary.file) +
                      ",\"exit\":" + std::to_string(summary.exitCode) +
                      ",\"message\":" + jsonString(summary.message) + ",\"items\":[";
    for (std::size_t i = 0; i < summary.items.size(); ++i) {
        const JsonSummaryItem& item = summary.items[i];
        out += (i ? "," : "");
        const std::string result = !item.result.empty() ? item.result : item.ok ? "succeeded" : "failed";
        out += "{\"name\":" + jsonString(item.name) + ",\"result\":" + jsonString(result) +
               ",\"ok\":" + (item.ok ? "true" : "false") + ",\"reason\":" + jsonString(item.reason) + "}";
    }
    out += "],\"problems\":[";
    for (std::size_t i = 0; i < summary.problems.size(); ++i) {
        out += (i ? "," : "") + jsonString(summary.problems[i]);
    }
    out += "]}";
    return out;
}

} // namespace qob::cli
