// The packer's last check before it writes anything: the finished installer,
// read the way the installer reads itself, must give back every member.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ExpectedMember {
    std::string name;                  // code page 932
    const std::vector<uint8_t>* bytes; // the original file
    uint32_t dosDateTime;              // date in the high 16 bits
};

// Finds the container with the installer's own scan and decodes every member
// with the extraction engine into memory. Throws PackError unless the scan
// succeeds, the header's member count holds, and each member comes back with
// its name, bytes and time stamp, in order.
void VerifyInstaller(const std::vector<uint8_t>& image, const std::vector<ExpectedMember>& members);
