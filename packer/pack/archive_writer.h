// Builds the LHA archive that the installer carries: level-1 member headers
// without extended headers, OS 'M', attribute 0x20, MS-DOS time stamps in
// Japan Standard Time, CRC-16, and the end mark 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "encoder/lh5_encoder.h"

// Lh5Best makes -lh5- members too, by the encoder's slow optimal parse.
enum class PackMethod { Lh5, Lh5Best, Lh0 };

// Longest member name in bytes: the installer holds a member header in 104
// bytes, and a level-1 header takes 27 bytes besides the name.
const size_t kLevel1HeaderBytes = 27;
const size_t kMaxMemberName = 77;

// A member's data as it goes into the archive.
struct PackedMember {
    bool compressed = false;
    std::vector<uint8_t> stream; // the -lh5- stream when compressed
    uint16_t crc = 0;            // of the original bytes
};

// Compresses with Lh5 unless told to store, and stores what packing does not
// make smaller. Touches no shared state: members may be packed in parallel,
// and the segments of one through runner (see EncodeLh5).
PackedMember PackMember(const uint8_t* data, size_t size, PackMethod method, const Lh5Progress& progress = nullptr,
                        const Lh5Runner& runner = nullptr);

// The level-1 header of a member packed from size bytes. cp932Name is the file
// name as the installer will create it. Throws PackError for a name or size
// the format cannot carry.
std::vector<uint8_t> MemberHeader(const std::string& cp932Name, size_t size, time_t modified,
                                  const PackedMember& packed);

// Where the archive's bytes go, in order.
using ByteSink = std::function<void(const uint8_t* bytes, size_t size)>;

class ArchiveWriter {
public:
    explicit ArchiveWriter(ByteSink sink) : sink_(std::move(sink)) {}
    // Appends to out, which may already hold what precedes the archive.
    explicit ArchiveWriter(std::vector<uint8_t>& out)
        : sink_([&out](const uint8_t* bytes, size_t size) { out.insert(out.end(), bytes, bytes + size); })
    {
    }

    // Adds one member packed from data[0..size) (see MemberHeader). Throws
    // PackError when the archive would grow past what the installer reads.
    void Add(const std::string& cp932Name, const uint8_t* data, size_t size, time_t modified,
             const PackedMember& packed);

    // Appends the end mark.
    void Finish();

    size_t MemberCount() const { return memberCount_; }
    // Bytes of the archive so far.
    size_t Size() const { return size_; }

private:
    void Put(const uint8_t* bytes, size_t size);

    ByteSink sink_;
    size_t size_ = 0;
    size_t memberCount_ = 0;
};

// CRC-16/ARC as LHA uses it: reflected polynomial 0xA001, initial value 0.
uint16_t Crc16(const uint8_t* data, size_t size);

// The time in MS-DOS form as a clock in Japan shows it (UTC+9), whatever the
// build machine's time zone: the installer stamps each file with the member's
// time taken as the user's local time, and its users are in Japan. Date in
// the high 16 bits and time in the low; clamped to the years 1980 to 2107
// that the form can hold.
uint32_t DosDateTime(time_t t);
