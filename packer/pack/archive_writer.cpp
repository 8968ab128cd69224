#include "packer/pack/archive_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "bytes/little_endian.h"
#include "extract/crc16.h"
#include "packer/system/pack_error.h"

namespace {

const uint8_t kAttributeArchive = 0x20;
const uint8_t kHeaderLevel = 1;
const uint8_t kOsMsDos = 'M';
// The installer reads the archive with signed 32-bit sizes and offsets.
const size_t kMaxArchive = 0x7FFFFFFF;

} // namespace

uint16_t Crc16(const uint8_t* data, size_t size)
{
    static const struct Tables {
        Tables() { BuildCrc16Table(rows); }
        Crc16Table rows;
    } tables;
    unsigned crc = 0;
    while (size > 0) {
        uint32_t count = (uint32_t)std::min<size_t>(size, 1u << 30);
        crc = UpdateCrc16(tables.rows, crc, data, count);
        data += count;
        size -= count;
    }
    return (uint16_t)crc;
}

uint32_t DosDateTime(time_t t)
{
    const uint32_t earliest = (0u << 25 | 1u << 21 | 1u << 16);                   // 1980-01-01 00:00:00
    const uint32_t latest = (127u << 25 | 12u << 21 | 31u << 16 | 23u << 11 | 59u << 5 | 29u); // 2107-12-31 23:59:58
    // Japan has kept UTC+9 without summer time since 1951.
    const time_t japan = 9 * 3600;
    if (t > std::numeric_limits<time_t>::max() - japan)
        return latest;
    int64_t local = (int64_t)t + japan;
    int64_t days = local / 86400 - (local % 86400 < 0);
    unsigned second = (unsigned)(local - days * 86400);
    // The civil date of the day, by the Gregorian calendar's 400-year eras
    // counted from 0000-03-01, which put the leap day last.
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = (unsigned)(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned fromMarch = (5 * dayOfYear + 2) / 153;
    unsigned day = dayOfYear - (153 * fromMarch + 2) / 5 + 1;
    unsigned month = fromMarch < 10 ? fromMarch + 3 : fromMarch - 9;
    int64_t year = era * 400 + yearOfEra + (month <= 2);
    if (year < 1980)
        return earliest;
    if (year > 2107)
        return latest;
    return (uint32_t)(year - 1980) << 25 | month << 21 | day << 16 | (second / 3600) << 11 | (second / 60 % 60) << 5 |
           (second % 60 / 2);
}

PackedMember PackMember(const uint8_t* data, size_t size, PackMethod method, const Lh5Progress& progress,
                        const Lh5Runner& runner)
{
    PackedMember packed;
    packed.crc = Crc16(data, size);
    const Lh5Parse parse = method == PackMethod::Lh5Best ? Lh5Parse::Optimal : Lh5Parse::Lazy;
    packed.compressed = method != PackMethod::Lh0 && size <= kLh5MaxInput &&
                        EncodeLh5(data, size, size, &packed.stream, progress, parse, runner);
    if (!packed.compressed)
        packed.stream = std::vector<uint8_t>();
    return packed;
}

std::vector<uint8_t> MemberHeader(const std::string& cp932Name, size_t size, time_t modified,
                                  const PackedMember& packed)
{
    if (cp932Name.empty())
        throw PackError("a member name is empty");
    if (cp932Name.size() > kMaxMemberName)
        throw PackError("name is " + std::to_string(cp932Name.size()) + " bytes in CP932; the installer takes at most " +
                        std::to_string(kMaxMemberName));
    if (size > kLh5MaxInput)
        throw PackError("file is larger than " + std::to_string(kLh5MaxInput) + " bytes, the most a member holds");

    const size_t nameLength = cp932Name.size();
    std::vector<uint8_t> header(kLevel1HeaderBytes + nameLength);
    header[0] = (uint8_t)(header.size() - 2);
    memcpy(&header[2], packed.compressed ? "-lh5-" : "-lh0-", 5);
    StoreLe32(&header[7], (uint32_t)(packed.compressed ? packed.stream.size() : size));
    StoreLe32(&header[11], (uint32_t)size);
    uint32_t stamp = DosDateTime(modified);
    StoreLe16(&header[15], stamp);       // time
    StoreLe16(&header[17], stamp >> 16); // date
    header[19] = kAttributeArchive;
    header[20] = kHeaderLevel;
    header[21] = (uint8_t)nameLength;
    memcpy(&header[22], cp932Name.data(), nameLength);
    StoreLe16(&header[22 + nameLength], packed.crc);
    header[24 + nameLength] = kOsMsDos;
    StoreLe16(&header[25 + nameLength], 0); // no extended header
    uint8_t sum = 0;
    for (size_t i = 2; i < header.size(); ++i)
        sum = (uint8_t)(sum + header[i]);
    header[1] = sum;
    return header;
}

void ArchiveWriter::Put(const uint8_t* bytes, size_t size)
{
    sink_(bytes, size);
    size_ += size;
}

void ArchiveWriter::Add(const std::string& cp932Name, const uint8_t* data, size_t size, time_t modified,
                        const PackedMember& packed)
{
    std::vector<uint8_t> header = MemberHeader(cp932Name, size, modified, packed);
    const uint8_t* body = packed.compressed ? packed.stream.data() : data;
    size_t bodySize = packed.compressed ? packed.stream.size() : size;
    if (Size() + header.size() + bodySize + 1 > kMaxArchive)
        throw PackError("the archive would exceed " + std::to_string(kMaxArchive) +
                        " bytes, the most the installer can hold");
    Put(header.data(), header.size());
    Put(body, bodySize);
    ++memberCount_;
}

void ArchiveWriter::Finish()
{
    const uint8_t endMark = 0;
    Put(&endMark, 1);
}
