// What the packer reads and rewrites in a Windows program (PE, 32- or 64-bit):
// its certificate table and its resources. The resource section is rebuilt
// whole, with the base relocations that follow it moved along.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A resource type, name or language: a number, or a name when name is not empty.
struct ResourceId {
    uint16_t id = 0;
    std::u16string name;
};

bool operator==(const ResourceId& a, const ResourceId& b);

struct Resource {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;
};

const uint16_t kResourceIcon = 3;
const uint16_t kResourceRcData = 10;
const uint16_t kResourceGroupIcon = 14;
const uint16_t kResourceVersion = 16;
const uint16_t kResourceManifest = 24;
const uint16_t kLanguageJapanese = 0x0411;

// Whether the program carries an Authenticode signature (a certificate table).
bool HasCertificateTable(const std::vector<uint8_t>& program);

// Every resource, in the order of the tree. Throws PackError when program is
// no PE file whose headers and resource tree lie inside it.
std::vector<Resource> ReadResources(const std::vector<uint8_t>& program);

// The program with its resource section holding exactly resources. Throws
// PackError when the program has no resource section, when sections other
// than the base relocations follow it, or when data trails its last section.
std::vector<uint8_t> ReplaceResources(const std::vector<uint8_t>& program, const std::vector<Resource>& resources);
