// ProcessRunner on Windows: CreateProcessW with pipes (what the scheduler needs of schtasks.exe).
// The class keeps the name the callers know it by; only the way it starts a program differs.
#include "platform/ProcessRunner.h"

#include "platform/win32/WideText.h"

#include <windows.h>

namespace qob {
namespace {

// One argument quoted as the C runtime's command-line parser reads it back.
std::wstring quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return arg;
    }
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

// The caller's environment with `changes` applied, as CreateProcessW takes it (sorted is not
// required for a Unicode block; NUL-separated, ending with two).
std::wstring environmentBlock(const std::map<std::string, std::string>& changes) {
    std::map<std::wstring, std::wstring> vars;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; p && *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        const std::size_t eq = entry.find(L'=', 1);
        if (eq != std::wstring::npos) {
            vars[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : changes) {
        vars[win32::widen(name)] = win32::widen(value);
    }
    std::wstring out;
    for (const auto& [name, value] : vars) {
        out += name + L"=" + value;
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

// Reads what the pipe holds now, without waiting for more.
void readAvailable(HANDLE from, std::string& into) {
    char buffer[4096];
    DWORD available = 0;
    while (PeekNamedPipe(from, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        if (!ReadFile(from, buffer, available < sizeof buffer ? available : sizeof buffer, &got, nullptr) ||
            got == 0) {
            return;
        }
        into.append(buffer, got);
    }
}

// Starts `application` (null: the first word of the command line, looked up as Windows does) with
// `commandLine`, feeds it `input` and waits for it. `environment`: the block for the child, or
// null for ours.
ProcessResult runProcess(const wchar_t* application, std::wstring commandLine, const std::string& name,
                         const std::string& input, wchar_t* environment) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr, errRead = nullptr,
           errWrite = nullptr;
    // The input pipe holds the whole input, so writing it never waits for the child.
    const DWORD inputRoom = static_cast<DWORD>(input.size() + 4096);
    if (!CreatePipe(&inRead, &inWrite, &inherit, inputRoom) ||
        !CreatePipe(&outRead, &outWrite, &inherit, 0) || !CreatePipe(&errRead, &errWrite, &inherit, 0)) {
        result.error = "no pipe for " + name;
        return result;
    }
    // Our ends stay with us.
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(application, commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment, nullptr,
                                        &startup, &process);
    const DWORD startError = GetLastError();
    CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (!started) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        CloseHandle(errRead);
        result.error = "cannot run " + name + " (error " + std::to_string(startError) + ")";
        return result;
    }
    result.started = true;
    DWORD written = 0;
    for (std::size_t at = 0; at < input.size();) {
        if (!WriteFile(inWrite, input.data() + at, static_cast<DWORD>(input.size() - at), &written,
                       nullptr)) {
            break;
        }
        at += written;
    }
    CloseHandle(inWrite);
    // Output is read while the child runs, so it never blocks on a full pipe, and only what it
    // holds: a process the child started may keep the pipes open long after the child has ended
    // (Wine's services, started by schtasks, do), and waiting for their end would never return.
    for (;;) {
        const DWORD waited = WaitForSingleObject(process.hProcess, 10);
        readAvailable(outRead, result.out);
        readAvailable(errRead, result.err);
        if (waited != WAIT_TIMEOUT) {
            break;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    result.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

} // namespace

ProcessResult PosixProcessRunner::run(const std::vector<std::string>& argv, const std::string& input,
                                      const std::map<std::string, std::string>& environment) {
    if (argv.empty()) {
        ProcessResult result;
        result.error = "no program to run";
        return result;
    }
    std::wstring commandLine;
    for (const std::string& arg : argv) {
        commandLine += (commandLine.empty() ? L"" : L" ") + quoted(win32::widen(arg));
    }
    std::wstring env = environmentBlock(environment);
    return runProcess(nullptr, commandLine, argv[0], input, env.data());
}

ProcessResult PosixProcessRunner::runCommandLine(const std::string& program, const std::string& commandLine,
                                                 const std::string& input) {
    const std::wstring application = win32::widen(program);
    return runProcess(application.c_str(), win32::widen(commandLine), program, input, nullptr);
}

} // namespace qob
