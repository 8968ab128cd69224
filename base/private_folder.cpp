#include "base/private_folder.h"

#include <sddl.h>

#include "base/files.h"
#include "base/wide_calls.h"

// S-1-5-32-544, the Administrators group: revision 1, two sub-authorities,
// the NT authority (5), then 32 and 544 as little-endian words.
static const BYTE kAdministrators[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};

static FARPROC SecurityCall(const char* name)
{
    // A KnownDLL on every NT: the narrowed search still finds the system's.
    HMODULE module = LoadLibraryA("advapi32.dll");
    return module != NULL ? GetProcAddress(module, name) : NULL;
}

BOOL RunsAsAdministrator()
{
    typedef BOOL(WINAPI * CheckMembership)(HANDLE, PSID, PBOOL);
    CheckMembership check = (CheckMembership)(void*)SecurityCall("CheckTokenMembership");
    BOOL member = FALSE;
    return check != NULL && check(NULL, (PSID)kAdministrators, &member) && member;
}

// sid (capacity bytes) = the user's SID as text, "S-1-5-21-...".
static BOOL UserSidText(char* sid, int capacity)
{
    typedef BOOL(WINAPI * OpenToken)(HANDLE, DWORD, PHANDLE);
    typedef BOOL(WINAPI * TokenInformation)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD);
    typedef BOOL(WINAPI * SidToText)(PSID, LPSTR*);
    OpenToken openToken = (OpenToken)(void*)SecurityCall("OpenProcessToken");
    TokenInformation information = (TokenInformation)(void*)SecurityCall("GetTokenInformation");
    SidToText toText = (SidToText)(void*)SecurityCall("ConvertSidToStringSidA");
    HANDLE token;
    if (openToken == NULL || information == NULL || toText == NULL ||
        !openToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return FALSE;
    // A TOKEN_USER and the SID it points to; a SID is at most 68 bytes.
    union {
        TOKEN_USER user;
        BYTE bytes[128];
    } owner;
    DWORD size = 0;
    LPSTR text = NULL;
    BOOL found = information(token, TokenUser, &owner, sizeof owner, &size) && toText(owner.user.User.Sid, &text);
    CloseHandle(token);
    if (found) {
        found = lstrlenA(text) < capacity;
        if (found)
            lstrcpyA(sid, text);
        LocalFree(text);
    }
    return found;
}

PSECURITY_DESCRIPTOR NewPrivateFolderRules(BOOL forAdministrators)
{
    typedef BOOL(WINAPI * TextToDescriptor)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    TextToDescriptor toDescriptor =
        (TextToDescriptor)(void*)SecurityCall("ConvertStringSecurityDescriptorToSecurityDescriptorA");
    char sid[128] = "BA";
    if (NtWideCalls() == NULL || toDescriptor == NULL || (!forAdministrators && !UserSidText(sid, sizeof sid)))
        return NULL;
    // P: protected, nothing inherited from %TEMP%; OICI: files and folders made inside inherit it.
    char rules[256];
    wsprintfA(rules, "D:P(A;OICI;FA;;;%s)(A;OICI;FA;;;SY)", sid);
    PSECURITY_DESCRIPTOR descriptor;
    return toDescriptor(rules, SDDL_REVISION_1, &descriptor, NULL) ? descriptor : NULL;
}

BOOL CreatePrivateFolder(const char* path, BOOL forAdministrators)
{
    if (NtWideCalls() == NULL)
        return CreateFolder(path);
    SECURITY_ATTRIBUTES security = {sizeof security, NewPrivateFolderRules(forAdministrators), FALSE};
    if (security.lpSecurityDescriptor == NULL)
        return FALSE;
    BOOL created = CreateFolder(path, &security);
    LocalFree(security.lpSecurityDescriptor);
    return created;
}

HANDLE HoldFolder(const char* path)
{
    if (NtWideCalls() == NULL)
        return NULL;
    // No delete sharing: neither a rename nor a removal opens it meanwhile.
    HANDLE folder = OpenFileWithFlags(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    BY_HANDLE_FILE_INFORMATION information;
    if (folder != INVALID_HANDLE_VALUE &&
        (!GetFileInformationByHandle(folder, &information) ||
         (information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
             FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(folder);
        folder = INVALID_HANDLE_VALUE;
    }
    return folder;
}
