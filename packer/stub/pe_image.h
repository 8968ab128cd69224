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

const uint16_t kMachineI386 = 0x014C;
const uint16_t kMachineAmd64 = 0x8664;

// What a file is as a program that Windows could start.
enum class ProgramKind {
    NotAProgram,    // no MZ header, or a PE file the linker did not finish
    DosProgram,     // MZ without a PE header: MS-DOS or 16-bit Windows
    Library,        // a DLL
    OtherSubsystem, // neither a windowed nor a console program: a driver, an EFI program
    Program,
};

struct ProgramInfo {
    ProgramKind kind = ProgramKind::NotAProgram;
    uint16_t machine = 0; // of a PE file
};

// Reads the headers at the start of a file: its first 64 KiB hold them in
// any program linkers make.
ProgramInfo InspectProgram(const uint8_t* bytes, size_t size);

// "i386", "x86-64", "ARM64" and the like; the number for a machine it does not know.
std::string MachineName(uint16_t machine);

// Whether the program carries an Authenticode signature (a certificate table).
bool HasCertificateTable(const std::vector<uint8_t>& program);

// Every resource, in the order of the tree. Throws PackError when program is
// no PE file whose headers and resource tree lie inside it.
std::vector<Resource> ReadResources(const std::vector<uint8_t>& program);

// The program with its resource section holding exactly resources. Throws
// PackError when the program has no resource section, when sections other
// than the base relocations follow it, or when data trails its last section.
std::vector<uint8_t> ReplaceResources(const std::vector<uint8_t>& program, const std::vector<Resource>& resources);
