// The packer's checks before it puts an installer in place: every compressed
// member decodes, the way the installer will decode it, to the original; and
// the finished file, read back the way the installer reads itself, holds the
// member headers that were written, in order, and nothing else.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ExpectedMember {
    std::string name;           // code page 932
    const uint8_t* bytes;       // the original file
    size_t size;
    uint32_t dosDateTime;       // date in the high 16 bits
};

// Decodes header and stream with the extraction engine and compares name,
// bytes and time stamp with member. Throws PackError naming member number
// `number` (from 1). Safe to call from several threads: they take turns.
void VerifyPackedMember(size_t number, const ExpectedMember& member, const std::vector<uint8_t>& header,
                        const std::vector<uint8_t>& stream);

// Finds the container with the installer's own scan and walks the archive:
// the header's member count, and each member header equal to the one in
// headers, its data in between, the end mark last. Throws PackError.
void VerifyInstallerLayout(const uint8_t* image, size_t size, const std::vector<std::vector<uint8_t>>& headers);
