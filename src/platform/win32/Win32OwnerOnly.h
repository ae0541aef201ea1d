#pragma once
// The access list makeOwnerOnly puts on a file, built apart so that it can be checked where the
// file system does not keep access lists (Wine makes them up from the Unix mode).
#ifdef _WIN32
#include <windows.h>

namespace qob::win32 {

// One ACE granting the running user's SID all access to a file, nothing inherited. ERROR_SUCCESS
// or the error; `acl` is freed with LocalFree.
DWORD ownerOnlyAcl(PACL& acl);

} // namespace qob::win32
#endif
