// Packs the members of an archive on every core: members are independent, and
// each one's stream is the same whichever thread makes it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "packer/archive_writer.h"

// progress runs on the calling thread only, with the input bytes packed so far.
std::vector<PackedMember> PackMembers(const std::vector<const std::vector<uint8_t>*>& inputs, PackMethod method,
                                      const std::function<void(uint64_t done)>& progress);
