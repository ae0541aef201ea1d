// A stand-in for System32's schtasks.exe in a throw-away Wine prefix, where Wine's own tool has no
// /query, /end or /sc. It keeps one task per name in a file beside itself and answers the commands
// the program gives, in the tool's words and exit codes: /create /sc WEEKLY /d /st /tn /tr,
// /delete /f /tn, /end /tn, /query /tn /xml and /query /fo CSV /nh. /run /tn starts the task's
// action the way the task scheduler does (CreateProcessW of the /tr text) and, unlike the real
// tool, waits for it and ends with its exit code, so a test can check what the weekly run did.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring wide(const std::string& text) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

struct Task {
    std::string days, start, action;
};

// The store: "days\nstart\naction\n" in "<exe>.task" — one task is all the program ever makes.
std::wstring storePath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::wstring(self) + L".task";
}

bool load(Task& task) {
    std::ifstream in(storePath().c_str(), std::ios::binary);
    return static_cast<bool>(std::getline(in, task.days) && std::getline(in, task.start) &&
                             std::getline(in, task.action));
}

int fail(const char* words, int code = 1) {
    std::fprintf(stderr, "ERROR: %s\r\n", words);
    return code;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    }
    return out;
}

// The task as Windows prints it: the action split into its program (quoted) and the rest.
std::string taskXml(const Task& task) {
    static const std::map<std::string, std::string> names = {
        {"Mon", "Monday"}, {"Tue", "Tuesday"},  {"Wed", "Wednesday"}, {"Thu", "Thursday"},
        {"Fri", "Friday"}, {"Sat", "Saturday"}, {"Sun", "Sunday"}};
    std::string days;
    std::stringstream list(task.days == "*" ? "Mon,Tue,Wed,Thu,Fri,Sat,Sun" : task.days);
    for (std::string day; std::getline(list, day, ',');) {
        days += "          <" + names.at(day) + " />\r\n";
    }
    std::string command = task.action, arguments;
    if (!command.empty() && command[0] == '"') {
        const std::size_t close = command.find('"', 1);
        arguments = command.substr(close + 1);
        command = command.substr(0, close + 1);
    }
    if (!arguments.empty() && arguments[0] == ' ') {
        arguments.erase(0, 1);
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Task version=\"1.2\">\r\n  <Triggers>\r\n"
           "    <CalendarTrigger>\r\n      <StartBoundary>2026-12-07T" +
           task.start + "</StartBoundary>\r\n      <ScheduleByWeek>\r\n        <DaysOfWeek>\r\n" + days +
           "        </DaysOfWeek>\r\n      </ScheduleByWeek>\r\n    </CalendarTrigger>\r\n  </Triggers>\r\n"
           "  <Actions>\r\n    <Exec>\r\n      <Command>" +
           escaped(command) + "</Command>\r\n      <Arguments>" + escaped(arguments) +
           "</Arguments>\r\n    </Exec>\r\n  </Actions>\r\n</Task>\r\n";
}

int runAction(const Task& task) {
    std::wstring line = wide(task.action);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return fail("The task's program could not be started.");
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::map<std::string, std::string> options;
    for (int i = 1; i < argc; ++i) {
        std::string name = utf8(argv[i]);
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        const bool takesValue =
            name == "/sc" || name == "/d" || name == "/st" || name == "/tn" || name == "/tr" || name == "/fo";
        options[name] = takesValue && i + 1 < argc ? utf8(argv[++i]) : "";
    }
    Task task;
    const bool exists = load(task);
    const bool named = options.count("/tn") && options["/tn"] == "Quire Outlook AutoBackup";
    if (options.count("/create")) {
        if (exists) {
            return fail("Cannot create a file when that file already exists.");
        }
        if (!named || options["/sc"] != "WEEKLY" || options["/st"].size() != 8 || options["/tr"].empty()) {
            return fail("Invalid syntax.");
        }
        std::ofstream(storePath().c_str(), std::ios::binary) << options["/d"] << "\n"
                                                             << options["/st"] << "\n"
                                                             << options["/tr"] << "\n";
        std::printf(
            "SUCCESS: The scheduled task \"Quire Outlook AutoBackup\" has successfully been created.\r\n");
        return 0;
    }
    if (options.count("/query") && options.count("/fo")) {
        if (exists) {
            std::printf("\"\\Quire Outlook AutoBackup\",\"N/A\",\"Ready\"\r\n");
        }
        return 0;
    }
    if (!named || !exists) {
        return fail("The system cannot find the file specified.");
    }
    if (options.count("/delete")) {
        DeleteFileW(storePath().c_str());
        std::printf("SUCCESS: The scheduled task \"Quire Outlook AutoBackup\" was successfully deleted.\r\n");
        return 0;
    }
    if (options.count("/end")) {
        return fail("The task is not running.");
    }
    if (options.count("/query")) {
        std::fputs(taskXml(task).c_str(), stdout);
        return 0;
    }
    if (options.count("/run")) {
        return runAction(task);
    }
    return fail("Invalid syntax.");
}
