// Reads, packs and checks the members of an archive on every core, and hands
// them over in member order: members are independent, and each one's stream
// is the same whichever thread makes it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "packer/pack/archive_writer.h"
#include "packer/pack/member_list.h"

struct PackedFile {
    size_t size = 0;              // original bytes
    std::vector<uint8_t> header;  // as it goes into the archive
    PackedMember packed;
    std::vector<uint8_t> stored;  // the original bytes, kept only when they go in as they are
};

// Runs on the calling thread for member 0, 1, 2 ... in turn.
using PackedFileWriter = std::function<void(size_t index, const PackedFile& file)>;

// Reads each member (as it was listed), packs it, decodes it as the installer
// will and hands it to write. Only a few members are held at a time, so memory
// stays in proportion to the largest of them. progress runs on the calling
// thread with the input bytes packed so far. The first failure stops the work
// and is thrown again here. jobs: threads that pack, 0 for one per processor
// this process may run on.
void PackInOrder(const std::vector<MemberSource>& members, PackMethod method, const PackedFileWriter& write,
                 const std::function<void(uint64_t done)>& progress, unsigned jobs = 0);
