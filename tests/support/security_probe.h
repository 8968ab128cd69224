// Access rules of a security descriptor, as the tests compare them.
#pragma once
#include <string>
#include <vector>

struct AccessRule {
    std::string sid;    // "S-1-5-18"
    unsigned mask;      // the rights it allows
    unsigned flags;     // inheritance
    bool operator==(const AccessRule& other) const
    {
        return sid == other.sid && mask == other.mask && flags == other.flags;
    }
};

struct AccessRules {
    bool read = false;        // the descriptor could be read
    bool isProtected = false; // nothing inherited from the parent
    std::vector<AccessRule> allowed;
};

AccessRules AccessRulesIn(void* securityDescriptor);
// The SID of the user this process runs as, as text.
std::string UserSid();
