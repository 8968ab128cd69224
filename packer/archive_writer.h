// Builds the LHA archive that the installer carries: level-1 member headers
// without extended headers, OS 'M', attribute 0x20, local MS-DOS time stamps,
// CRC-16, and the end mark 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "packer/lh5_encoder.h"

enum class PackMethod { Lh5, Lh0 };

// Longest member name in bytes: the installer holds a member header in 104
// bytes, and a level-1 header takes 27 bytes besides the name.
const size_t kMaxMemberName = 77;

class ArchiveWriter {
public:
    // Adds one member. cp932Name is the file name as the installer will create
    // it. With Lh5 the member is stored instead when packing does not make it
    // smaller. Throws PackError for a name or size the format cannot carry.
    void Add(const std::string& cp932Name, const uint8_t* data, size_t size, time_t modified, PackMethod method,
             const Lh5Progress& progress = nullptr);

    // The archive with its end mark; the writer is empty afterwards.
    std::vector<uint8_t> Finish();

    size_t MemberCount() const { return memberCount_; }

private:
    std::vector<uint8_t> archive_;
    size_t memberCount_ = 0;
};

// CRC-16/ARC as LHA uses it: reflected polynomial 0xA001, initial value 0.
uint16_t Crc16(const uint8_t* data, size_t size);

// Local time in MS-DOS form, date in the high 16 bits and time in the low;
// clamped to the years 1980 to 2107 that the form can hold.
uint32_t DosDateTime(time_t t);
