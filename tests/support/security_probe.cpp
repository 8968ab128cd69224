#include "security_probe.h"

#include <windows.h>
#include <sddl.h>

static std::string SidText(PSID sid)
{
    LPSTR text = NULL;
    if (!ConvertSidToStringSidA(sid, &text))
        return "<bad SID>";
    std::string result = text;
    LocalFree(text);
    return result;
}

AccessRules AccessRulesIn(void* descriptor)
{
    AccessRules rules;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL acl = NULL;
    if (descriptor == NULL || !GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || acl == NULL)
        return rules;
    rules.read = true;
    rules.isProtected = (control & SE_DACL_PROTECTED) != 0;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = NULL;
        if (GetAce(acl, i, (void**)&ace) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE)
            rules.allowed.push_back({SidText(&ace->SidStart), ace->Mask, ace->Header.AceFlags});
    }
    return rules;
}

std::string UserSid()
{
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "";
    BYTE buffer[256];
    DWORD size = 0;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        sid = SidText(((TOKEN_USER*)buffer)->User.Sid);
    CloseHandle(token);
    return sid;
}
