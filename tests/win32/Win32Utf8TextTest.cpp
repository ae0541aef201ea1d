// Narrow text is UTF-8 on Windows too: a std::string that becomes a path, an environment variable,
// and back. libstdc++ alone widens a narrow string byte by byte, which wrote "Почта 2026.qob" as
// "Ð\x9fÐ¾…" and could not find it again.
#include "TestPaths.h"
#include "platform/Environment.h"
#include "platform/win32/WideText.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>

namespace qob::test {
namespace {

TEST(Win32Utf8Text, NarrowStringsBecomePathsAsUtf8AndFilesAreFoundByThem) {
    TempDir dir;
    struct Case {
        std::string narrow; // as the program holds it
        std::wstring wide;  // the name Windows must see; empty: the text read in the ANSI code page
    };
    const auto ansi = [](const std::string& text) {
        std::wstring out(text.size(), L'\0');
        out.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_ACP, 0, text.data(),
                                                                static_cast<int>(text.size()), out.data(),
                                                                static_cast<int>(out.size()))));
        return out;
    };
    const Case cases[] = {
        {"Outlook.qob", L"Outlook.qob"},
        {"Почта 2026.qob", L"\u041f\u043e\u0447\u0442\u0430 2026.qob"},
        {"メール.pst", L"\u30e1\u30fc\u30eb.pst"},
        {"Archiv Übersicht.pst", L"Archiv \u00dcbersicht.pst"},
        // Outside the Basic Multilingual Plane: a surrogate pair in UTF-16.
        {"\xF0\x9F\x93\xA7 mail.qob", L"\U0001F4E7 mail.qob"},
        // Not UTF-8 (a setting written in the ANSI code page): read in that code page rather than
        // refused. An overlong form is not UTF-8 either.
        {"Archiv \xDC"
         "bersicht.pst",
         L""},
        {"x\xC0\xAF.qob", L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.narrow);
        const std::filesystem::path name(c.narrow);
        const std::wstring wide = c.wide.empty() ? ansi(c.narrow) : c.wide;
        EXPECT_EQ(name.wstring(), wide);
        if (!c.wide.empty()) {
            EXPECT_EQ(name.string(), c.narrow);
        }
        // Made by the narrow name joined to a folder, found by the wide one and the other way round.
        const std::filesystem::path file = dir / c.narrow;
        std::ofstream(file, std::ios::binary) << "data";
        const std::wstring wideFile = dir.path().wstring() + L"\\" + wide;
        EXPECT_NE(GetFileAttributesW(wideFile.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(
            std::filesystem::exists(std::filesystem::absolute(dir.path().string() + "\\" + c.narrow)));
        std::filesystem::remove(file);
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(Win32Utf8Text, EnvironmentVariablesAreReadInUtf8) {
    const struct {
        const wchar_t* value;
        std::optional<std::string> expected;
    } cases[] = {
        {L"C:\\\u041f\u043e\u0447\u0442\u0430", "C:\\Почта"},
        {L"\u30e1\u30fc\u30eb", "メール"},
        {L"plain", "plain"},
        {L"", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        SetEnvironmentVariableW(L"QOB_TEST_UTF8", c.value);
        EXPECT_EQ(environment("QOB_TEST_UTF8"), c.expected);
    }
    // Longer than the first buffer the reader tries.
    const std::wstring longValue(1000, L'\u0436');
    SetEnvironmentVariableW(L"QOB_TEST_UTF8", longValue.c_str());
    EXPECT_EQ(environment("QOB_TEST_UTF8"), win32::narrow(longValue));
    SetEnvironmentVariableW(L"QOB_TEST_UTF8", nullptr);
}

} // namespace
} // namespace qob::test
