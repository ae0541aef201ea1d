#pragma once
// qob --json: one JSON object per line for every event of a job, then the run's summary as one
// object, so that a script reads the run without parsing the words meant for people.
#include "platform/Job.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace qob::cli {

// `text` as a JSON string, quotes included. Quotes, backslashes and control characters are
// escaped; a byte that is not part of well-formed UTF-8 becomes U+FFFD, so the line stays valid
// JSON whatever a file name or a backup's description holds.
std::string jsonString(const std::string& text);

class JsonEvents : public JobObserver {
public:
    explicit JsonEvents(std::ostream& out) : out_(out) {}

    // {"event":"phase","phase":"writing"}
    void phaseStarted(JobPhase phase) override;
    // {"event":"progress","phase":"writing","done":1048576,"total":5242880,"file":"Outlook.pst"}
    void progress(const JobProgress& progress) override;
    // {"event":"status","text":"Copying Signatures..."}
    void status(const std::string& text) override;
    // {"event":"log","line":"..."}
    void logLine(const std::string& line) override;

private:
    void emit(const std::string& object);

    std::ostream& out_;
};

struct JsonSummaryItem {
    std::string name; // "Backup Personal Folders" ...
    bool ok = false;
    std::string reason; // why it failed; "" when it did not
    std::string result; // "succeeded" or "failed"; "" says it by `ok`
};

// What a job command (backup, restore) hands --json's summary beyond the words it prints: every
// chosen item with its result and reason, the further problems, and the run's result.
struct CommandReport {
    std::string result;  // "completed", "incomplete", "failed", "cancelled"; "": by the exit code
    std::string message; // the summary text; "": the words printed on stdout
    std::vector<JsonSummaryItem> items;
    std::vector<std::string> problems;
};

struct JsonSummary {
    std::string command; // "backup", "restore"
    std::string result;  // "completed", "incomplete", "failed", "cancelled"
    std::string file;    // the backup file written or read
    std::string message; // the summary text a person would read
    std::vector<JsonSummaryItem> items;
    std::vector<std::string> problems; // further reasons, in words (files not stored ...)
    int exitCode = 0;
};

// {"event":"summary","command":...,"result":...,"file":...,"exit":0,"message":...,
//  "items":[{"name":...,"result":"succeeded","ok":true,"reason":""}],"problems":[...]} on one line,
// without its line end.
std::string formatSummary(const JsonSummary& summary);

} // namespace qob::cli
