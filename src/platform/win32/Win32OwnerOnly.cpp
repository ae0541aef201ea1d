// Owner-only files on Windows: one ACE for the user's SID, the DACL protected so that nothing the
// folder grants (Users, a shared program folder's Everyone) reaches the file.
#include "platform/OwnerOnly.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32OwnerOnly.h"

#include <windows.h>

#include <aclapi.h>

#include <vector>

namespace qob {

namespace {

std::string systemError(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string said = text ? win32::narrow(text) : "";
    LocalFree(text);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ')) {
        said.pop_back();
    }
    return said.empty() ? "error " + std::to_string(code) : said;
}

// The running user's SID, held in `buffer`.
PSID currentUser(std::vector<unsigned char>& buffer, DWORD& error) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        error = GetLastError();
        return nullptr;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.resize(size ? size : 1);
    const BOOL ok = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    error = ok ? 0 : GetLastError();
    CloseHandle(token);
    return ok ? reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid : nullptr;
}

} // namespace

namespace win32 {

DWORD ownerOnlyAcl(PACL& acl) {
    std::vector<unsigned char> buffer;
    DWORD error = 0;
    PSID user = currentUser(buffer, error);
    if (!user) {
        return error;
    }
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = FILE_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_USER;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(user);
    acl = nullptr;
    return SetEntriesInAclW(1, &access, nullptr, &acl);
}

} // namespace win32

Status makeOwnerOnly(const std::filesystem::path& file) {
    const std::string name = win32::narrow(file.wstring());
    PACL acl = nullptr;
    if (DWORD made = win32::ownerOnlyAcl(acl); made != ERROR_SUCCESS) {
        return Status::failure("Cannot make " + name + " readable by you alone: " + systemError(made));
    }
    // Protected: nothing the folder grants (Users, Everyone on a shared folder) is inherited.
    std::wstring path = win32::longPath(file.c_str());
    const DWORD set = SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                            nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    if (set != ERROR_SUCCESS) {
        return Status::failure("Cannot make " + name + " readable by you alone: " + systemError(set));
    }
    return Status::success();
}

} // namespace qob
