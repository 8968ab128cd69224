// Installers made from the packed demo installer for the end-to-end tests:
// its stub and archive, with a control file for the demo inner installer
// added, members dropped or bytes damaged.
#pragma once
#include <string>
#include <vector>

#include "test_containers.h"

struct DemoInstaller {
    Bytes stub;                  // the image before the container
    std::vector<Bytes> members;  // header and data of each archive member, in order
    int32_t memberCount = 0;     // as the payload header will say
    std::string versionText = "1.10";
    std::string message;         // the confirmation text; none when empty
};

// The build's demo-setup.exe taken apart.
DemoInstaller LoadDemoInstaller();

// Adds a stored member and counts it.
void AddStoredMember(DemoInstaller* installer, const std::string& name, const Bytes& data);
// Adds DEZAZAZE.CFG, stored, with these lines, and counts it.
void AddControlFile(DemoInstaller* installer, const std::string& lines);
// Drops the member of that name and no longer counts it.
void DropMember(DemoInstaller* installer, const std::string& name);

// The whole installer image; the archive ends with its end mark.
Bytes ImageOf(const DemoInstaller& installer);
// Offset in ImageOf's result of the first byte of the member's data.
size_t MemberDataOffset(const DemoInstaller& installer, const std::string& name);
