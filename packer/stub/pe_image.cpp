#include "packer/stub/pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "bytes/little_endian.h"
#include "packer/system/pack_error.h"

namespace {

const size_t kDirectoryResource = 2;
const size_t kDirectoryCertificate = 4;
const size_t kDirectoryRelocation = 5;
const size_t kSectionHeaderSize = 40;
// Type, name, language: deeper trees are no resources Windows reads.
const int kResourceLevels = 3;

uint32_t AlignUp(uint32_t value, uint32_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

struct Section {
    size_t header; // file offset of its section header
    uint32_t virtualSize, virtualAddress, rawSize, rawOffset;
};

// The headers of a PE file, checked to lie inside it.
struct PeLayout {
    size_t optionalHeader = 0;
    size_t directories = 0; // file offset of the data directory
    uint32_t directoryCount = 0;
    uint32_t sectionAlignment = 0, fileAlignment = 0;
    std::vector<Section> sections;

    uint32_t DirectoryRva(const std::vector<uint8_t>& b, size_t index) const
    {
        return index < directoryCount ? LoadLe32(&b[directories + 8 * index]) : 0;
    }
    uint32_t DirectorySize(const std::vector<uint8_t>& b, size_t index) const
    {
        return index < directoryCount ? LoadLe32(&b[directories + 8 * index + 4]) : 0;
    }
    // The section whose file data holds rva, or nullptr.
    const Section* SectionOf(uint32_t rva) const
    {
        for (const Section& s : sections) {
            if (rva >= s.virtualAddress && rva - s.virtualAddress < std::min(s.rawSize, std::max(s.virtualSize, 1u)))
                return &s;
        }
        return nullptr;
    }
};

PackError NotPe(const std::string& why)
{
    return PackError("not a Windows program the packer can read: " + why);
}

PeLayout ReadLayout(const std::vector<uint8_t>& b)
{
    if (b.size() < 0x40 || b[0] != 'M' || b[1] != 'Z')
        throw NotPe("no MZ header");
    PeLayout layout;
    uint32_t pe = LoadLe32(&b[0x3C]);
    if ((uint64_t)pe + 24 > b.size() || memcmp(&b[pe], "PE\0\0", 4) != 0)
        throw NotPe("no PE header");
    uint32_t sectionCount = LoadLe16(&b[pe + 6]);
    uint32_t optionalSize = LoadLe16(&b[pe + 20]);
    layout.optionalHeader = pe + 24;
    size_t sections = layout.optionalHeader + optionalSize;
    if (sections + (uint64_t)sectionCount * kSectionHeaderSize > b.size() || optionalSize < 2)
        throw NotPe("headers cut short");
    uint32_t magic = LoadLe16(&b[layout.optionalHeader]);
    size_t directoryField = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    if (directoryField == 0 || optionalSize < directoryField + 4)
        throw NotPe("unknown optional header");
    layout.directoryCount = LoadLe32(&b[layout.optionalHeader + directoryField]);
    layout.directories = layout.optionalHeader + directoryField + 4;
    if (layout.directoryCount > 16 || directoryField + 4 + 8 * layout.directoryCount > optionalSize)
        throw NotPe("data directory damaged");
    layout.sectionAlignment = LoadLe32(&b[layout.optionalHeader + 32]);
    layout.fileAlignment = LoadLe32(&b[layout.optionalHeader + 36]);
    auto powerOfTwo = [](uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
    if (!powerOfTwo(layout.fileAlignment) || !powerOfTwo(layout.sectionAlignment) ||
        layout.fileAlignment > 0x10000 || layout.sectionAlignment > 0x10000000)
        throw NotPe("section or file alignment out of range");
    for (uint32_t i = 0; i < sectionCount; ++i) {
        size_t h = sections + i * kSectionHeaderSize;
        Section s{h, LoadLe32(&b[h + 8]), LoadLe32(&b[h + 12]), LoadLe32(&b[h + 16]), LoadLe32(&b[h + 20])};
        if ((uint64_t)s.rawOffset + s.rawSize > b.size())
            throw NotPe("a section runs past the end of the file");
        layout.sections.push_back(s);
    }
    return layout;
}

// Reads the resource tree below the directory at `offset` in the section.
class ResourceReader {
public:
    ResourceReader(const std::vector<uint8_t>& b, const PeLayout& layout, const Section& section)
        : b_(b), layout_(layout), base_(section.rawOffset), size_(std::min(section.rawSize, section.virtualSize))
    {
    }

    void Read(uint32_t offset, int level, Resource& path, std::vector<Resource>& out)
    {
        Need(offset, 16);
        uint32_t count = LoadLe16(&b_[base_ + offset + 12]) + LoadLe16(&b_[base_ + offset + 14]);
        Need(offset + 16, count * 8);
        for (uint32_t i = 0; i < count; ++i) {
            size_t entry = base_ + offset + 16 + i * 8;
            uint32_t nameField = LoadLe32(&b_[entry]), target = LoadLe32(&b_[entry + 4]);
            ResourceId id;
            if (nameField & 0x80000000u)
                id.name = ReadName(nameField & 0x7FFFFFFFu);
            else
                id.id = (uint16_t)nameField;
            bool subdirectory = (target & 0x80000000u) != 0;
            if (subdirectory != (level < kResourceLevels - 1))
                throw NotPe("resource tree of the wrong depth");
            if (level == 0)
                path.type = id;
            else if (level == 1)
                path.name = id;
            else
                path.language = id.id;
            if (subdirectory) {
                Read(target & 0x7FFFFFFFu, level + 1, path, out);
                continue;
            }
            Need(target, 16);
            uint32_t rva = LoadLe32(&b_[base_ + target]), size = LoadLe32(&b_[base_ + target + 4]);
            path.codePage = LoadLe32(&b_[base_ + target + 8]);
            path.data.clear();
            if (size != 0) {
                const Section* holder = layout_.SectionOf(rva);
                if (holder == nullptr || (uint64_t)rva - holder->virtualAddress + size > holder->rawSize)
                    throw NotPe("resource data outside the file");
                size_t at = holder->rawOffset + (rva - holder->virtualAddress);
                path.data.assign(b_.begin() + at, b_.begin() + at + size);
            }
            out.push_back(path);
        }
    }

private:
    void Need(uint64_t offset, uint64_t length) const
    {
        if (offset + length > size_)
            throw NotPe("resource tree runs past its section");
    }
    std::u16string ReadName(uint32_t offset) const
    {
        Need(offset, 2);
        uint32_t length = LoadLe16(&b_[base_ + offset]);
        Need(offset + 2, 2 * length);
        std::u16string name;
        for (uint32_t k = 0; k < length; ++k)
            name += (char16_t)LoadLe16(&b_[base_ + offset + 2 + 2 * k]);
        return name;
    }

    const std::vector<uint8_t>& b_;
    const PeLayout& layout_;
    size_t base_;
    uint32_t size_;
};

// Named entries come first, ordered by name, then numbered ones in ascending order.
bool IdLess(const ResourceId& a, const ResourceId& b)
{
    if (a.name.empty() != b.name.empty())
        return !a.name.empty();
    return a.name.empty() ? a.id < b.id : a.name < b.name;
}

struct Directory;
using Children = std::vector<std::pair<ResourceId, Directory>>;
struct Directory {
    Children children;
    const Resource* leaf = nullptr;
};

Directory& Child(Directory& parent, const ResourceId& id)
{
    for (auto& child : parent.children) {
        if (child.first == id)
            return child.second;
    }
    parent.children.emplace_back(id, Directory());
    return parent.children.back().second;
}

void SortTree(Directory& directory)
{
    std::stable_sort(directory.children.begin(), directory.children.end(),
                     [](const Children::value_type& a, const Children::value_type& b) { return IdLess(a.first, b.first); });
    for (auto& child : directory.children)
        SortTree(child.second);
}

// The section's bytes for the tree, laid out as resource compilers do:
// directories breadth first, data entries, names, then the data, each 8-byte aligned.
std::vector<uint8_t> ResourceSection(const std::vector<Resource>& resources, uint32_t sectionRva)
{
    Directory root;
    for (const Resource& r : resources) {
        ResourceId language;
        language.id = r.language;
        Child(Child(Child(root, r.type), r.name), language).leaf = &r;
    }
    SortTree(root);

    std::vector<Directory*> directories{&root};
    for (size_t i = 0; i < directories.size(); ++i) {
        for (auto& child : directories[i]->children) {
            if (child.second.leaf == nullptr)
                directories.push_back(&child.second);
        }
    }
    std::map<const Directory*, uint32_t> at;
    uint32_t size = 0;
    for (Directory* d : directories) {
        at[d] = size;
        size += 16 + 8 * (uint32_t)d->children.size();
    }
    std::vector<const Directory*> leaves;
    for (Directory* d : directories) {
        for (auto& child : d->children) {
            if (child.second.leaf != nullptr) {
                at[&child.second] = size;
                size += 16;
                leaves.push_back(&child.second);
            }
        }
    }
    std::map<std::u16string, uint32_t> names;
    for (Directory* d : directories) {
        for (auto& child : d->children) {
            if (!child.first.name.empty() && names.emplace(child.first.name, size).second)
                size += 2 + 2 * (uint32_t)child.first.name.size();
        }
    }
    std::vector<uint32_t> dataAt;
    for (const Directory* leaf : leaves) {
        size = AlignUp(size, 8);
        dataAt.push_back(size);
        size += (uint32_t)leaf->leaf->data.size();
    }

    std::vector<uint8_t> out(size, 0);
    for (Directory* d : directories) {
        uint32_t o = at[d], named = 0;
        for (auto& child : d->children)
            named += child.first.name.empty() ? 0 : 1;
        StoreLe16(&out[o + 12], named);
        StoreLe16(&out[o + 14], (uint32_t)d->children.size() - named);
        for (size_t k = 0; k < d->children.size(); ++k) {
            const auto& child = d->children[k];
            uint32_t e = o + 16 + 8 * (uint32_t)k;
            StoreLe32(&out[e], child.first.name.empty() ? child.first.id : 0x80000000u | names[child.first.name]);
            StoreLe32(&out[e + 4], at[&child.second] | (child.second.leaf == nullptr ? 0x80000000u : 0));
        }
    }
    for (const auto& name : names) {
        StoreLe16(&out[name.second], (uint32_t)name.first.size());
        for (size_t k = 0; k < name.first.size(); ++k)
            StoreLe16(&out[name.second + 2 + 2 * k], name.first[k]);
    }
    for (size_t i = 0; i < leaves.size(); ++i) {
        const Resource& r = *leaves[i]->leaf;
        uint32_t e = at[leaves[i]];
        StoreLe32(&out[e], sectionRva + dataAt[i]);
        StoreLe32(&out[e + 4], (uint32_t)r.data.size());
        StoreLe32(&out[e + 8], r.codePage);
        std::copy(r.data.begin(), r.data.end(), out.begin() + dataAt[i]);
    }
    return out;
}

const Section& ResourceSectionOf(const std::vector<uint8_t>& b, const PeLayout& layout)
{
    uint32_t rva = layout.DirectoryRva(b, kDirectoryResource);
    const Section* section = rva == 0 ? nullptr : layout.SectionOf(rva);
    if (section == nullptr || section->virtualAddress != rva)
        throw PackError("the program has no resource section of its own");
    return *section;
}

} // namespace

bool operator==(const ResourceId& a, const ResourceId& b)
{
    return a.name == b.name && (!a.name.empty() || a.id == b.id);
}

ProgramInfo InspectProgram(const uint8_t* b, size_t size)
{
    const uint32_t kExecutable = 0x0002, kDll = 0x2000;
    const uint32_t kSubsystemWindows = 2, kSubsystemConsole = 3;
    ProgramInfo info;
    if (size < 0x40 || b[0] != 'M' || b[1] != 'Z')
        return info;
    info.kind = ProgramKind::DosProgram;
    uint64_t pe = LoadLe32(b + 0x3C);
    // The subsystem lies at the same place in 32- and 64-bit optional headers.
    const uint64_t subsystem = pe + 24 + 68;
    if (subsystem + 2 > size || memcmp(b + pe, "PE\0\0", 4) != 0)
        return info;
    info.machine = (uint16_t)LoadLe16(b + pe + 4);
    uint32_t characteristics = LoadLe16(b + pe + 22);
    uint32_t kind = LoadLe16(b + subsystem);
    info.kind = (characteristics & kExecutable) == 0                   ? ProgramKind::NotAProgram
                : (characteristics & kDll) != 0                        ? ProgramKind::Library
                : kind != kSubsystemWindows && kind != kSubsystemConsole ? ProgramKind::OtherSubsystem
                                                                         : ProgramKind::Program;
    return info;
}

std::string MachineName(uint16_t machine)
{
    switch (machine) {
    case kMachineI386: return "i386";
    case kMachineAmd64: return "x86-64";
    case 0xAA64: return "ARM64";
    case 0x01C4: return "ARM";
    case 0x0200: return "Itanium";
    }
    char number[24];
    snprintf(number, sizeof number, "machine 0x%04X", machine);
    return number;
}

bool HasCertificateTable(const std::vector<uint8_t>& program)
{
    PeLayout layout = ReadLayout(program);
    return layout.DirectorySize(program, kDirectoryCertificate) != 0;
}

std::vector<Resource> ReadResources(const std::vector<uint8_t>& program)
{
    PeLayout layout = ReadLayout(program);
    std::vector<Resource> resources;
    if (layout.DirectoryRva(program, kDirectoryResource) == 0)
        return resources;
    const Section* section = layout.SectionOf(layout.DirectoryRva(program, kDirectoryResource));
    if (section == nullptr)
        throw NotPe("resource directory outside the file");
    ResourceReader reader(program, layout, *section);
    Resource path;
    reader.Read(layout.DirectoryRva(program, kDirectoryResource) - section->virtualAddress, 0, path, resources);
    return resources;
}

std::vector<uint8_t> ReplaceResources(const std::vector<uint8_t>& program, const std::vector<Resource>& resources)
{
    PeLayout layout = ReadLayout(program);
    // Windows loads only sections that follow one another; the rewrite
    // relies on it, and on their data following in the file in that order.
    for (size_t i = 1; i < layout.sections.size(); ++i) {
        const Section& a = layout.sections[i - 1];
        const Section& b = layout.sections[i];
        if ((uint64_t)b.virtualAddress < (uint64_t)a.virtualAddress + std::max(a.virtualSize, 1u))
            throw NotPe("sections overlap or are out of order");
    }
    uint64_t rawEnd = 0;
    for (const Section& s : layout.sections) {
        if (s.rawSize != 0 && s.rawOffset < rawEnd)
            throw NotPe("sections' data overlap or are out of order");
        if (s.rawSize != 0)
            rawEnd = (uint64_t)s.rawOffset + s.rawSize;
    }
    const Section resource = ResourceSectionOf(program, layout);
    uint32_t relocationRva = layout.DirectoryRva(program, kDirectoryRelocation);
    std::vector<Section> after;
    uint32_t fileEnd = resource.rawOffset + resource.rawSize;
    for (const Section& s : layout.sections) {
        if (s.virtualAddress < resource.virtualAddress && s.rawSize != 0 && s.rawOffset + s.rawSize > resource.rawOffset)
            throw PackError("a section before the resources lies after them in the file; the packer cannot move it");
        if (s.virtualAddress <= resource.virtualAddress)
            continue;
        bool relocations = relocationRva != 0 && relocationRva >= s.virtualAddress &&
                           relocationRva - s.virtualAddress < std::max(s.virtualSize, s.rawSize);
        if (!relocations || s.rawOffset < resource.rawOffset)
            throw PackError("sections other than the base relocations follow the resource section; "
                            "the packer cannot grow it");
        after.push_back(s);
        fileEnd = std::max(fileEnd, s.rawOffset + s.rawSize);
    }
    for (const Section& s : layout.sections)
        fileEnd = std::max(fileEnd, s.rawOffset + s.rawSize);
    if (fileEnd != program.size())
        throw PackError("data follows the program's last section; give the bare stub");

    std::vector<uint8_t> data = ResourceSection(resources, resource.virtualAddress);
    const uint32_t rawSize = AlignUp((uint32_t)data.size(), layout.fileAlignment);
    std::vector<uint8_t> out(program.begin(), program.begin() + resource.rawOffset);
    out.insert(out.end(), data.begin(), data.end());
    out.resize(resource.rawOffset + rawSize, 0);
    StoreLe32(&out[resource.header + 8], (uint32_t)data.size());
    StoreLe32(&out[resource.header + 16], rawSize);
    StoreLe32(&out[layout.directories + 8 * kDirectoryResource + 4], (uint32_t)data.size());

    // The sections behind move up or down to follow without a gap.
    auto alignUp = [](uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; };
    uint64_t nextRva = alignUp((uint64_t)resource.virtualAddress + data.size(), layout.sectionAlignment);
    int64_t initializedChange = (int64_t)rawSize - resource.rawSize;
    for (const Section& s : after) {
        if (nextRva > 0xFFFFFFFFu)
            throw NotPe("image too large");
        uint32_t rawOffset = (uint32_t)out.size();
        out.insert(out.end(), program.begin() + s.rawOffset, program.begin() + s.rawOffset + s.rawSize);
        StoreLe32(&out[s.header + 12], (uint32_t)nextRva);
        StoreLe32(&out[s.header + 20], rawOffset);
        if (relocationRva >= s.virtualAddress && relocationRva - s.virtualAddress < std::max(s.virtualSize, s.rawSize))
            StoreLe32(&out[layout.directories + 8 * kDirectoryRelocation],
                      relocationRva - s.virtualAddress + (uint32_t)nextRva);
        nextRva = alignUp(nextRva + std::max(s.virtualSize, 1u), layout.sectionAlignment);
    }
    if (nextRva > 0xFFFFFFFFu)
        throw NotPe("image too large");
    StoreLe32(&out[layout.optionalHeader + 56], (uint32_t)nextRva); // SizeOfImage
    uint32_t initialized = LoadLe32(&out[layout.optionalHeader + 8]);
    StoreLe32(&out[layout.optionalHeader + 8], (uint32_t)std::max<int64_t>(0, initialized + initializedChange));
    return out;
}
